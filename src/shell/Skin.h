#pragma once

#include <QColor>
#include <QObject>
#include <QPalette>
#include <QString>
#include <QStringList>

class QWidget;

// The four colours of a skin, as the colour pass hands them out: A is the background of buttons, text boxes,
// combo boxes and lists, B the text of those that hold text, C the background of picture boxes. D is the
// skin's accent; the colour pass leaves it alone.
struct SkinColors {
    QColor A;
    QColor B;
    QColor C;
    QColor D;
};

// A skin read from its folder: "skin.ini" with the four colours and the palette, "skin.qss" with the style
// sheet, and the pictures the style sheet names, found beside it. A folder that cannot be read gives a
// skin that fails whenever it is used, saying why.
class Skin : public QObject {
    Q_OBJECT
public:
    explicit Skin(QString folder, QObject* parent = nullptr);

    bool isLoaded() const { return m_error.isEmpty(); }
    // Why the folder could not be read; empty when it could.
    QString errorString() const { return m_error; }
    QString folder() const { return m_folder; }

    // The colours, the palette and the style sheet; they throw std::runtime_error when the folder could not
    // be read. The style sheet names its pictures by their full paths.
    SkinColors colors() const;
    QPalette palette() const;
    QString styleSheet() const;
    // The full paths of the pictures the style sheet names.
    QStringList images() const { return m_images; }

    // Paints a window with the skin: the window and its controls take the skin's palette, then its style sheet.
    // Colours the controls were given before stay theirs. Throws when the folder could not be read.
    void SkinWindow(QWidget& window) const;

private:
    bool read();
    bool readColors();
    bool readStyleSheet();
    void throwIfNotLoaded() const;

    QString m_folder;
    QString m_error;
    SkinColors m_colors;
    QPalette m_palette;
    QString m_styleSheet;
    QStringList m_images;
};
