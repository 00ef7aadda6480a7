#include "SkinLabel.h"

SkinLabel::SkinLabel(QWidget* parent)
    : SkinLabel(QString(), parent)
{}

SkinLabel::SkinLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent)
{
    // The background is whatever the label lies on, taken from its container's palette.
    setAutoFillBackground(true);
}
