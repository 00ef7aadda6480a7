#pragma once

#include <QList>
#include <QWidget>

#include <functional>
#include <utility>

struct ProductIdentity;
class PanelStatusBar;
class QGroupBox;
class QLabel;
class QLineEdit;
class QToolButton;
class WebEngineSource;
class WebView;
class clsOnTop;

// frmWebsite: the built-in browser window, opened on the product's web site. Closing it ends the program
// when the main window has already been closed while it was open.
class frmWebsite : public QWidget {
    Q_OBJECT
public:
    // Skins the window while it loads; empty while the program has no skin.
    using SkinHook = std::function<void(QWidget&)>;

    // endProgram runs when the window closes while exitPending() says the main window has been closed and
    // left the program to this window. The caller makes one window per opening and shows it after Load(). Its page
    // is made in the given web engine, which it loads if no page was shown before.
    frmWebsite(const ProductIdentity& identity, clsOnTop& onTop, WebEngineSource& engine,
               std::function<bool()> exitPending, std::function<void()> endProgram, SkinHook skin = {},
               QWidget* parent = nullptr);

    // Runs before endProgram when the window ends a skinned program.
    void setStopSkinning(std::function<void()> stopSkinning) { m_stopSkinning = std::move(stopSkinning); }

    // QtWebEngine's part of the program's start: call before the QApplication exists, though QtWebEngine itself
    // is loaded only with the first page. Shares OpenGL contexts, which QtWebEngine requires, and turns off
    // Chromium's sandbox for root, where it cannot start.
    static void prepareProcess();

    // The load steps; a step that fails is left out and the next one runs.
    void Load();

    // Places the controls for the window's current size.
    void ArrangeControls();

    // The controls, under the names the rest of the program knows them by.
    QGroupBox* frmBrowser = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* Text1 = nullptr;
    QToolButton* Command3 = nullptr; // Go
    QToolButton* Command4 = nullptr; // Back
    QToolButton* Command5 = nullptr; // Forward
    QToolButton* Command6 = nullptr; // Stop
    QToolButton* Command7 = nullptr; // Refresh
    WebView* WebBrowser1 = nullptr;
    QList<QLabel*> SkinLabel1; // element 0 is the template
    PanelStatusBar* StatusBar1 = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls(WebEngineSource& engine);
    QToolButton* navigationButton(const char* name, const QString& text, const QString& picture, const QString& tip,
                                  int left);
    void place(QWidget* control, int left, int top, int width, int height);
    void Command3_Click();
    void WebBrowser1_DownloadComplete();
    void runGuarded(const char* what, const std::function<void()>& step) const;

    const ProductIdentity& m_identity;
    std::function<bool()> m_exitPending;
    clsOnTop& m_onTop;
    std::function<void()> m_endProgram;
    std::function<void()> m_stopSkinning;
    SkinHook m_skin;
    qreal m_scale = 1.0;
};
