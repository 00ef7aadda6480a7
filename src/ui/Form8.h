#pragma once

#include <QString>
#include <QWidget>

#include <functional>

struct ProductIdentity;
class QCheckBox;
class QTextEdit;
class SettingsStore;
class clsOnTop;

// Form8: the help window, showing the help file read as rich text, with the box that says whether it opens
// at start-up.
class Form8 : public QWidget {
    Q_OBJECT
public:
    // Skins the window while it loads; empty while the program has no skin.
    using SkinHook = std::function<void(QWidget&)>;

    // helpFile is the full path of the help file. The caller makes one window per opening and shows it after
    // Load().
    Form8(SettingsStore& settings, clsOnTop& onTop, const ProductIdentity& identity, QString helpFile,
          SkinHook skin = {}, QWidget* parent = nullptr);

    // The load steps; a step that fails is left out and the next one runs.
    void Load();

    // The controls, under the names the rest of the program knows them by.
    QTextEdit* rtf1 = nullptr;
    QCheckBox* Check1 = nullptr;

private:
    void createControls();
    void place(QWidget* control, int left, int top, int width, int height);
    void Check1_Click();
    void runGuarded(const char* what, const std::function<void()>& step) const;

    SettingsStore& m_settings;
    clsOnTop& m_onTop;
    const ProductIdentity& m_identity;
    QString m_helpFile;
    SkinHook m_skin;
    qreal m_scale = 1.0;
};
