#include "modSkin.h"

#include "BannerPane.h"
#include "GuardedStep.h"
#include "SkinLabel.h"
#include "SkinManager.h"
#include "WebView.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStatusBar>
#include <QTableView>
#include <QTextEdit>
#include <QTreeView>
#include <QUrl>
#include <QtDebug>
#include <QtMath>

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <utility>

namespace {

const char* const kKindProperty = "controlKind";

bool isContainer(const QWidget& control)
{
    const QString kind = controlKind(control);
    return kind == u"Frame" || kind == u"PictureBox" ||
           (control.metaObject() == &QWidget::staticMetaObject && !control.property(kKindProperty).isValid());
}

void collect(QWidget& container, QList<QWidget*>& controls)
{
    for (QObject* child : container.children()) {
        auto* control = qobject_cast<QWidget*>(child);
        if (!control || control->isWindow())
            continue;
        controls.append(control);
        if (isContainer(*control))
            collect(*control, controls);
    }
}

void setColors(QWidget& control, std::initializer_list<std::pair<QPalette::ColorRole, QColor>> colours)
{
    // Only the roles named become the control's own; the rest still follow its window's palette.
    QPalette palette = control.palette();
    for (const auto& [role, colour] : colours)
        palette.setColor(role, colour);
    control.setPalette(palette);
}

QLabel* layOver(QLabel& label, const QLabel& skinTemplate, int index)
{
    auto* element = new SkinLabel(label.parentWidget());
    element->setObjectName(skinTemplate.objectName());
    element->setProperty("index", index);
    element->setGeometry(label.geometry());
    element->setFont(label.font());
    element->setTextFormat(label.textFormat());
    element->setText(label.text());
    // The same text set out differently would not read as the same label.
    element->setAlignment(label.alignment());
    element->setWordWrap(label.wordWrap());
    element->setMargin(label.margin());
    element->setIndent(label.indent());
    element->setToolTip(label.toolTip());
    element->setVisible(!label.isHidden());
    // Right above the plain label and under whatever lay over that already: a text box drawn across the end
    // of its caption stays whole.
    const QObjectList siblings = label.parentWidget()->children();
    for (qsizetype i = siblings.indexOf(&label) + 1; i < siblings.size(); ++i) {
        auto* above = qobject_cast<QWidget*>(siblings[i]);
        if (above && above != element && !above->isWindow()) {
            element->stackUnder(above);
            break;
        }
    }
    return element;
}

int upperBound(const SkinLabelArray& array)
{
    int bound = 0;
    for (const QLabel* element : array)
        bound = std::max(bound, element->property("index").toInt());
    return bound;
}

} // namespace

QString controlKind(const QWidget& control)
{
    const QString named = control.property(kKindProperty).toString();
    if (!named.isEmpty())
        return named;
    if (qobject_cast<const SkinLabel*>(&control))
        return QStringLiteral("SkinLabel");
    if (qobject_cast<const QCheckBox*>(&control))
        return QStringLiteral("CheckBox");
    if (qobject_cast<const QRadioButton*>(&control))
        return QStringLiteral("OptionButton");
    if (qobject_cast<const QAbstractButton*>(&control))
        return QStringLiteral("CommandButton");
    if (qobject_cast<const QLineEdit*>(&control) || qobject_cast<const QPlainTextEdit*>(&control))
        return QStringLiteral("TextBox");
    if (qobject_cast<const QTextEdit*>(&control))
        return QStringLiteral("RichTextBox");
    if (qobject_cast<const QComboBox*>(&control))
        return QStringLiteral("ComboBox");
    if (qobject_cast<const QListView*>(&control))
        return QStringLiteral("ListBox");
    if (qobject_cast<const QTreeView*>(&control) || qobject_cast<const QTableView*>(&control))
        return QStringLiteral("ListView");
    if (qobject_cast<const QLabel*>(&control))
        return QStringLiteral("Label");
    if (qobject_cast<const QGroupBox*>(&control))
        return QStringLiteral("Frame");
    if (qobject_cast<const QStatusBar*>(&control))
        return QStringLiteral("StatusBar");
    if (qobject_cast<const WebView*>(&control))
        return QStringLiteral("WebBrowser");
    return QString::fromLatin1(control.metaObject()->className());
}

QList<QWidget*> formControls(QWidget& form)
{
    QList<QWidget*> controls;
    collect(form, controls);
    return controls;
}

