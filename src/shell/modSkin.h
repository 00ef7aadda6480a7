#pragma once

#include "Skin.h"

#include <QColor>
#include <QList>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QLabel;
class QWidget;
class SkinManager;
class WebEngineSource;
class WebView;

// A skin-label array: element 0 is the template, whose container decides which labels are replaced; the
// elements laid over plain labels follow it, each with its number in the "index" property.
using SkinLabelArray = QList<QLabel*>;

// Which plain labels a window's label step replaces.
enum class LabelScope {
    AllLabels,     // every label of the window
    SameContainer, // only the labels in the container of the array's template
};

// The kind of a control under the names the skin knows: "CommandButton", "TextBox", "ComboBox", "ListBox",
// "ListView", "PictureBox", "CheckBox", "OptionButton", "Label", "SkinLabel", "Frame", "RichTextBox",
// "StatusBar", "WebBrowser", else the class name. A widget's "controlKind" property names it where the class
// cannot tell: a picture box made of a plain widget or of a label.
QString controlKind(const QWidget& control);

// A window's controls in their order: the widgets in the window and in its frames, picture boxes and plain
// container widgets, but not the parts of composite controls (a list's scroll bars, a status bar's panels)
// nor windows of their own (menus).
QList<QWidget*> formControls(QWidget& form);

// The colour pass: buttons take A as their background; text boxes, combo boxes and lists take A as their
// background and B as their text; picture boxes take C as their background. Every other control, check boxes
// and option buttons among them, is left alone; D is not used.
void SetSkinColors(QWidget& form, const QColor& colourA, const QColor& colourB, const QColor& colourC,
                   const QColor& colourD);

// The label step of a window's load: one new element of the array for every plain label in scope, in the
// window's control order, laid over the label with its place, font, text and visibility (and what else makes
// its text look the same: alignment, word wrap, tool tip). The plain label stays beneath.
void ReplaceLabels(QWidget& form, SkinLabelArray& labelArray, LabelScope scope);

// The units a window's measures are given in: twips as our windows keep them, or pixels.
enum class ScaleMode { Twips = 1, Pixels = 3 };

// Shows the banner page in wbBanner, inside a clip ("picBox") put in its place that cuts a strip off its right
// edge, so the page keeps its full width while the strip stays hidden; wbPicture, the picture that held the place
// until now, is hidden. The clip is 280 twips, or 20 pixels in a window measured in pixels. The page is loaded
// while the view's window is on screen (see BannerPane), in a page of the given web engine. Gives back the clip.
QWidget* InstallBanner(WebEngineSource& engine, WebView& wbBanner, QWidget& wbPicture, ScaleMode scaleMode,
                       const QString& bannerUrl);

// How much of the banner's right edge the clip hides, in device-independent pixels of the banner's screen.
int bannerClipPixels(const QWidget& wbBanner, ScaleMode scaleMode);

// The program's skinning: the one skin source, the application-wide skin manager, and skinning a window.
class modSkin {
public:
    // Loads the splash window for its skin alone, leaving it hidden and start-up where it was.
    using SplashLoader = std::function<void()>;

    explicit modSkin(SplashLoader loadSplash = {});
    ~modSkin();
    modSkin(const modSkin&) = delete;
    modSkin& operator=(const modSkin&) = delete;

    // The splash window's skin, for as long as that window lives; null before its load.
    QPointer<Skin> gSkin;
    // Made on first use and kept to the end.
    SkinManager& gSkinManager();

    // The splash window's skinning steps: its skin becomes the program's, the splash is skinned, and skinning
    // starts application-wide. A step that fails is said and left out; the program starts all the same.
    void BeginSkinning(Skin& skn, QWidget& splash);
    // Skins one window: the colour pass with the skin's colours, then the skin's painting. Without a skin yet,
    // it loads the splash window (whose load sets it) and tries once more; a failure then is thrown
    // (std::exception) to the window's load.
    void ApplySkin(QWidget& form);
    // The end of the program's skinning, application-wide.
    void StopSkinning();

private:
    void skinOnce(QWidget& form);

    SplashLoader m_loadSplash;
    std::unique_ptr<SkinManager> m_manager;
};
