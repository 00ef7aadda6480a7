#include "HoverReporter.h"

#include <QRandomGenerator>

namespace {

QString randomSuffix()
{
    return QString::number(QRandomGenerator::system()->generate64(), 36);
}

} // namespace

HoverReporter::HoverReporter()
    : m_bindingName(QStringLiteral("__tarnwickHover_") + randomSuffix())
    , m_clickBindingName(QStringLiteral("__tarnwickClick_") + randomSuffix())
    , m_worldName(QStringLiteral("tarnwick-hover-") + randomSuffix())
{}

QString HoverReporter::script() const
{
    static const QString source = QStringLiteral(R"JS((() => {
    const report = globalThis[%1];
    const clicked = globalThis[%2];
    if (typeof report !== 'function' || typeof clicked !== 'function' || globalThis.__tarnwickHoverInstalled)
        return;
    globalThis.__tarnwickHoverInstalled = true;
    const linkOf = (node) => {
        for (let n = node; n; n = n.parentNode) {
            if (n.localName !== 'a' && n.localName !== 'area')
                continue;
            const href = n.href;
            if (typeof href === 'string' && href)
                return href;
            if (href && typeof href.baseVal === 'string' && href.baseVal) {
                try { return new URL(href.baseVal, document.baseURI).href; } catch (e) { return ''; }
            }
        }
        return '';
    };
    let last = null;
    const send = (text) => {
        if (text === last)
            return;
        last = text;
        report(text);
    };
    addEventListener('mouseover', (event) => { if (event.isTrusted) send(linkOf(event.target)); }, true);
    addEventListener('mouseout', (event) => { if (event.isTrusted && !event.relatedTarget) send(''); }, true);
    // Registered before any script of the page runs, so no page listener can stop these first.
    for (const type of ['click', 'auxclick', 'contextmenu'])
        addEventListener(type, (event) => { if (event.isTrusted) clicked(linkOf(event.target)); }, true);
    send('');
})();)JS");
    return source.arg(QStringLiteral("'%1'").arg(m_bindingName), QStringLiteral("'%1'").arg(m_clickBindingName));
}
