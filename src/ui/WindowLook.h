#pragma once

#include <QFont>
#include <QList>
#include <QString>

class QLabel;
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

// Element 0 of a skin-label array: a hidden skin label, the template in the container whose labels the skin
// replaces, appended to the array.
QLabel* skinLabelTemplate(QWidget* container, const char* name, QList<QLabel*>& array);

} // namespace WindowLook