void SetSkinColors(QWidget& form, const QColor& colourA, const QColor& colourB, const QColor& colourC,
                   const QColor& colourD)
{
    Q_UNUSED(colourD)
    const QList<QWidget*> controls = formControls(form);
    for (QWidget* control : controls) {
        const QString kind = controlKind(*control);
        if (kind == u"CommandButton") {
            setColors(*control, {{QPalette::Button, colourA}});
        } else if (kind == u"ComboBox") {
            // A combo box that cannot be typed in is drawn as a button.
            setColors(*control, {{QPalette::Base, colourA},
                                 {QPalette::Button, colourA},
                                 {QPalette::Text, colourB},
                                 {QPalette::ButtonText, colourB}});
        } else if (kind == u"TextBox" || kind == u"ListBox" || kind == u"ListView" || kind == u"FileListBox" ||
                   kind == u"DirListBox" || kind == u"DriveListBox") {
            setColors(*control, {{QPalette::Base, colourA}, {QPalette::Text, colourB}});
        } else if (kind == u"PictureBox") {
            setColors(*control, {{QPalette::Window, colourC}});
            control->setAutoFillBackground(true);
        }
    }
}

void ReplaceLabels(QWidget& form, SkinLabelArray& labelArray, LabelScope scope)
{
    if (labelArray.isEmpty())
        throw std::invalid_argument("a skin-label array has no template");
    const QWidget* container = labelArray.constFirst()->parentWidget();
    // Taken before the first element is made: the new elements are controls of the window too.
    const QList<QWidget*> controls = formControls(form);
    for (QWidget* control : controls) {
        auto* label = qobject_cast<QLabel*>(control);
        if (!label || controlKind(*label) != u"Label")
            continue;
        if (scope == LabelScope::SameContainer && label->parentWidget() != container)
            continue;
        labelArray.append(layOver(*label, *labelArray.constFirst(), upperBound(labelArray) + 1));
    }
}

modSkin::modSkin(SplashLoader loadSplash)
    : m_loadSplash(std::move(loadSplash))
{}

modSkin::~modSkin() = default;

SkinManager& modSkin::gSkinManager()
{
    if (!m_manager)
        m_manager = std::make_unique<SkinManager>();
    return *m_manager;
}

void modSkin::BeginSkinning(Skin& skn, QWidget& splash)
{
    gSkin = &skn;
    runGuarded("the splash window", "its skin", [&] { ApplySkin(splash); });
    try {
        gSkinManager().AttachSkin(skn);
        gSkinManager().StartSkinning();
    } catch (const std::exception& failure) {
        qWarning("skinning goes on window by window: %s", failure.what());
    }
}

void modSkin::ApplySkin(QWidget& form)
{
    try {
        skinOnce(form);
        return;
    } catch (const std::exception&) {
        // Most often there is no skin yet because the splash window has not loaded: its load sets one. One more
        // try after loading it, and no more, so a skin that cannot be had never holds a window's load up.
    }
    if (m_loadSplash)
        m_loadSplash();
    skinOnce(form);
}

void modSkin::skinOnce(QWidget& form)
{
    if (!gSkin)
        throw std::runtime_error("there is no skin: the splash window has not loaded");
    const SkinColors colors = gSkin->colors();
    SetSkinColors(form, colors.A, colors.B, colors.C, colors.D);
    gSkin->SkinWindow(form);
}

void modSkin::StopSkinning()
{
    gSkinManager().StopSkinning();
}

namespace {
constexpr int kBannerClipTwips = 280;
constexpr int kBannerClipPixels = 20;
} // namespace

int bannerClipPixels(const QWidget& wbBanner, ScaleMode scaleMode)
{
    if (scaleMode == ScaleMode::Pixels)
        return kBannerClipPixels;
    // 15 twips to a pixel at 96 dpi, as the windows lay themselves out.
    return qRound(kBannerClipTwips * (wbBanner.logicalDpiX() / 96.0) / 15.0);
}

QWidget* InstallBanner(WebEngineSource& engine, WebView& wbBanner, QWidget& wbPicture, ScaleMode scaleMode,
                       const QString& bannerUrl)
{
    QWidget* container = wbBanner.parentWidget();
    const QRect place = wbBanner.geometry();

    auto* picBox = new QFrame(container);
    picBox->setObjectName(QStringLiteral("picBox"));
    picBox->setProperty("controlKind", QStringLiteral("PictureBox"));
    picBox->setFrameShape(QFrame::NoFrame);
    picBox->setGeometry(place.left(), place.top(), qMax(0, place.width() - bannerClipPixels(wbBanner, scaleMode)),
                        place.height());

    // The page is laid out at the view's full width; the clip shows all of it but the right-hand strip.
    wbBanner.setParent(picBox);
    wbBanner.move(0, 0);
    wbBanner.resize(place.size());

    picBox->show();
    wbPicture.hide();
    new BannerPane(engine, wbBanner, QUrl(bannerUrl));
    return picBox;
}
