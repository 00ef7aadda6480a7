#include "frmWebsite.h"

#include "GuardedStep.h"
#include "PanelStatusBar.h"
#include "ResourceLocator.h"
#include "Twips.h"
#include "WebView.h"
#include "WindowLook.h"
#include "modIdentity.h"
#include "modOnTop.h"
#include "modSkin.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QToolButton>
#include <QUrl>

#include <unistd.h>

#include <cstdlib>
#include <initializer_list>

namespace {

// Design measures in twips: the window's furniture keeps these lefts and tops; the sizes follow the window.
constexpr int kFrameWidth = 6375;
constexpr int kFrameHeight = 7215;
constexpr int kFrameMargin = 300; // between the frame's right edge and the window's
constexpr int kText1Left = 540;
constexpr int kText1Top = 240;
constexpr int kRowHeight = 315;
constexpr int kGoWidth = 795;
constexpr int kGoGap = 100;      // between the address box and Go
constexpr int kGoRightGap = 300; // what the address box leaves for Go besides its width
constexpr int kPaneLeft = 120;
constexpr int kPaneTop = 1140;
constexpr int kPaneRightGap = 100;
constexpr int kPaneBottomGap = 800;
constexpr int kNavigationTop = 600;
constexpr int kNavigationWidth = 1000;
constexpr int kNavigationHeight = 435;

// The Go picture's own size, and the navigation pictures', in pixels at 96 dpi.
constexpr int kGoPictureWidth = 46;
constexpr int kGoPictureHeight = 16;
constexpr int kNavigationPicture = 24;

} // namespace

frmWebsite::frmWebsite(const ProductIdentity& identity, clsOnTop& onTop, WebEngineSource& engine,
                       std::function<bool()> exitPending, std::function<void()> endProgram, SkinHook skin,
                       QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_identity(identity)
    , m_exitPending(std::move(exitPending))
    , m_onTop(onTop)
    , m_endProgram(std::move(endProgram))
    , m_skin(std::move(skin))
{
    setObjectName(QStringLiteral("frmWebsite"));
    setFont(WindowLook::displayFont());
    m_scale = Twips::scaleOf(*this);
    createControls(engine);
    resize(Twips::toPixels(kFrameWidth + kFrameMargin, m_scale),
           Twips::toPixels(kFrameHeight, m_scale) + StatusBar1->sizeHint().height());
}

void frmWebsite::prepareProcess()
{
    // Before the QApplication: QtWebEngine shares its contexts with the widgets' and reads the switch once.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Chromium's sandbox refuses to start as root; a value the user set stays theirs.
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // QtWebEngine reports its graphics set-up on every start; QT_LOGGING_RULES can still ask for it.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
}

void frmWebsite::place(QWidget* control, int left, int top, int width, int height)
{
    control->setGeometry(Twips::rect(left, top, width, height, m_scale));
}

QToolButton* frmWebsite::navigationButton(const char* name, const QString& text, const QString& picture,
                                          const QString& tip, int left)
{
    QToolButton* button = WindowLook::pictureButton(frmBrowser, name, text, picture, tip);
    button->setIconSize(QSize(kNavigationPicture, kNavigationPicture) * m_scale);
    // A 1000 by 435 twip button holds neither a picture above its caption nor "Forward" beside one: as in
    // every browser the picture shows alone, with its tooltip; the caption stays the button's text, which
    // screen readers say.
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    place(button, left, kNavigationTop, kNavigationWidth, kNavigationHeight);
    return button;
}

void frmWebsite::createControls(WebEngineSource& engine)
{
    frmBrowser = new QGroupBox(QStringLiteral("Browser"), this);
    frmBrowser->setObjectName(QStringLiteral("frmBrowser"));
    QFont heading = font();
    heading.setPointSizeF(8.25);
    heading.setBold(true);
    frmBrowser->setFont(heading);
    place(frmBrowser, 0, 0, kFrameWidth, kFrameHeight);

    Label5 = new QLabel(QStringLiteral("URL:"), frmBrowser);
    Label5->setObjectName(QStringLiteral("Label5"));
    place(Label5, 120, 300, 1215, 255);

    Text1 = new QLineEdit(frmBrowser);
    Text1->setObjectName(QStringLiteral("Text1"));
    place(Text1, kText1Left, kText1Top, 4875, kRowHeight);

    Command3 = WindowLook::pictureButton(frmBrowser, "Command3", QStringLiteral("Go"), QStringLiteral("go"),
                                         QStringLiteral("browse the entered url"));
    // The picture is drawn 46 x 16 and stored square, stretched, by the artwork script: drawing it at its
    // own size undoes the stretch. Picture and text do not both fit the button, so the picture stands alone.
    const QSize goSize = QSize(kGoPictureWidth, kGoPictureHeight) * m_scale;
    const QPixmap goPicture(ResourceLocator().path(QStringLiteral("buttons/go@2x.png")));
    if (!goPicture.isNull()) {
        QIcon go;
        for (const int ratio : {1, 2}) {
            QPixmap drawn = goPicture.scaled(goSize * ratio, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            drawn.setDevicePixelRatio(ratio);
            go.addPixmap(drawn);
        }
        Command3->setIcon(go);
    }
    Command3->setIconSize(goSize);
    Command3->setToolButtonStyle(Qt::ToolButtonIconOnly);
    place(Command3, 5460, kText1Top, kGoWidth, kRowHeight);

    Command4 =
        navigationButton("Command4", QStringLiteral("Back"), QStringLiteral("back"), QStringLiteral("back"), 540);
    Command5 = navigationButton("Command5", QStringLiteral("Forward"), QStringLiteral("forward"),
                                QStringLiteral("forward"), 1620);
    Command6 =
        navigationButton("Command6", QStringLiteral("Stop"), QStringLiteral("stop"), QStringLiteral("stop"), 2700);
    Command7 = navigationButton("Command7", QStringLiteral("Refresh"), QStringLiteral("refresh"),
                                QStringLiteral("refresh"), 3780);

    // Only the frame's caption is bold; its controls keep the window's font. The weight is named outright,
    // or the controls would take it from the frame.
    QFont plain = font();
    plain.setBold(false);
    for (QWidget* control :
         std::initializer_list<QWidget*>{Label5, Text1, Command3, Command4, Command5, Command6, Command7})
        control->setFont(plain);

    WebBrowser1 = new WebView(frmBrowser);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    place(WebBrowser1, kPaneLeft, kPaneTop, 6135, 5595);
    // Without the web engine the pane says why and the rest of the window still works.
    WebBrowser1->open(engine, WebEngineModule::Profile::Shared);

    QLabel* skinTemplate = WindowLook::skinLabelTemplate(frmBrowser, "SkinLabel1", SkinLabel1);
    skinTemplate->setText(QStringLiteral("Windowed Label"));
    place(skinTemplate, 3180, 6840, 555, 135);

    StatusBar1 = new PanelStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));

    connect(Text1, &QLineEdit::returnPressed, this, &frmWebsite::Command3_Click);
    connect(Command3, &QToolButton::clicked, this, &frmWebsite::Command3_Click);
    connect(Command4, &QToolButton::clicked, WebBrowser1, &WebView::back);
    connect(Command5, &QToolButton::clicked, WebBrowser1, &WebView::forward);
    connect(Command6, &QToolButton::clicked, WebBrowser1, &WebView::stop);
    connect(Command7, &QToolButton::clicked, WebBrowser1, &WebView::reload);
    connect(WebBrowser1, &WebView::linkHovered, this, [this](const QString& url) { StatusBar1->setPanelText(1, url); });
    connect(WebBrowser1, &WebView::loadFinished, this, &frmWebsite::WebBrowser1_DownloadComplete);
}

