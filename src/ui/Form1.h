#pragma once

#include "Form1Hooks.h"
#include "PopupOptions.h"
#include "StatusSink.h"

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QRect>
#include <QString>

#include <memory>

struct AppState;
class AddRemove;
class DecisionContext;
class MessagePump;
class Module1;
class PanelStatusBar;
class PromptService;
class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QToolButton;
class QWebEngineView;
class Registry;
class SettingsStore;
class ShellWindows;
class WindowPlacement;
class cIEWindows;
class clsOnTop;
class modPlaySound;

// Form1: the main window. Its options are the ones the popup decision reads, its lists are the site
// lists, and its load and unload are the program's start and end.
class Form1 : public QMainWindow, public PopupOptions, public StatusSink {
    Q_OBJECT
public:
    struct Services {
        AppState& state;
        SettingsStore& settings;
        Registry& registry;
        WindowPlacement& placement;
        ShellWindows& browsers;
        modPlaySound& sound;
        MessagePump& pump;
        PromptService& prompt;
        QString soundPath;
        QString dataFolder;  // where the list files are
        QString programFile; // what run at start-up starts
        Form1Hooks hooks;
    };

    explicit Form1(Services services, QWidget* parent = nullptr);
    ~Form1() override;

    // The load steps. False, with the path and the reason in *error, when the data folder or a list
    // file cannot be created: the program cannot start then.
    bool Load(QString* error);
    // The unload steps; runs once, from any close. Emits ProgramEnded unless the built-in browser
    // window keeps the program going.
    void Unload();
    bool isUnloaded() const { return m_unloaded; }

    // The options as the boxes hold them.
    bool PopupBlocking() const override;
    bool SetupMode() const override;
    bool BlockSound() const override;
    bool LinkException() const override;

    // A message for the user in panel 2. A message that says something failed before panel 2 exists
    // is shown as soon as it does; the options' ordinary messages are not.
    void ShowStatus(const QString& text) override;
    QString panelText(int index) const;

    // The allow-next switch, from the button, both menus and the hot key: each use turns it over.
    void Command5_Click();
    // The hot key's press, posted to the picture box that only exists to receive it.
    void pctHotkey_MouseMove();
    // Minimising hides the window in the tray; restoring shows it again.
    void Command6_Click();
    void mnuActionItem_Click(int index);
    void ShowProgram();
    // Opens the tray menu at the mouse.
    void ShowTrayMenu();

    Module1& lists() const { return *m_lists; }
    DecisionContext& decisions() const { return *m_context; }
    cIEWindows* tracker() const { return m_tracker.get(); }

    // "up" while the window is shown, "down" while it is minimised to the tray.
    QString state = QStringLiteral("up");
    std::unique_ptr<clsOnTop> onTop;
    std::unique_ptr<AddRemove> VarAddRemove;

    // The controls, under the names the rest of the program knows them by.
    QToolButton* Command1 = nullptr;
    QToolButton* Command2 = nullptr;
    QToolButton* Command3 = nullptr;
    QToolButton* Command4 = nullptr;
    QToolButton* Command5 = nullptr;
    QToolButton* Command6 = nullptr;
    QToolButton* Command7 = nullptr;
    QWebEngineView* wbBanner = nullptr;
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

    QMenu* mnuFile = nullptr;
    QAction* mnuFileItem = nullptr; // index 1
    QMenu* mnuAction = nullptr;
    QList<QAction*> mnuActionItem;
    QMenu* mnuTools = nullptr;
    QList<QAction*> mnuToolsItem;
    QMenu* mnuHelp = nullptr;
    QAction* mnuHelpItem = nullptr; // index 0
    QMenu* mnuAbout = nullptr;
    QAction* mnuAboutItem = nullptr; // index 0
    // The tray icon's menu, never in the menu bar.
    QMenu* Popup = nullptr;
    // objectNames "close", "show", "allow" and "Exit".
    QAction* closeItem = nullptr;
    QAction* showItem = nullptr;
    QAction* allow = nullptr;
    QAction* Exit = nullptr;

    // Twips of the client area (menu bar and status bar aside): grows when the banner pane goes in.
    int clientHeightTwips() const { return m_clientHeight; }
    void setClientHeightTwips(int twips);
    // Moves a control to a top in twips, within its container.
    void setTopTwips(QWidget* control, int twips);
    int topTwips(const QWidget* control) const;
    int heightTwips(const QWidget* control) const;

signals:
    // Unload has finished: the process ends now.
    void ProgramEnded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void createMenus();
    void place(QWidget* control, int left, int top, int width, int height);
    QLabel* optionLabel(QCheckBox*& box, const char* boxName, const char* labelName, int top, const QString& text,
                        const QString& tip);

    void Check1_Click();
    void Check2_Click();
    void Check3_Click();
    void Check4_Click();
    void Check5_Click();
    void Check6_Click();
    void setBox(QCheckBox* box, const QString& key, int defaultValue);
    void Form_Resize();
    void showCount();
    void saveCount();
    // From the skin step on, a step that fails is left out and the next one runs.
    void runGuarded(const char* what, const std::function<void()>& step) const;

    AppState& m_state;
    SettingsStore& m_settings;
    Registry& m_registry;
    WindowPlacement& m_placement;
    ShellWindows& m_browsers;
    QString m_dataFolder;
    QString m_programFile;
    Form1Hooks m_hooks;
    std::unique_ptr<Module1> m_lists;
    std::unique_ptr<DecisionContext> m_context;
    std::unique_ptr<cIEWindows> m_tracker;
    QWidget* m_client = nullptr;
    QHash<const QWidget*, QRect> m_twips;
    qreal m_scale = 1.0;
    int m_clientHeight = 0;
    QString m_pendingFailure;
    bool m_countSaveFailed = false;
    bool m_unloaded = false;
    bool m_noTraySaid = false;
};
