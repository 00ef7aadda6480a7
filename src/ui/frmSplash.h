#pragma once

#include "Skin.h"

#include <QTimer>
#include <QWidget>

#include <functional>

struct ProductIdentity;
class QLabel;

// frmSplash: the window the program starts with. It shows its picture while its timer counts to the
// 75th tick, then loads and shows the main window and hides itself; it stays loaded, hidden, to the end,
// holding the program's skin.
class frmSplash : public QWidget {
    Q_OBJECT
public:
    // Loads the main window and gives it back, or nullptr when the program cannot start (the loader
    // has said why).
    using MainWindowLoader = std::function<QWidget*()>;
    // Starts skinning with the splash window's skin; empty while the program has no skin.
    using SkinStarter = std::function<void(frmSplash&)>;

    frmSplash(const ProductIdentity& identity, MainWindowLoader loadMainWindow, SkinStarter startSkinning = {},
              QWidget* parent = nullptr);

    // Starts the skin, then the timer. A second call does nothing.
    void Load();
    // Loads the window for its skin alone: the start-up that a first load begins is stopped at once, and the
    // window stays hidden. A window loaded before is left as it is.
    void LoadHidden();
    bool isLoaded() const { return m_loaded; }

    QLabel* Image1 = nullptr;
    // The program's skin, read from resources/skin when the window is made.
    Skin skn;
    QTimer Timer2;
    short intTemp = 0;

signals:
    // The main window could not be loaded.
    void startFailed();

private:
    void Timer2_Timer();

    const ProductIdentity& m_identity;
    MainWindowLoader m_loadMainWindow;
    SkinStarter m_startSkinning;
    bool m_loaded = false;
};
