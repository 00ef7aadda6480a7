#include "PanelStatusBar.h"

#include <QLabel>

PanelStatusBar::PanelStatusBar(QWidget* parent)
    : QStatusBar(parent)
{
    setSizeGripEnabled(false);
    addPanel();
}

void PanelStatusBar::addPanel()
{
    auto* label = new QLabel(this);
    label->setObjectName(QStringLiteral("Panel%1").arg(m_panels.size() + 1));
    label->setFrameShape(QFrame::StyledPanel);
    label->setFrameShadow(QFrame::Sunken);
    label->setTextFormat(Qt::PlainText);
    // Panels share the bar and never widen the window: a long message is cut, not the window stretched.
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->setMinimumWidth(0);
    m_panels.append(label);
    addWidget(label, 1);
}

QLabel* PanelStatusBar::panel(int index) const
{
    return index >= 1 && index <= m_panels.size() ? m_panels[index - 1] : nullptr;
}

bool PanelStatusBar::setPanelText(int index, const QString& text)
{
    QLabel* label = panel(index);
    if (!label)
        return false;
    label->setText(text);
    // Whatever the panel's width cuts off can still be read.
    label->setToolTip(text);
    return true;
}

QString PanelStatusBar::panelText(int index) const
{
    QLabel* label = panel(index);
    return label ? label->text() : QString();
}

void PanelStatusBar::setPanelWidth(int index, int pixels)
{
    // At most that wide: the spacing between panels comes out of them rather than out of the window.
    if (QLabel* label = panel(index))
        label->setMaximumWidth(pixels);
}
