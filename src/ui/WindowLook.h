#pragma once

#include <QFont>
#include <QString>

class QToolButton;
class QWidget;

// What the program's windows share of their look.
namespace WindowLook {

// Verdana where it is installed, else DejaVu Sans, at the size of the windows' texts.
QFont displayFont();

// A button showing a picture from resources/buttons above its caption, named as the rest of the
// program knows it.
QToolButton* pictureButton(QWidget* parent, const char* name, const QString& text, const QString& picture,
                           const QString& tip);

} // namespace WindowLook
