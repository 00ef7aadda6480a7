#pragma once

#include <QPalette>
#include <QPointer>
#include <QString>

#include <optional>

class Skin;

// Skinning of the whole application: every window, message boxes and tool tips among them, is drawn in Qt's
// Fusion style, whose drawing follows the palette on every desktop, with the attached skin's palette. The
// style sheet stays with the windows the skin paints: under an application-wide one, Qt would put back the
// palette a control had before the colour pass whenever a window takes its style sheet. Stopping gives back
// what the application had before; so does the manager's end.
class SkinManager {
public:
    SkinManager() = default;
    ~SkinManager();
    SkinManager(const SkinManager&) = delete;
    SkinManager& operator=(const SkinManager&) = delete;

    // The skin that StartSkinning applies. Throws std::runtime_error when the skin could not be read.
    void AttachSkin(const Skin& skin);
    // Throws std::runtime_error without an attached skin or outside a widget application. Starting again
    // applies the skin again and keeps what was there before the first start.
    void StartSkinning();
    // Harmless when skinning never started.
    void StopSkinning();
    bool isSkinning() const { return m_before.has_value(); }

private:
    struct Application {
        QPalette palette;
        QString style;
    };

    QPointer<const Skin> m_skin;
    std::optional<Application> m_before;
};
