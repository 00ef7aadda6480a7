#pragma once

#include <QList>
#include <QString>
#include <QWidget>

#include <functional>

struct ProductIdentity;
class Module1;
class QLabel;
class QLineEdit;
class QToolButton;
class clsOnTop;

// Form3: the setup-mode prompt, asking the user whether a site on neither list may open popups.
class Form3 : public QWidget {
    Q_OBJECT
public:
    // Skins the prompt while it loads; empty while the program has no skin.
    using SkinHook = std::function<void(Form3&)>;

    // site is the one asked about. topmostMainWindow is the main window's id while it is held on top, else 0:
    // it is taken out of the topmost band and put back while the prompt goes into it.
    Form3(QString site, const ProductIdentity& identity, Module1& lists, clsOnTop& onTop, WId topmostMainWindow,
          SkinHook skin = {}, QWidget* parent = nullptr);
    // A prompt destroyed unanswered counts as closed: it blocks.
    ~Form3() override;

    // The load steps; a second call does nothing.
    void Load();
    // The unload steps: a prompt closed without an answer blocks and changes no list.
    void Unload();
    bool isAnswered() const { return m_answered; }

    // The controls, under the names the rest of the program knows them by.
    QLabel* Label1 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Text1 = nullptr;
    QToolButton* Command1 = nullptr; // Allow Always
    QToolButton* Command2 = nullptr; // Block Always
    QToolButton* Command3 = nullptr; // Allow Now
    QToolButton* Command4 = nullptr; // Block Now
    QList<QLabel*> SkinLabel1;       // element 0 is the template

signals:
    // The user's answer, given exactly once: true allows the popup.
    void answered(bool allow);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void createControls();
    void place(QWidget* control, int left, int top, int width, int height);

    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    // Makes the list change (if any) with the box's text as it stands, then answers and closes.
    void answerWith(bool allow, const std::function<void(const QString& site)>& listChange);
    void giveAnswer(bool allow);

    QString m_site;
    const ProductIdentity& m_identity;
    Module1& m_lists;
    clsOnTop& m_onTop;
    WId m_topmostMainWindow;
    SkinHook m_skin;
    qreal m_scale = 1.0;
    bool m_loaded = false;
    bool m_answered = false;
};
