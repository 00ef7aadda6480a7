#pragma once

#include <QList>
#include <QStatusBar>

class QLabel;

// A status bar of numbered text panels, counted from 1. It starts with one panel; writing to a panel that
// does not exist yet changes nothing.
class PanelStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit PanelStatusBar(QWidget* parent = nullptr);

    int panelCount() const { return int(m_panels.size()); }
    void addPanel();
    // False when there is no such panel.
    bool setPanelText(int index, const QString& text);
    QString panelText(int index) const;
    void setPanelWidth(int index, int pixels);
    QLabel* panel(int index) const;

private:
    QList<QLabel*> m_panels;
};
