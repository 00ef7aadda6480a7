#include "Form3.h"

#include "GuardedStep.h"
#include "Module1.h"
#include "Twips.h"
#include "WindowLook.h"
#include "clsOnTop.h"
#include "modIdentity.h"
#include "modSkin.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QToolButton>

namespace {

// Client area in twips.
constexpr int kClientWidth = 6840;
constexpr int kClientHeight = 3285;

// An unskinned prompt still answers.
void runGuarded(const char* what, const std::function<void()>& step)
{
    ::runGuarded("the prompt", what, step);
}

} // namespace

Form3::Form3(QString site, const ProductIdentity& identity, Module1& lists, clsOnTop& onTop, WId topmostMainWindow,
             SkinHook skin, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_site(std::move(site))
    , m_identity(identity)
    , m_lists(lists)
    , m_onTop(onTop)
    , m_topmostMainWindow(topmostMainWindow)
    , m_skin(std::move(skin))
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Popup Detected!"));
    setFont(WindowLook::displayFont());
    m_scale = Twips::scaleOf(*this);
    setFixedSize(Twips::toPixels(kClientWidth, m_scale), Twips::toPixels(kClientHeight, m_scale));
    createControls();

    // Placed before it is first shown, so it opens in the middle of the screen rather than where the
    // window system would put it.
    if (const QScreen* where = screen())
        move(where->availableGeometry().center() - rect().center());
}

Form3::~Form3()
{
    Unload();
}

void Form3::place(QWidget* control, int left, int top, int width, int height)
{
    control->setGeometry(Twips::rect(left, top, width, height, m_scale));
}

void Form3::createControls()
{
    Label1 = new QLabel(
        QStringLiteral("While in setup mode you can choose to allow or block new windows from certain sites.  Chosing "
                       "either \"Always\" option will prevent you from seeing this prompt again for the current site, "
                       "and add it to your allowed or disallowed list."),
        this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    place(Label1, 120, 120, 6555, 1035);

    Label3 = new QLabel(QStringLiteral("Current Site:"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    place(Label3, 120, 1320, 6555, 255);

    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    place(Text1, 120, 1560, 6555, 285);

    const QSize picture(Twips::toPixels(480, m_scale), Twips::toPixels(480, m_scale));
    auto button = [this, &picture](QToolButton*& target, const char* name, const QString& text,
                                   const QString& pictureName, const QString& tip, int left) {
        target = WindowLook::pictureButton(this, name, text, pictureName, tip);
        target->setIconSize(picture);
        place(target, left, 2400, 1455, 855);
    };
    // Created left to right, so the tab order follows what the user sees.
    button(Command4, "Command4", QStringLiteral("Block Now"), QStringLiteral("block-now"), QString(), 60);
    button(Command2, "Command2", QStringLiteral("Block Always"), QStringLiteral("block-always"),
           QStringLiteral("prevents this site from displaying popups.  you will not see this window again for this "
                          "site."),
           1560);
    button(Command3, "Command3", QStringLiteral("Allow Now"), QStringLiteral("allow-now"),
           QStringLiteral("ignore this prompt for now.  this window will be displayed the next time a popup window "
                          "appears."),
           3780);
    button(Command1, "Command1", QStringLiteral("Allow Always"), QStringLiteral("allow-always"),
           QStringLiteral("allow this site to display popups.  you will not see this window again for this site."),
           5280);

    place(WindowLook::skinLabelTemplate(this, "SkinLabel1", SkinLabel1), 6600, 3060, 135, 135);

    connect(Command1, &QToolButton::clicked, this, &Form3::Command1_Click);
    connect(Command2, &QToolButton::clicked, this, &Form3::Command2_Click);
    connect(Command3, &QToolButton::clicked, this, &Form3::Command3_Click);
    connect(Command4, &QToolButton::clicked, this, &Form3::Command4_Click);
}

void Form3::Load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    // The main window leaves the topmost band while the prompt enters it, then rejoins it.
    if (m_topmostMainWindow != 0)
        m_onTop.MakeNormal(m_topmostMainWindow);
    Text1->setText(m_site);
    m_onTop.MakeTopMost(winId());
    if (m_topmostMainWindow != 0)
        m_onTop.MakeTopMost(m_topmostMainWindow);
    if (m_identity.gUseSkin) {
        runGuarded("its skin labels", [this] { ReplaceLabels(*this, SkinLabel1, LabelScope::SameContainer); });
        if (m_skin)
            runGuarded("its skin", [this] { m_skin(*this); });
    }
}

void Form3::Command1_Click()
{
    answerWith(true, [this](const QString& site) {
        if (m_lists.AddAllowedSite(site))
            m_lists.SaveAllowedSites();
    });
}

void Form3::Command2_Click()
{
    answerWith(false, [this](const QString& site) { m_lists.AddDisallowedSite(site); });
}

void Form3::Command3_Click()
{
    answerWith(true, {});
}

void Form3::Command4_Click()
{
    answerWith(false, {});
}

void Form3::answerWith(bool allow, const std::function<void(const QString& site)>& listChange)
{
    if (m_answered)
        return;
    // The box may have been edited: what it says now is what goes on the list. A list that cannot be
    // written has told the user so; the popup is settled by the answer all the same.
    const QString site = Text1->text();
    if (listChange && !site.isEmpty() && site != u" ")
        listChange(site);
    hide();
    giveAnswer(allow);
    close();
}

void Form3::giveAnswer(bool allow)
{
    if (m_answered)
        return;
    // Marked first: whoever receives the answer may close or destroy this window.
    m_answered = true;
    emit answered(allow);
}

void Form3::Unload()
{
    giveAnswer(false);
}

void Form3::closeEvent(QCloseEvent* event)
{
    Unload();
    event->accept();
}

void Form3::keyPressEvent(QKeyEvent* event)
{
    // Escape closes the prompt as its close button does.
    if (event->matches(QKeySequence::Cancel)) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
