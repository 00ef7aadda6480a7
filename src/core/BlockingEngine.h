#pragma once

#include "DecisionState.h"
#include "EventLoopPump.h"
#include "SettingsStore.h"
#include "ShellWindowsGroup.h"
#include "StatusSink.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <memory>

class DecisionContext;
class Module1;
class PromptService;
class QTextStream;
class SoundService;
class StoredOptions;
class cIEWindows;
class modPlaySound;

// The popup blocker itself, as the desktop program and the headless runner both run it: the settings it
// reads, the options, the two site lists, the decision with its state, the windows of every watched
// browser with one decision sink each, the count of blocks saved at every block, and one line per
// decision. The two programs differ only in how they show this and how they ask the user.
class BlockingEngine : public QObject, private StatusSink {
    Q_OBJECT
public:
    struct Setup {
        std::unique_ptr<SettingsStore> settings;
        QString dataFolder; // where allowed.txt and disallowed.txt are
        QString soundPath;  // the block sound
    };

    // The services must outlive the engine. Each decision is written to lines as "blocked" or "allowed", the
    // site of the page that asked and the popup's address, tab-separated.
    BlockingEngine(Setup setup, SoundService& sound, PromptService& prompt, QTextStream& lines,
                   QObject* parent = nullptr);
    // Releases the sinks, then ends the decisions still waiting for the user, as blocks.
    ~BlockingEngine() override;

    // The data folder the user's lists live in: $XDG_DATA_HOME/<product>.
    static QString standardDataFolder(const QString& productName);

    // Makes the data folder and any missing list file ("allowed.txt" allows the product's web site,
    // "disallowed.txt" is empty), then loads both lists. False, with the path and the reason in *error, when
    // the folder or a file cannot be made; a list that cannot be read is said, and the engine goes on.
    bool OpenLists(const QString& websiteHost, QString* error);

    // Saves the count: what was blocked since the last save is added to the count the settings hold now,
    // which another program on the same settings may have raised meanwhile; the live count becomes that
    // sum. Done at every block; false when it could not be saved.
    bool SaveCount();
    // Reads the count from the settings again, as the count saved last.
    void LoadCount();

    // Puts a decision sink on every window of the watched browsers, now and as they come; the lists should
    // be open by then. StopWatching takes the sinks away; a decision waiting for the user still ends.
    void StartWatching();
    void StopWatching();
    cIEWindows* tracker() const { return m_tracker.get(); }

    // The program is ending: decisions waiting for the user end as blocks, and every watched browser closes its
    // popups in flight as blocked and lets their openers go on. Ended() follows once the browsers have
    // answered, and at most kEndWait later.
    void End();
    static constexpr std::chrono::milliseconds kEndWait{2000};

    // The allow-next switch: each use turns it over. Its new value.
    bool ToggleAllowNext();

    SettingsStore& settings() const { return *m_settings; }
    StoredOptions& options() const { return *m_options; }
    DecisionState& state() { return m_state; }
    Module1& lists() const { return *m_lists; }
    DecisionContext& decisions() const { return *m_context; }
    // The browsers whose page windows are watched; their connections add themselves here.
    ShellWindowsGroup& windows() { return m_windows; }
    int decisionCount() const { return m_decisions; }

signals:
    // Something the user should know: a list that could not be written, a count that could not be saved.
    void Status(const QString& text);
    void BlockedCountChanged(qint32 count);
    void Decided(const QString& site, const QString& popupUrl, bool blocked);
    void Ended();

private:
    void ShowStatus(const QString& text) override;
    void report(const QString& site, const QString& popupUrl, bool blocked);
    void saveCount();
    // The list files as they change on disk, by hand or by another program: taken into the rows and the
    // decision shortly after.
    void watchLists();
    void listFileChanged();
    void finishEnding();

    DecisionState m_state;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<StoredOptions> m_options;
    std::unique_ptr<Module1> m_lists;
    std::unique_ptr<modPlaySound> m_sound;
    EventLoopPump m_pump;
    std::unique_ptr<DecisionContext> m_context;
    ShellWindowsGroup m_windows;
    std::unique_ptr<cIEWindows> m_tracker;
    QTextStream& m_lines;
    int m_decisions = 0;
    qint32 m_countSaved = 0;
    bool m_countSaveFailed = false;
    QFileSystemWatcher m_listWatcher;
    QTimer m_listReload;
    bool m_ending = false;
    bool m_ended = false;
};
