#pragma once

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>

class AddRemove;
class BlockingEngine;
class MainWindowShell;
class PanelStatusBar;
class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class WebView;
class QLineEdit;
class QListView;
class QMenu;
class QToolBar;
class QToolButton;
class Registry;
class WindowPlacement;
class clsOnTop;
struct ProductIdentity;
struct SettingKey;

// Form1: the main window, a view of the blocking engine. Its boxes set the engine's options, its lists
// edit the site lists, its status bar shows the count and what the last action did; its load starts the
// engine watching the browsers and its unload stops it and ends the program. What the user asks for
// beyond that (help, about, the web site, the Tools-menu entry) it only announces.
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    struct Services {
        BlockingEngine& engine;
        const ProductIdentity& identity;
        Registry& registry;
        WindowPlacement& placement;
        MainWindowShell& shell;
        QString programFile; // what run at start-up starts
    };

    explicit Form1(Services services, QWidget* parent = nullptr);
    ~Form1() override;

    // Builds the running state: options, count, lists, window state, hot key, the engine watching, skin,
    // banner, the Tools-menu probe and the help window. False, with the path and the reason in *error,
    // when the data folder or a list file cannot be created: the program cannot start then.
    bool Load(QString* error);
    // Saves the options and takes down the tray icon, the hot key and the watching; runs once, from any
    // close. Emits ProgramEnded unless the built-in browser window keeps the program going.
    void Unload();
    bool isUnloaded() const { return m_unloaded; }

    // A message for the user in panel 2. A message that says something failed before panel 2 exists
    // is shown as soon as it does; the options' ordinary messages are not.
    void ShowStatus(const QString& text);
    QString panelText(int index) const;
    int panelCount() const;

    // The allow-next switch, from the button, both menus and the hot key: each use turns it over.
    void Command5_Click();
    // The hot key's press, posted to the picture box that only exists to receive it.
    void pctHotkey_MouseMove();
    void ShowProgram();
    // Opens the tray menu at the mouse.
    void ShowTrayMenu();
    // Which browsers are guarded, in the strip above the status bar; guarding none, the strip offers to start one.
    void ShowGuardStatus(const QString& text, bool guarding);
    QString guardStatus() const;

    // "up" while the window is shown, "down" while it is minimised to the tray.
    const QString& state() const { return m_windowState; }
    // The window is held on top of all others; windows opened over it go on top too.
    bool isOnTop() const { return m_onTopActive; }

    // Twips of the client area (menu bar and status bar aside): grows when the banner pane goes in.
    int clientHeightTwips() const { return m_clientHeight; }
    // A control's top and height in twips, within its container.
    int topTwips(const QWidget* control) const;
    int heightTwips(const QWidget* control) const;

signals:
    // Unload has finished: the process ends now.
    void ProgramEnded();
    void HelpRequested();
    void AboutRequested();
    void VisitRequested();
    void AddToolsEntryRequested();
    void RemoveToolsEntryRequested();
    // The user asked for a guarded browser.
    void StartBrowserRequested();
    // The user asked for the guarded launchers in the applications menu.
    void InstallLaunchersRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void createMenus();
    void place(QWidget* control, int left, int top, int width, int height);
    void setTopTwips(QWidget* control, int twips);
    void setClientHeightTwips(int twips);
    QLabel* optionLabel(QCheckBox*& box, const char* boxName, const char* labelName, int top, const QString& text,
                        const QString& tip);

    void Check1_Click();
    void Check2_Click();
    void Check3_Click();
    void Check4_Click();
    void Check5_Click();
    void Check6_Click();
    void Command6_Click();
    void mnuActionItem_Click(int index);
    void setBox(QCheckBox* box, const SettingKey& key);
    void Form_Resize();
    void showCount();
    // From the skin step on, a step that fails is left out and the next one runs.
    void runGuarded(const char* what, const std::function<void()>& step) const;

    BlockingEngine& m_engine;
    const ProductIdentity& m_identity;
    Registry& m_registry;
    WindowPlacement& m_placement;
    MainWindowShell& m_shell;
    QString m_programFile;

    QString m_windowState = QStringLiteral("up");
    bool m_onTopActive = false;
    std::unique_ptr<clsOnTop> onTop;
    std::unique_ptr<AddRemove> VarAddRemove;

    QToolButton* Command1 = nullptr;
    QToolButton* Command2 = nullptr;
    QToolButton* Command3 = nullptr;
    QToolButton* Command4 = nullptr;
    QToolButton* Command5 = nullptr;
    QToolButton* Command6 = nullptr;
    QToolButton* Command7 = nullptr;
    WebView* wbBanner = nullptr;
    QLabel* wbPicture = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QCheckBox* Check1 = nullptr;
    QCheckBox* Check2 = nullptr;
    QCheckBox* Check3 = nullptr;
    QCheckBox* Check4 = nullptr;
    QCheckBox* Check5 = nullptr;
    QCheckBox* Check6 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QList<QLabel*> SkinLabel1; // element 0 is the template in Frame2
    QList<QLabel*> SkinLabel2; // element 0 is the template in Frame1
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    QListView* List1 = nullptr;
    QListView* List2 = nullptr;
    QWidget* pctHotkey = nullptr;
    PanelStatusBar* StatusBar1 = nullptr;
    // Beside the original layout: what is guarded, and a way to start a guarded browser.
    QToolBar* GuardBar = nullptr;
    QLabel* lblGuard = nullptr;
    QAction* cmdStartBrowser = nullptr;

    QMenu* mnuFile = nullptr;
    QAction* mnuFileItem = nullptr; // index 1
    QMenu* mnuAction = nullptr;
    QList<QAction*> mnuActionItem;
    QMenu* mnuTools = nullptr;
    QList<QAction*> mnuToolsItem;
    QAction* mnuLaunchers = nullptr; // beside the original items
    QMenu* mnuHelp = nullptr;
    QAction* mnuHelpItem = nullptr; // index 0
    QMenu* mnuAbout = nullptr;
    QAction* mnuAboutItem = nullptr; // index 0
    // The tray icon's menu, never in the menu bar; objectNames "close", "show", "allow" and "Exit".
    QMenu* Popup = nullptr;
    QAction* closeItem = nullptr;
    QAction* showItem = nullptr;
    QAction* allow = nullptr;
    QAction* Exit = nullptr;

    QWidget* m_client = nullptr;
    QHash<const QWidget*, QRect> m_twips;
    qreal m_scale = 1.0;
    int m_clientHeight = 0;
    QString m_pendingFailure;
    bool m_unloaded = false;
    bool m_noTraySaid = false;
};
