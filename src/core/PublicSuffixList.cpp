#include "PublicSuffixList.h"

#include <QByteArray>
#include <QString>
#include <QVarLengthArray>

#include <libpsl.h>

void PublicSuffixList::Free::operator()(psl_ctx_st* rules) const
{
    psl_free(rules);
}

PublicSuffixList::PublicSuffixList()
    : m_rules(psl_builtin())
{
    // The list built into libpsl needs no file and cannot fail to load; only a libpsl built without one makes
    // us read the distribution's file (or the PSL_FILE the user names).
    if (!m_rules) {
        m_loaded.reset(psl_latest(nullptr));
        m_rules = m_loaded.get();
    }
}

PublicSuffixList::~PublicSuffixList() = default;

QStringView PublicSuffixList::registrableDomain(QStringView host) const
{
    // libpsl reads a C string: a host with a NUL in it would be judged by its first part only.
    if (!m_rules || host.isEmpty() || host.contains(QChar(0)))
        return {};
    // Nearly every host is ASCII by now (punycode): copied on the stack, a byte offset is a character offset.
    QVarLengthArray<char, 256> ascii;
    for (QChar c : host) {
        if (c.unicode() >= 0x80)
            return registrableDomainOfUnicode(host);
        ascii.append(char(c.unicode()));
    }
    ascii.append('\0');
    const char* found = psl_registrable_domain(m_rules, ascii.constData());
    return found ? host.sliced(found - ascii.constData()) : QStringView();
}

QStringView PublicSuffixList::registrableDomainOfUnicode(QStringView host) const
{
    const QByteArray utf8 = host.toUtf8();
    const char* found = psl_registrable_domain(m_rules, utf8.constData());
    if (!found)
        return {};
    const qsizetype before = QString::fromUtf8(utf8.constData(), found - utf8.constData()).size();
    return host.sliced(before);
}
