#include "IniSettingsStore.h"

#include "UserFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

const QString kSection = QStringLiteral("Settings");

// QSettings knows the format but reads and writes only files of its own. It is given a private copy in a
// temporary folder, which it may read, rewrite and lock as it likes, and never the user's file itself.
class IniCopy {
public:
    explicit IniCopy(const QByteArray& bytes)
    {
        if (!m_dir.isValid())
            return;
        QFile file(path());
        m_valid = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
    }
    bool valid() const { return m_valid; }
    QString path() const { return m_dir.filePath(QStringLiteral("settings.ini")); }

private:
    QTemporaryDir m_dir;
    bool m_valid = false;
};

QString textOf(const QVariant& value)
{
    // A hand-edited value with a comma reads back as a list; the text is what was meant.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(u',');
    return value.toString();
}

bool parse(const QByteArray& bytes, QHash<QString, QString>* values)
{
    values->clear();
    if (bytes.isEmpty())
        return true;
    const IniCopy copy(bytes);
    if (!copy.valid())
        return false;
    QSettings ini(copy.path(), QSettings::IniFormat);
    ini.beginGroup(kSection);
    for (const QString& key : ini.childKeys())
        values->insert(key, textOf(ini.value(key)));
    return true;
}

// The file's bytes with one value set, as QSettings writes them; false when they could not be made whole.
bool withValue(const QByteArray& bytes, const QString& key, const QString& value, QByteArray* changed)
{
    const IniCopy copy(bytes);
    if (!copy.valid())
        return false;
    {
        QSettings ini(copy.path(), QSettings::IniFormat);
        // A private copy needs no atomic rewrite of its own: the user's file gets that below.
        ini.setAtomicSyncRequired(false);
        ini.setValue(kSection + u'/' + key, value);
        ini.sync();
        if (ini.status() != QSettings::NoError)
            return false;
    }
    QFile file(copy.path());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *changed = file.readAll();
    // Read back as a check that nothing went missing on the way.
    QHash<QString, QString> values;
    return file.error() == QFileDevice::NoError && parse(*changed, &values) && values.value(key) == value;
}

} // namespace

IniSettingsStore::IniSettingsStore(const QString& productName)
    : IniSettingsStore(AtPath{}, standardPath(productName))
{}

IniSettingsStore::IniSettingsStore(AtPath, QString path)
    : m_path(std::move(path))
{
    QString reason;
    switch (UserFile::kindOf(m_path, &reason)) {
    case UserFile::Kind::Refused:
        m_refusal = QStringLiteral("cannot use %1: %2").arg(m_path, reason);
        break;
    case UserFile::Kind::Regular: {
        // A file that cannot be read gives the defaults, as it always did.
        QByteArray bytes;
        if (UserFile::read(m_path, &bytes, &reason))
            parse(bytes, &m_values);
        break;
    }
    case UserFile::Kind::Missing:
        break;
    }
}

IniSettingsStore IniSettingsStore::atPath(const QString& path)
{
    return IniSettingsStore(AtPath{}, path);
}

QString IniSettingsStore::standardPath(const QString& productName)
{
    // Where QSettings keeps a user's INI file of that name.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' + productName + u'/' +
           productName + QStringLiteral(".ini");
}

QString IniSettingsStore::GetSetting(const QString& key, const QString& defaultValue) const
{
    const auto found = m_values.constFind(key);
    return found == m_values.cend() ? defaultValue : *found;
}

bool IniSettingsStore::SaveSetting(const QString& key, const QString& value)
{
    return UpdateSetting(key, [&value](const QString&) { return value; });
}

bool IniSettingsStore::UpdateSetting(const QString& key, const std::function<QString(const QString& stored)>& update)
{
    if (!m_refusal.isEmpty())
        return false;
    QString error;
    if (!UserFile::makeFolders(QFileInfo(m_path).absolutePath(), &error))
        return false;
    const UserFile::Lock lock(m_path);
    if (!lock.locked())
        return false;
    QByteArray bytes;
    if (UserFile::kindOf(m_path) != UserFile::Kind::Missing && !UserFile::read(m_path, &bytes, &error))
        return false;
    QHash<QString, QString> values;
    if (!parse(bytes, &values))
        return false;
    const auto stored = values.constFind(key);
    const QString value = update(stored == values.cend() ? QString() : *stored);
    QByteArray changed;
    if (!withValue(bytes, key, value, &changed) || !UserFile::write(m_path, changed, &error))
        return false;
    values.insert(key, value);
    m_values = std::move(values);
    return true;
}
