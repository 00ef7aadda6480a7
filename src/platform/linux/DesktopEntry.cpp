#include "DesktopEntry.h"

#include <QStringDecoder>

#include <utility>

namespace {

const QString kGroupHeader = QStringLiteral("[Desktop Entry]");

bool isSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

// Inside double quotes only these four take a backslash.
bool quotedEscape(QChar c)
{
    return c == u'"' || c == u'`' || c == u'$' || c == u'\\';
}

std::optional<QString> decodeUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace

QString DesktopEntry::escapeString(const QString& text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\')
            out += QLatin1String("\\\\");
        else if (c == u'\n')
            out += QLatin1String("\\n");
        else if (c == u'\t')
            out += QLatin1String("\\t");
        else if (c == u'\r')
            out += QLatin1String("\\r");
        else if (c == u' ' && i == 0) // leading spaces of a value are not part of it
            out += QLatin1String("\\s");
        else
            out += c;
    }
    return out;
}

QString DesktopEntry::unescapeString(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != u'\\' || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value[++i];
        if (next == u's')
            out += u' ';
        else if (next == u'n')
            out += u'\n';
        else if (next == u't')
            out += u'\t';
        else if (next == u'r')
            out += u'\r';
        else if (next == u'\\')
            out += u'\\';
        else { // not a string escape: left for the quoting rules (\" \` \$)
            out += c;
            out += next;
        }
    }
    return out;
}

QString DesktopEntry::execValue(const QString& program)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : program) {
        if (quotedEscape(c))
            quoted += u'\\';
        quoted += c;
        if (c == u'%') // a literal percent sign, not a field code
            quoted += u'%';
    }
    quoted += u'"';
    return escapeString(quoted);
}

std::optional<QStringList> DesktopEntry::execArguments(const QString& value)
{
    const QString line = unescapeString(value);
    QStringList arguments;
    QString current;
    bool inArgument = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (isSpace(c)) {
            if (inArgument)
                arguments << std::exchange(current, QString());
            inArgument = false;
            continue;
        }
        inArgument = true;
        if (c == u'"') {
            for (++i;; ++i) {
                if (i == line.size())
                    return std::nullopt; // unterminated quote
                const QChar q = line[i];
                if (q == u'"')
                    break;
                if (q == u'\\' && i + 1 < line.size() && quotedEscape(line[i + 1]))
                    current += line[++i];
                else
                    current += q;
            }
        } else if (c == u'\\' && i + 1 < line.size()) {
            current += line[++i]; // outside quotes a backslash takes the next character as it is
        } else {
            current += c;
        }
    }
    if (inArgument)
        arguments << current;
    if (arguments.isEmpty())
        return std::nullopt;
    return arguments;
}

QByteArray DesktopEntry::autostartFile(const QString& name, const QString& command, const QString& writerName,
                                       const QString& icon)
{
    QString text;
    text += QStringLiteral("[Desktop Entry]\n");
    text += QStringLiteral("# Written by %1 for its Run at startup option; it removes this file when that is turned "
                           "off.\n")
                .arg(writerName.simplified());
    text += QStringLiteral("Type=Application\n");
    text += QStringLiteral("Name=") + escapeString(name) + u'\n';
    text += QStringLiteral("Exec=") + execValue(command) + u'\n';
    if (!icon.isEmpty())
        text += QStringLiteral("Icon=") + escapeString(icon) + u'\n';
    text += QStringLiteral("Terminal=false\n");
    text += QStringLiteral("X-GNOME-Autostart-enabled=true\n");
    return text.toUtf8();
}

std::optional<QString> DesktopEntry::runCommand(const QByteArray& bytes)
{
    const std::optional<QString> text = decodeUtf8(bytes);
    if (!text)
        return std::nullopt;

    // The keys of the first "Desktop Entry" group, each as first given.
    QString type;
    std::optional<QString> exec;
    bool hidden = false;
    bool disabled = false;
    bool inGroup = false;
    bool groupSeen = false;
    for (QStringView line : QStringView(*text).split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            const bool entryGroup = line == kGroupHeader && !groupSeen;
            groupSeen = groupSeen || entryGroup;
            inGroup = entryGroup;
            continue;
        }
        if (!inGroup)
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            continue;
        const QStringView key = line.left(equals).trimmed();
        const QStringView value = line.mid(equals + 1).trimmed();
        if (key == u"Type" && type.isEmpty())
            type = value.toString();
        else if (key == u"Exec" && !exec)
            exec = value.toString();
        else if (key == u"Hidden")
            hidden = hidden || value == u"true";
        else if (key == u"X-GNOME-Autostart-enabled")
            disabled = disabled || value == u"false";
    }
    if (type != u"Application" || !exec || hidden || disabled)
        return std::nullopt;
    const std::optional<QStringList> arguments = execArguments(*exec);
    if (!arguments)
        return std::nullopt;
    if (arguments->size() > 1)
        return unescapeString(*exec);
    QString program = arguments->first();
    program.replace(QLatin1String("%%"), QLatin1String("%"));
    return program;
}
