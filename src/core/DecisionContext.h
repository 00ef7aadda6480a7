#pragma once

#include <QObject>
#include <QString>

#include <memory>

struct DecisionState;
class MessagePump;
class NewWindowRequest;
class PopupOptions;
class PromptQueue;
class PromptService;
class modPlaySound;

// What every popup-decision sink shares: the state, the options, the prompt, the block sound, and the
// end of a decision. It outlives the sinks, so a decision still waiting for the user finishes here even
// after the tracker has thrown its sink away.
class DecisionContext : public QObject {
    Q_OBJECT
public:
    DecisionContext(DecisionState& state, const PopupOptions& options, modPlaySound& sound, MessagePump& pump,
                    PromptService& prompt, QString soundPath, QObject* parent = nullptr);
    ~DecisionContext() override;

    DecisionState& state() const { return m_state; }
    const PopupOptions& options() const { return m_options; }
    PromptQueue& prompts() const { return *m_prompts; }

    // Counts the block, lets waiting events run once, plays the block sound when that option is on,
    // then cancels the popup.
    void Block(const std::shared_ptr<NewWindowRequest>& request, const QString& site);
    // Lets the popup open.
    void Allow(const std::shared_ptr<NewWindowRequest>& request, const QString& site);
    // Leaves Cancel as the browser passed it (blocking is off).
    void Pass(const std::shared_ptr<NewWindowRequest>& request, const QString& site);

    // The program is ending: every decision waiting for the user ends as a block, and so does every question
    // asked from now on. Blocks from now on are counted but neither wait for events nor sound.
    void EndWaiting();

signals:
    void Decided(const QString& site, const QString& popupUrl, bool blocked);
    void BlockedCountChanged(qint32 count);

private:
    void finish(const std::shared_ptr<NewWindowRequest>& request, const QString& site);

    DecisionState& m_state;
    const PopupOptions& m_options;
    modPlaySound& m_sound;
    MessagePump& m_pump;
    QString m_soundPath;
    std::unique_ptr<PromptQueue> m_prompts;
    bool m_ending = false;
};
