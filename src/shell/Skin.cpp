#include "Skin.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaEnum>
#include <QRegularExpression>
#include <QSettings>
#include <QUrl>
#include <QWidget>

#include <stdexcept>
#include <utility>

namespace {

const QString kColorsFile = QStringLiteral("skin.ini");
const QString kStyleSheetFile = QStringLiteral("skin.qss");

// Halfway between a text colour and the colour it is written on: how disabled text is drawn.
QColor faded(const QColor& text, const QColor& background)
{
    return QColor::fromRgbF((text.redF() + background.redF()) / 2, (text.greenF() + background.greenF()) / 2,
                            (text.blueF() + background.blueF()) / 2);
}

} // namespace

Skin::Skin(QString folder, QObject* parent)
    : QObject(parent)
    , m_folder(std::move(folder))
{
    read();
}

bool Skin::read()
{
    if (!QFileInfo(m_folder).isDir()) {
        m_error = QStringLiteral("the skin folder %1 is missing").arg(m_folder);
        return false;
    }
    return readColors() && readStyleSheet();
}

bool Skin::readColors()
{
    const QString path = QDir(m_folder).filePath(kColorsFile);
    if (!QFileInfo(path).isFile()) {
        m_error = QStringLiteral("the skin file %1 is missing").arg(path);
        return false;
    }
    QSettings ini(path, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError) {
        m_error = QStringLiteral("the skin file %1 cannot be read").arg(path);
        return false;
    }
    // A colour is written as #RRGGBB (or a name QColor knows); anything else leaves the skin unusable, so a
    // mistake shows at once rather than as a window in some other colour.
    auto color = [&](const QString& key, QColor* out) {
        const QVariant value = ini.value(key);
        *out = value.typeId() == QMetaType::QString ? QColor::fromString(value.toString()) : QColor();
        if (!out->isValid())
            m_error = QStringLiteral("the skin file %1 gives no colour for %2").arg(path, key);
        return out->isValid();
    };

    ini.beginGroup(QStringLiteral("Colors"));
    if (!color(QStringLiteral("A"), &m_colors.A) || !color(QStringLiteral("B"), &m_colors.B) ||
        !color(QStringLiteral("C"), &m_colors.C) || !color(QStringLiteral("D"), &m_colors.D))
        return false;
    ini.endGroup();

    // Fields and buttons look as the colour pass paints them, so that controls it does not reach match.
    ini.beginGroup(QStringLiteral("Palette"));
    QColor window;
    if (!color(QStringLiteral("Window"), &window))
        return false;
    m_palette = QPalette(m_colors.A, window);
    m_palette.setColor(QPalette::Base, m_colors.A);
    m_palette.setColor(QPalette::Text, m_colors.B);
    m_palette.setColor(QPalette::ButtonText, m_colors.B);
    m_palette.setColor(QPalette::WindowText, m_colors.B);
    const QMetaEnum roles = QMetaEnum::fromType<QPalette::ColorRole>();
    const QStringList keys = ini.childKeys();
    for (const QString& key : keys) {
        const int role = roles.keyToValue(key.toLatin1().constData());
        if (role < 0 || role >= QPalette::NColorRoles) {
            m_error = QStringLiteral("the skin file %1 names no palette role %2").arg(path, key);
            return false;
        }
        QColor value;
        if (!color(key, &value))
            return false;
        m_palette.setColor(QPalette::ColorRole(role), value);
    }
    for (const auto& [text, background] :
         {std::pair{QPalette::WindowText, QPalette::Window}, std::pair{QPalette::Text, QPalette::Base},
          std::pair{QPalette::ButtonText, QPalette::Button}}) {
        m_palette.setColor(
            QPalette::Disabled, text,
            faded(m_palette.color(QPalette::Active, text), m_palette.color(QPalette::Active, background)));
    }
    return true;
}

bool Skin::readStyleSheet()
{
    const QDir folder(m_folder);
    QFile file(folder.filePath(kStyleSheetFile));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        m_error =
            QStringLiteral("the skin's style sheet %1 cannot be read: %2").arg(file.fileName(), file.errorString());
        return false;
    }
    const QString text = QString::fromUtf8(file.readAll());

    // Qt reads a relative url() from the working folder; the skin's pictures are beside its style sheet.
    static const QRegularExpression url(QStringLiteral(R"(url\(\s*(["']?)([^"')]*)\1\s*\))"));
    QString sheet;
    qsizetype copied = 0;
    for (auto it = url.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString target = match.captured(2).trimmed();
        sheet += QStringView(text).mid(copied, match.capturedStart() - copied);
        copied = match.capturedEnd();
        if (target.isEmpty() || !QDir::isRelativePath(target) || target.startsWith(u':') ||
            !QUrl(target).scheme().isEmpty()) {
            sheet += match.captured(0);
            continue;
        }
        const QString picture = QDir::cleanPath(folder.absoluteFilePath(target));
        m_images.append(picture);
        sheet += QStringLiteral("url(\"%1\")").arg(QString(picture).replace(u'"', QStringLiteral("\\\"")));
    }
    sheet += QStringView(text).mid(copied);
    m_styleSheet = sheet;
    return true;
}

void Skin::throwIfNotLoaded() const
{
    if (!isLoaded())
        throw std::runtime_error(m_error.toStdString());
}

SkinColors Skin::colors() const
{
    throwIfNotLoaded();
    return m_colors;
}

QPalette Skin::palette() const
{
    throwIfNotLoaded();
    return m_palette;
}

QString Skin::styleSheet() const
{
    throwIfNotLoaded();
    return m_styleSheet;
}

void Skin::SkinWindow(QWidget& window) const
{
    throwIfNotLoaded();
    // The palette first: the style sheet's rules take the palette each control has when they are applied.
    window.setPalette(m_palette);
    window.setStyleSheet(m_styleSheet);
}