void frmWebsite::runGuarded(const char* what, const std::function<void()>& step) const
{
    ::runGuarded("the browser window", what, step);
}

void frmWebsite::Load()
{
    StatusBar1->addPanel();
    setWindowTitle(m_identity.gWebsite);
    runGuarded("its place on top", [this] { SetOnTop(m_onTop, *this, true); });
    if (m_identity.gUseSkin) {
        runGuarded("its skin labels", [this] { ReplaceLabels(*this, SkinLabel1, LabelScope::SameContainer); });
        if (m_skin)
            runGuarded("its skin", [this] { m_skin(*this); });
    }
    const QUrl site = QUrl::fromUserInput(m_identity.gWebsite);
    if (site.isValid())
        WebBrowser1->load(site);
    setWindowState(windowState() | Qt::WindowMaximized);
    runGuarded("its normal place", [this] { SetOnTop(m_onTop, *this, false); });
}

void frmWebsite::Command3_Click()
{
    const QString typed = Text1->text().trimmed();
    if (typed.isEmpty()) {
        StatusBar1->setPanelText(1, QStringLiteral("Type a web address first"));
        return;
    }
    const QUrl url = QUrl::fromUserInput(typed);
    if (!url.isValid()) {
        StatusBar1->setPanelText(1, QStringLiteral("Not a web address: ") + typed);
        return;
    }
    WebBrowser1->load(url);
}

void frmWebsite::WebBrowser1_DownloadComplete()
{
    Text1->setText(WebBrowser1->url().toString());
    setWindowTitle(WebBrowser1->title());
}

void frmWebsite::ArrangeControls()
{
    // Everything in twips, and every size taken as a distance: a window smaller than its furniture gets
    // controls of some size rather than negative ones, which Qt would flatten to nothing.
    const int statusBarPixels = StatusBar1->sizeHint().height();
    StatusBar1->setGeometry(0, height() - statusBarPixels, width(), statusBarPixels);
    const int windowWidth = Twips::fromPixels(width(), m_scale);
    const int windowHeight = Twips::fromPixels(height(), m_scale);
    const int statusBar = Twips::fromPixels(statusBarPixels, m_scale);

    StatusBar1->setPanelWidth(1, Twips::toPixels(windowWidth / 2, m_scale));
    StatusBar1->setPanelWidth(2, Twips::toPixels(windowWidth / 2, m_scale));

    const int frameHeight = std::abs(windowHeight - statusBar);
    const int frameWidth = std::abs(windowWidth - kFrameMargin);
    place(frmBrowser, 0, 0, frameWidth, frameHeight);

    const int text1Width = std::abs(frameWidth - kText1Left - kGoRightGap - kGoWidth);
    place(Text1, kText1Left, kText1Top, text1Width, kRowHeight);
    place(Command3, kText1Left + text1Width + kGoGap, kText1Top, kGoWidth, kRowHeight);

    place(WebBrowser1, kPaneLeft, kPaneTop, std::abs(frameWidth - kPaneLeft - kPaneRightGap),
          std::abs(frameHeight - kPaneTop - kPaneBottomGap - statusBar));
}

void frmWebsite::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    ArrangeControls();
}

void frmWebsite::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    ArrangeControls();
}

void frmWebsite::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (!m_exitPending || !m_exitPending())
        return;
    // The main window is gone already: this window was all that kept the program going.
    if (m_identity.gUseSkin && m_stopSkinning)
        runGuarded("stopping its skin", m_stopSkinning);
    if (m_endProgram)
        m_endProgram();
}
