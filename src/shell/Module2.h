#pragma once

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>

#include <memory>

class QWidget;

// The program's icon in the notification area. One icon at a time, known by the identifier it was added
// with; the window it belongs to hears of its clicks.
class Module2 : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~Module2() override;

    // Shows the icon with its tip. Without a notification area the program simply has no icon.
    void AddTrayIcon(QWidget& window, quintptr id, const QIcon& icon, const QString& tip);
    // Takes the icon with that identifier away.
    void RemoveTrayIcon(quintptr id);
    // The tip of the icon shown now, if any.
    void setTip(const QString& tip);

    bool hasIcon() const { return m_icon != nullptr; }
    QSystemTrayIcon* icon() const { return m_icon.get(); }

signals:
    // A left or right click on the icon: the window opens its menu here. A double click, a middle click
    // or a plain move is not news.
    void menuRequested();

private:
    std::unique_ptr<QSystemTrayIcon> m_icon;
    quintptr m_id = 0;
};
