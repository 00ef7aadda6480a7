#pragma once

#include <QLabel>

// A label the skin paints. It is laid over a plain label in the plain label's place and paints its own
// background, so the text beneath never shows through.
class SkinLabel : public QLabel {
    Q_OBJECT
public:
    explicit SkinLabel(QWidget* parent = nullptr);
    explicit SkinLabel(const QString& text, QWidget* parent = nullptr);
};
