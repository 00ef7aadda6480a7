#pragma once

#include <QString>

// The script that tells the program which link the mouse is over. It runs in an isolated world of its
// own, where the page's scripts cannot see it or call its binding, and it only heeds real mouse events,
// so a page cannot fake a hover to get its popups through. It also tells which link the user's own click,
// middle click or context menu was on, so a new tab the user opened from a link is told apart from one a
// page's script asked for.
class HoverReporter {
public:
    // A binding and world name of this run, so a page cannot guess them either.
    HoverReporter();

    const QString& bindingName() const { return m_bindingName; }
    // Called with the link's absolute address (or "") at each click, middle click or context menu of the user.
    const QString& clickBindingName() const { return m_clickBindingName; }
    const QString& worldName() const { return m_worldName; }
    // Reports the link's absolute address on mouse-over and "" when the mouse leaves it; "" once as it is
    // installed, so the program knows the document has it and starts the document with no link.
    QString script() const;

    // Payloads longer than this are cut: a status text, not a document.
    static constexpr qsizetype MaxPayload = 8192;

private:
    QString m_bindingName;
    QString m_clickBindingName;
    QString m_worldName;
};
