#include "Form1.h"

#include "AddRemove.h"
#include "BlockingEngine.h"
#include "GuardedStep.h"
#include "MainWindowShell.h"
#include "Module1.h"
#include "PanelStatusBar.h"
#include "ResourceLocator.h"
#include "SettingsStore.h"
#include "StoredOptions.h"
#include "Twips.h"
#include "WebView.h"
#include "WindowLook.h"
#include "clsOnTop.h"
#include "modIdentity.h"
#include "modSkin.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QSignalBlocker>
#include <QToolBar>
#include <QToolButton>

namespace {

// Client area in twips: the controls' area and the status bar below it.
constexpr int kClientWidth = 7605;
constexpr int kClientHeight = 6930;
constexpr int kStatusBarTop = 6615;

} // namespace

Form1::Form1(Services services, QWidget* parent)
    : QMainWindow(parent)
    , m_engine(services.engine)
    , m_identity(services.identity)
    , m_registry(services.registry)
    , m_placement(services.placement)
    , m_shell(services.shell)
    , m_programFile(std::move(services.programFile))
    , m_clientHeight(kClientHeight)
{
    setObjectName(QStringLiteral("Form1"));
    setFont(WindowLook::displayFont());
    setWindowIcon(QIcon(ResourceLocator().path(QStringLiteral("icons/tarnwick.png"))));
    m_scale = Twips::scaleOf(*this);

    // The engine saves the count at every block; the window shows it live and says what went wrong.
    connect(&m_engine, &BlockingEngine::BlockedCountChanged, this, &Form1::showCount);
    connect(&m_engine, &BlockingEngine::Status, this, &Form1::ShowStatus);

    createControls();
    createMenus();
    // The window is as large as its controls and no larger: they sit where the layout table puts them.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

Form1::~Form1() = default;

void Form1::place(QWidget* control, int left, int top, int width, int height)
{
    m_twips.insert(control, QRect(left, top, width, height));
    control->setGeometry(Twips::rect(left, top, width, height, m_scale));
}

void Form1::setTopTwips(QWidget* control, int twips)
{
    QRect& rect = m_twips[control];
    rect.moveTop(twips);
    control->setGeometry(Twips::rect(rect.left(), rect.top(), rect.width(), rect.height(), m_scale));
}

int Form1::topTwips(const QWidget* control) const
{
    return m_twips.value(control).top();
}

int Form1::heightTwips(const QWidget* control) const
{
    return m_twips.value(control).height();
}

void Form1::setClientHeightTwips(int twips)
{
    m_clientHeight = twips;
    m_client->setFixedSize(Twips::toPixels(kClientWidth, m_scale),
                           Twips::toPixels(m_clientHeight - (kClientHeight - kStatusBarTop), m_scale));
}

QLabel* Form1::optionLabel(QCheckBox*& box, const char* boxName, const char* labelName, int top, const QString& text,
                           const QString& tip)
{
    box = new QCheckBox(Frame2);
    box->setObjectName(QString::fromLatin1(boxName));
    box->setToolTip(tip);
    box->setAccessibleName(text);
    place(box, 120, top, 200, 200);
    auto* label = new QLabel(text, Frame2);
    label->setObjectName(QString::fromLatin1(labelName));
    label->setToolTip(tip);
    place(label, 360, top, 7035, 255);
    return label;
}

void Form1::createControls()
{
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    setCentralWidget(m_client);
    setClientHeightTwips(kClientHeight);

    auto button = [](QToolButton*& target, const char* name, const QString& text, const QString& picture,
                     const QString& tip, QWidget* parent) {
        target = WindowLook::pictureButton(parent, name, text, picture, tip);
    };

    button(Command5, "Command5", QStringLiteral("Allow Next Popup"), QStringLiteral("allow-next"),
           QStringLiteral("This will allow the next popup to be opened.  You can also press Win + Z or right click the "
                          "Program Icon.  This is useful if a legitimate window is being misinterpreted as a popup."),
           m_client);
    place(Command5, 60, 60, 1875, 975);
    button(Command6, "Command6", QStringLiteral("Minimize"), QStringLiteral("minimize"),
           QStringLiteral("The program will run silently in the taskbar while you browse.  You can right click the "
                          "program icon for a list of options, or to maximize the program."),
           m_client);
    place(Command6, 1980, 60, 1875, 975);
    button(Command7, "Command7", QString(), QStringLiteral("visit"), QString(), m_client);
    place(Command7, 3900, 60, 3675, 975);
    const QSize bigPicture(Twips::toPixels(480, m_scale), Twips::toPixels(480, m_scale));
    for (QToolButton* big : {Command5, Command6, Command7})
        big->setIconSize(bigPicture);

    // The banner pane takes this place once it is installed; until then nothing shows here.
    wbPicture = new QLabel(m_client);
    wbPicture->setObjectName(QStringLiteral("wbPicture"));
    place(wbPicture, 7110, 1110, 330, 920);
    wbPicture->setProperty("controlKind", QStringLiteral("PictureBox"));
    wbBanner = new WebView(m_client);
    wbBanner->setObjectName(QStringLiteral("wbBanner"));
    // A strip of the window, not a browser: no Back, Reload or View Source on a right click.
    wbBanner->setContextMenuPolicy(Qt::NoContextMenu);
    place(wbBanner, 300, 1080, 7335, 945);
    wbBanner->hide();

    Frame2 = new QGroupBox(QStringLiteral("Program Options"), m_client);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    place(Frame2, 60, 1080, 7515, 1755);
    Label5 = optionLabel(Check1, "Check1", "Label5", 240,
                         QStringLiteral("Popup Blocking: Stop Popups from all sites that aren't on my allowed list"),
                         QStringLiteral("This controls whether popup blocking is on or off."));
    Label6 = optionLabel(
        Check2, "Check2", "Label6", 480,
        QStringLiteral("Setup Mode: Add sites to my Allowed or Disallowed list as I browse"),
        QStringLiteral(
            "When in Setup Mode, whenever a site attempts to open a popup you be prompted to either allow it "
            "or disallow it.  We recommend using Setup Mode for a few days to collect a list of allowed and "
            "disallowed sites."));
    Label4 = optionLabel(
        Check6, "Check6", "Label4", 720, QStringLiteral("Exceptions: Allow popups when my mouse is over a link"),
        QStringLiteral("The program can detect when your mouse is over a link, which will allow links that open in new "
                       "windows to be opened.  The program will be less accurate with this option on, but it may be "
                       "more convenient for you."));
    Label2 = optionLabel(Check5, "Check5", "Label2", 960, QStringLiteral("Audio: Play a sound when a popup is blocked"),
                         QStringLiteral("If selected, every time a popup is blocked you will hear a POP! sound."));
    Label7 =
        optionLabel(Check3, "Check3", "Label7", 1200, QStringLiteral("Visual: Keep this window on top of all others"),
                    QStringLiteral("This causes the program to stay on top of other windows."));
    Label8 = optionLabel(
        Check4, "Check4", "Label8", 1440, QStringLiteral("Automation: Run at startup and block popups automatically"),
        QStringLiteral("This will enable the program to be run every time you start your computer, so that you don't "
                       "have to remember to open it before browsing."));
    place(WindowLook::skinLabelTemplate(Frame2, "SkinLabel1", SkinLabel1), 7200, 1500, 135, 135);

    connect(Check1, &QCheckBox::toggled, this, &Form1::Check1_Click);
    connect(Check2, &QCheckBox::toggled, this, &Form1::Check2_Click);
    connect(Check3, &QCheckBox::toggled, this, &Form1::Check3_Click);
    connect(Check4, &QCheckBox::toggled, this, &Form1::Check4_Click);
    connect(Check5, &QCheckBox::toggled, this, &Form1::Check5_Click);
    connect(Check6, &QCheckBox::toggled, this, &Form1::Check6_Click);

    Frame1 = new QGroupBox(QStringLiteral("Website Settings"), m_client);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    place(Frame1, 60, 2880, 7515, 3675);

    Label3 = new QLabel(QStringLiteral("Allowed Sites:"), Frame1);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setToolTip(QStringLiteral("allowed sites will be able to open popup windows.  however, the windows that "
                                      "popup are not affected by tarnwick and will be able to launch popups."));
    place(Label3, 120, 255, 1815, 255);
    Text1 = new QLineEdit(Frame1);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setToolTip(QStringLiteral("Type the domain of a site to allow, for example example.com, then click Add."));
    Text1->setAccessibleName(QStringLiteral("Allowed site"));
    place(Text1, 120, 600, 1815, 285);
    button(Command1, "Command1", QStringLiteral("Add"), QStringLiteral("add"),
           QStringLiteral("Allow popups from the site typed in the text box to the left."), Frame1);
    place(Command1, 2040, 180, 795, 695);
    button(Command2, "Command2", QStringLiteral("Delete"), QStringLiteral("delete"),
           QStringLiteral("Remove the selected site from the Allowed List"), Frame1);
    place(Command2, 2880, 180, 795, 695);
    List1 = new QListView(Frame1);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setToolTip(QStringLiteral("sites that are allowed will not be prevented from opening popups"));
    List1->setModel(&m_engine.lists().List1());
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List1->setAccessibleName(QStringLiteral("Allowed sites list"));
    place(List1, 120, 900, 3615, 2595);

    Label1 = new QLabel(QStringLiteral("Disallowed Sites:"), Frame1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setToolTip(QStringLiteral("by default, tarnwick.  adding a site to the disallowed list  prevents it from "
                                      "notifying you of popups while in setup mode."));
    place(Label1, 3780, 255, 1815, 255);
    Text2 = new QLineEdit(Frame1);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setToolTip(
        QStringLiteral("Type the domain of a site to disallow, for example example.com, then click Add."));
    Text2->setAccessibleName(QStringLiteral("Disallowed site"));
    place(Text2, 3780, 600, 1815, 285);
    button(Command4, "Command4", QStringLiteral("Add"), QStringLiteral("add"),
           QStringLiteral("Prevent popups from the site typed in the text box to the left."), Frame1);
    place(Command4, 5700, 180, 795, 695);
    button(Command3, "Command3", QStringLiteral("Delete"), QStringLiteral("delete"),
           QStringLiteral("Remove the selected site from the Disallowed List"), Frame1);
    place(Command3, 6540, 180, 795, 695);
    List2 = new QListView(Frame1);
    List2->setObjectName(QStringLiteral("List2"));
    List2->setToolTip(
        QStringLiteral("all sites that are not \"allowed\" are blocked by tarnwick.  disallowed sites will "
                       "not prompt you from setup mode."));
    List2->setModel(&m_engine.lists().List2());
    List2->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List2->setAccessibleName(QStringLiteral("Disallowed sites list"));
    place(List2, 3780, 900, 3615, 2595);
    place(WindowLook::skinLabelTemplate(Frame1, "SkinLabel2", SkinLabel2), 7200, 3400, 135, 135);

    // The two Add and the two Delete buttons share their captions; a screen reader tells them apart by these.
    Command1->setAccessibleName(QStringLiteral("Add allowed site"));
    Command2->setAccessibleName(QStringLiteral("Delete allowed site"));
    Command4->setAccessibleName(QStringLiteral("Add disallowed site"));
    Command3->setAccessibleName(QStringLiteral("Delete disallowed site"));

    connect(Command5, &QToolButton::clicked, this, &Form1::Command5_Click);
    connect(Command6, &QToolButton::clicked, this, &Form1::Command6_Click);
    connect(Command1, &QToolButton::clicked, this,
            [this] { Module1::AddButton(m_engine.lists().allowed(), Text1->text()); });
    connect(Command4, &QToolButton::clicked, this,
            [this] { Module1::AddButton(m_engine.lists().disallowed(), Text2->text()); });
    auto selectedRow = [](const QListView* list) {
        const QModelIndex current = list->selectionModel()->currentIndex();
        return list->selectionModel()->isSelected(current) ? current.row() : -1;
    };
    connect(Command2, &QToolButton::clicked, this,
            [this, selectedRow] { Module1::DeleteButton(m_engine.lists().allowed(), selectedRow(List1)); });
    connect(Command3, &QToolButton::clicked, this,
            [this, selectedRow] { Module1::DeleteButton(m_engine.lists().disallowed(), selectedRow(List2)); });
    // Enter in a site box adds it; the Delete key deletes the selected entry.
    connect(Text1, &QLineEdit::returnPressed, Command1, &QToolButton::click);
    connect(Text2, &QLineEdit::returnPressed, Command4, &QToolButton::click);
    List1->installEventFilter(this);
    List2->installEventFilter(this);

    // Outside the client area: never seen, its window only receives the hot key.
    pctHotkey = new QWidget(m_client);
    pctHotkey->setObjectName(QStringLiteral("pctHotkey"));
    pctHotkey->setProperty("controlKind", QStringLiteral("PictureBox"));
    place(pctHotkey, 9660, 120, 1155, 675);
    pctHotkey->hide();

    StatusBar1 = new PanelStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(Twips::toPixels(kClientHeight - kStatusBarTop, m_scale));
    setStatusBar(StatusBar1);

    // Below the client area, so that every control keeps its place.
    GuardBar = new QToolBar(this);
    GuardBar->setObjectName(QStringLiteral("GuardBar"));
    GuardBar->setMovable(false);
    GuardBar->setFloatable(false);
    GuardBar->toggleViewAction()->setEnabled(false);
    lblGuard = new QLabel(QStringLiteral("Not guarding any browser"), GuardBar);
    lblGuard->setObjectName(QStringLiteral("lblGuard"));
    lblGuard->setContentsMargins(Twips::toPixels(120, m_scale), 0, Twips::toPixels(120, m_scale), 0);
    GuardBar->addWidget(lblGuard);
    cmdStartBrowser = GuardBar->addAction(QStringLiteral("Start a guarded browser"));
    cmdStartBrowser->setObjectName(QStringLiteral("cmdStartBrowser"));
    cmdStartBrowser->setToolTip(
        QStringLiteral("Starts your browser with Tarnwick watching it from the start, popups blocked."));
    connect(cmdStartBrowser, &QAction::triggered, this, &Form1::StartBrowserRequested);
    addToolBar(Qt::BottomToolBarArea, GuardBar);
}

void Form1::ShowGuardStatus(const QString& text, bool guarding)
{
    lblGuard->setText(text);
    cmdStartBrowser->setVisible(!guarding);
}

QString Form1::guardStatus() const
{
    return lblGuard->text();
}

void Form1::createMenus()
{
    auto item = [](QMenu* menu, const char* name, const QString& text, int index) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        if (index >= 0)
            action->setProperty("index", index);
        return action;
    };
    mnuFile = menuBar()->addMenu(QStringLiteral("File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFileItem = item(mnuFile, "mnuFileItem", QStringLiteral("Exit"), 1);
    mnuAction = menuBar()->addMenu(QStringLiteral("Action"));
    mnuAction->setObjectName(QStringLiteral("mnuAction"));
    mnuActionItem = {item(mnuAction, "mnuActionItem", QStringLiteral("Minimize to Taskbar"), 0),
                     item(mnuAction, "mnuActionItem", QStringLiteral("Allow the Next Popup (Win-Z)"), 1)};
    mnuTools = menuBar()->addMenu(QStringLiteral("Tools"));
    mnuTools->setObjectName(QStringLiteral("mnuTools"));
    mnuToolsItem = {item(mnuTools, "mnuToolsItem", QStringLiteral("Add Program to IE Tools Menu"), 0),
                    item(mnuTools, "mnuToolsItem", QStringLiteral("Remove Program from IE Tools Menu"), 1)};
    mnuTools->addSeparator();
    mnuLaunchers = item(mnuTools, "mnuLaunchers", QStringLiteral("Add Guarded Browsers to the Applications Menu"), -1);
    mnuHelp = menuBar()->addMenu(QStringLiteral("Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpItem = item(mnuHelp, "mnuHelpItem", QStringLiteral("View Help"), 0);
    mnuAbout = menuBar()->addMenu(QStringLiteral("About"));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
    mnuAboutItem = item(mnuAbout, "mnuAboutItem", QStringLiteral("About this software"), 0);

    Popup = new QMenu(QStringLiteral("Popup"), this);
    Popup->setObjectName(QStringLiteral("Popup"));
    closeItem = item(Popup, "close", QStringLiteral("Close this menu"), -1);
    showItem = item(Popup, "show", QStringLiteral("Show program"), -1);
    allow = item(Popup, "allow", QStringLiteral("Allow next popup (win-z)"), -1);
    Exit = item(Popup, "Exit", QStringLiteral("Exit"), -1);

    // Both "Exit" items unload the main window, which ends the program.
    connect(mnuFileItem, &QAction::triggered, this, &QWidget::close);
    connect(Exit, &QAction::triggered, this, &QWidget::close);
    connect(allow, &QAction::triggered, this, &Form1::Command5_Click);
    connect(showItem, &QAction::triggered, this, &Form1::ShowProgram);
    for (QAction* action : std::as_const(mnuActionItem)) {
        connect(action, &QAction::triggered, this,
                [this, action] { mnuActionItem_Click(action->property("index").toInt()); });
    }
    // What the window does not do itself, it asks the program for.
    connect(mnuToolsItem[0], &QAction::triggered, this, &Form1::AddToolsEntryRequested);
    connect(mnuToolsItem[1], &QAction::triggered, this, &Form1::RemoveToolsEntryRequested);
    connect(mnuLaunchers, &QAction::triggered, this, &Form1::InstallLaunchersRequested);
    connect(mnuHelpItem, &QAction::triggered, this, &Form1::HelpRequested);
    connect(mnuAboutItem, &QAction::triggered, this, &Form1::AboutRequested);
    connect(Command7, &QToolButton::clicked, this, &Form1::VisitRequested);
}

bool Form1::Load(QString* error)
{
    DecisionState& decision = m_engine.state();
    SettingsStore& settings = m_engine.settings();
    decision.gAllowNext = false;
    setWindowTitle(m_identity.gProgramName + QStringLiteral(" by ") + m_identity.gCompanyName);
    Command7->setText(QStringLiteral("Visit ") + m_identity.gWebsite);
    // The option handlers below use the registry helper and the placement, so both come first.
    VarAddRemove = std::make_unique<AddRemove>(m_registry);
    m_shell.AddTrayIcon(*this);
    onTop = std::make_unique<clsOnTop>(m_placement);
    m_onTopActive = false;

    // Setting a box runs its click handling when the value changes; all boxes start clear.
    setBox(Check6, SettingKeys::chkLinks);
    setBox(Check5, SettingKeys::chkSound);
    setBox(Check4, SettingKeys::chkRunAtStart);
    setBox(Check3, SettingKeys::chkOnTop);
    setBox(Check2, SettingKeys::chkAuto);
    setBox(Check1, SettingKeys::chkStopPop);
    // The decision reads what the boxes show, whatever the engine read before.
    StoredOptions& options = m_engine.options();
    options.setPopupBlocking(Check1->isChecked());
    options.setSetupMode(Check2->isChecked());
    options.setBlockSound(Check5->isChecked());
    options.setLinkException(Check6->isChecked());

    m_engine.LoadCount();
    // The list files replace these texts below; they only stand where a file cannot be read.
    decision.gAllowedSites.setText(settings.GetSetting(SettingKeys::strAllowed.key(),
                                                       m_identity.gWebsite + QStringLiteral("/programclicks.asp\r\n")));
    decision.gDisallowedSites.setText(settings.GetSetting(SettingKeys::strDisallowed));
    m_windowState = settings.GetSetting(SettingKeys::state);

    StatusBar1->addPanel();
    StatusBar1->addPanel();
    // The width the window will have when shown, not the width of a window not laid out yet.
    layout()->activate();
    const int half = qRound(qAbs(width()) / 2.0);
    StatusBar1->setPanelWidth(1, half);
    StatusBar1->setPanelWidth(2, half);
    // The third panel stays empty: its share goes to panel 2's messages.
    StatusBar1->setPanelWidth(3, 0);
    showCount();
    if (!m_pendingFailure.isEmpty())
        StatusBar1->setPanelText(2, std::exchange(m_pendingFailure, QString()));

    if (!m_engine.OpenLists(m_identity.gWebsite, error))
        return false;

    setWindowState(m_windowState == u"up" ? Qt::WindowNoState : Qt::WindowMinimized);
    QString reason;
    if (!m_shell.InstallHook(
            *pctHotkey, [this] { pctHotkey_MouseMove(); }, &reason))
        ShowStatus(reason);

    // The lists are loaded: the first popup decision already sees both.
    m_engine.StartWatching();

    if (m_identity.gUseSkin) {
        runGuarded("the skin labels", [this] {
            ReplaceLabels(*this, SkinLabel1, LabelScope::SameContainer);
            ReplaceLabels(*this, SkinLabel2, LabelScope::SameContainer);
        });
        runGuarded("the skin", [this] { m_shell.ApplySkin(*this); });
    }
    if (m_identity.gShowBanner) {
        runGuarded("the banner pane", [this] {
            const int room = heightTwips(wbBanner) + 100;
            setTopTwips(Frame1, topTwips(Frame1) + room);
            setTopTwips(Frame2, topTwips(Frame2) + room);
            setClientHeightTwips(m_clientHeight + room);
            m_shell.InstallBanner(*wbBanner, *wbPicture);
        });
    }
    runGuarded("the browser Tools-menu probe", [this] { m_shell.CheckToolsEntry(); });
    runGuarded("the help window", [this, &settings] {
        if (settings.GetSetting(SettingKeys::showHelp) != u"1")
            return;
        QWidget* help = m_shell.ShowHelpWindow();
        if (help && m_onTopActive)
            onTop->MakeTopMost(help->winId());
    });
    return true;
}

void Form1::runGuarded(const char* what, const std::function<void()>& step) const
{
    ::runGuarded("start-up", what, step);
}

void Form1::setBox(QCheckBox* box, const SettingKey& key)
{
    box->setChecked(m_engine.settings().GetBoxState(key) == 1);
}

void Form1::Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;

    const DecisionState& decision = m_engine.state();
    QStringList unsaved;
    auto save = [&](const SettingKey& key, const QString& value) {
        if (!m_engine.settings().SaveSetting(key, value))
            unsaved.append(key.key());
    };
    auto boxValue = [](const QCheckBox* box) {
        return QString::number(box->isChecked() ? 1 : 0);
    };
    save(SettingKeys::chkRunAtStart, boxValue(Check4));
    save(SettingKeys::chkOnTop, boxValue(Check3));
    save(SettingKeys::chkAuto, boxValue(Check2));
    save(SettingKeys::chkStopPop, boxValue(Check1));
    // Added to what the settings hold, which another program on them may have raised.
    if (!m_engine.SaveCount())
        unsaved.append(SettingKeys::intStopped.key());
    save(SettingKeys::strAllowed, decision.gAllowedSites.text());
    save(SettingKeys::strDisallowed, decision.gDisallowedSites.text());
    save(SettingKeys::chkLinks, boxValue(Check6));
    save(SettingKeys::state, m_windowState);
    // Nobody is left to read panel 2 now.
    if (!unsaved.isEmpty())
        qCritical("could not save the settings %s", qPrintable(unsaved.join(QStringLiteral(", "))));

    m_shell.RemoveTrayIcon(*this);
    m_shell.RemoveHook();
    m_engine.StopWatching();

    if (m_shell.WebsiteWindowKeepsProgram())
        return;
    if (m_identity.gUseSkin)
        m_shell.StopSkinning();
    emit ProgramEnded();
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        if (watched == List1) {
            Command2->click();
            return true;
        }
        if (watched == List2) {
            Command3->click();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event)
{
    // Closing never only hides the window: it always unloads.
    Unload();
    event->accept();
}

void Form1::ShowStatus(const QString& text)
{
    if (!StatusBar1->setPanelText(2, text))
        m_pendingFailure = text;
}

QString Form1::panelText(int index) const
{
    return StatusBar1->panelText(index);
}

int Form1::panelCount() const
{
    return StatusBar1->panelCount();
}

void Form1::Command5_Click()
{
    const bool allowNext = m_engine.ToggleAllowNext();
    StatusBar1->setPanelText(2, allowNext ? QStringLiteral("The next popup will be allowed.")
                                          : QStringLiteral("The next popup will NOT be allowed."));
}

void Form1::pctHotkey_MouseMove()
{
    Command5_Click();
}

void Form1::Command6_Click()
{
    setWindowState(windowState() | Qt::WindowMinimized);
}

void Form1::mnuActionItem_Click(int index)
{
    if (index == 0)
        Command6_Click();
    else if (index == 1)
        Command5_Click();
}

void Form1::ShowProgram()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    setVisible(true);
    raise();
    activateWindow();
}

void Form1::ShowTrayMenu()
{
    Popup->popup(QCursor::pos());
}

void Form1::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void Form1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // Shown minimised (a stored state other than "up"): it belongs in the tray, once the show is over.
    if (isMinimized())
        QMetaObject::invokeMethod(this, &Form1::Form_Resize, Qt::QueuedConnection);
}

void Form1::Form_Resize()
{
    if (m_unloaded)
        return;
    if (isMinimized()) {
        m_windowState = QStringLiteral("down");
        // Hidden only where the tray icon can bring it back; otherwise it stays in the task bar.
        if (m_shell.TrayIconShown()) {
            hide();
        } else if (!m_noTraySaid) {
            m_noTraySaid = true;
            ShowStatus(QStringLiteral("There is no system tray: the window stays in the task bar"));
        }
    } else {
        m_windowState = QStringLiteral("up");
        if (!isVisible())
            show();
    }
    m_engine.settings().SaveSetting(SettingKeys::state, m_windowState);
}

void Form1::showCount()
{
    StatusBar1->setPanelText(1, QString::number(m_engine.state().gBlockedCount) +
                                    QStringLiteral(" Popups blocked to date"));
}

void Form1::Check1_Click()
{
    const bool checked = Check1->isChecked();
    m_engine.options().setPopupBlocking(checked);
    StatusBar1->setPanelText(2,
                             checked ? QStringLiteral("Now blocking popups") : QStringLiteral("Now allowing popups"));
}

void Form1::Check2_Click()
{
    const bool checked = Check2->isChecked();
    m_engine.options().setSetupMode(checked);
    StatusBar1->setPanelText(2, checked ? QStringLiteral("Setup Mode Enabled") : QStringLiteral("Setup Mode Disabled"));
}

void Form1::Check3_Click()
{
    if (!onTop)
        onTop = std::make_unique<clsOnTop>(m_placement);
    const bool checked = Check3->isChecked();
    if (checked)
        onTop->MakeTopMost(winId());
    else
        onTop->MakeNormal(winId());
    m_onTopActive = checked;
    StatusBar1->setPanelText(2, checked ? QStringLiteral("Always On Top Enabled")
                                        : QStringLiteral("Always On Top Disabled"));
    m_engine.settings().SaveSetting(SettingKeys::chkOnTop, QString::number(checked ? 1 : 0));
}

void Form1::Check4_Click()
{
    if (!VarAddRemove)
        VarAddRemove = std::make_unique<AddRemove>(m_registry);
    const bool checked = Check4->isChecked();
    const RegResult result = checked ? VarAddRemove->AddToRun(m_identity.gProgramName, m_programFile)
                                     : VarAddRemove->RemoveFromRun(m_identity.gProgramName);
    if (result != RegResult::Success) {
        // Say what really happened, and let the box show it, without running this handler again.
        {
            const QSignalBlocker quiet(Check4);
            Check4->setChecked(!checked);
        }
        ShowStatus(checked ? QStringLiteral("Run On Startup could not be enabled")
                           : QStringLiteral("Run On Startup could not be disabled"));
        return;
    }
    StatusBar1->setPanelText(2, checked ? QStringLiteral("Run On Startup Enabled")
                                        : QStringLiteral("Run On Startup Disabled"));
}

void Form1::Check5_Click()
{
    const bool checked = Check5->isChecked();
    m_engine.options().setBlockSound(checked);
    StatusBar1->setPanelText(2, checked ? QStringLiteral("Sounds Enabled") : QStringLiteral("Sounds Disabled"));
    m_engine.settings().SaveSetting(SettingKeys::chkSound, QString::number(checked ? 1 : 0));
}

void Form1::Check6_Click()
{
    const bool checked = Check6->isChecked();
    m_engine.options().setLinkException(checked);
    StatusBar1->setPanelText(2, checked ? QStringLiteral("Auto New Window Enabled")
                                        : QStringLiteral("Auto New Window Disabled"));
}
