// Registry data the program did not write. An input starting with an even byte is the text of an
// autostart entry: reading it never fails, and a command read from it is written and read back the same.
// An odd first byte is followed by a value name, a line feed and REG_SZ bytes stored in the memory and the
// SQLite registries: both give back the same bytes under the name's folded form, the Tools-menu layer's
// ReadValue gives the text without its terminating zero, and deleting under the folded name removes it.
#include "CRegister.h"
#include "DesktopEntry.h"
#include "MemoryRegistry.h"
#include "SqliteRegistry.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

void entry(const QByteArray& text)
{
    const std::optional<QString> command = DesktopEntry::runCommand(text);
    if (command && !command->contains(QChar(0))) {
        const QByteArray written =
            DesktopEntry::autostartFile(QStringLiteral("N"), *command, QStringLiteral("T"), QStringLiteral("I"));
        check(DesktopEntry::runCommand(written) == command);
    }
    const QString asText = QString::fromUtf8(text);
    const std::optional<QStringList> arguments = DesktopEntry::execArguments(DesktopEntry::execValue(asText));
    // Reading arguments leaves the doubled "%" to the field codes' turn, which comes after.
    check(arguments && arguments->size() == 1 &&
          QString(arguments->first()).replace(QStringLiteral("%%"), QStringLiteral("%")) == asText);
}

void value(const QByteArray& input)
{
    const qsizetype split = input.indexOf('\n');
    const QString name = QString::fromUtf8(split < 0 ? input : input.left(split));
    const QByteArray data = split < 0 ? QByteArray() : input.mid(split + 1);
    const QString path = QStringLiteral("Software\\Fuzz");
    const QString expected = QString::fromUtf8(data.endsWith('\0') ? data.chopped(1) : data);
    const QString none = QStringLiteral("none");

    MemoryRegistry memory;
    SqliteRegistry sqlite(QStringLiteral(":memory:"));
    for (Registry* registry : {static_cast<Registry*>(&memory), static_cast<Registry*>(&sqlite)}) {
        RegKey key;
        check(registry->createKey(HKEY_LOCAL_MACHINE, path, key) == RegResult::Success);
        check(registry->setValue(key.handle(), name, REG_SZ, data) == RegResult::Success);
        RegValue stored;
        check(registry->queryValue(key.handle(), Registry::fold(name), stored) == RegResult::Success);
        check(stored.type == REG_SZ && stored.data == data);
        // "*" is the default value at that layer, not this name.
        if (name != u"*")
            check(CRegister(*registry).ReadValue(HKEY_LOCAL_MACHINE, path, name, none) ==
                  (data.isEmpty() ? none : expected));
        // Deleted under the folded name, the value is gone.
        check(registry->deleteValue(key.handle(), Registry::fold(name)) == RegResult::Success);
        check(registry->queryValue(key.handle(), name, stored) == RegResult::FileNotFound);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray rest(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    if (data[0] % 2 == 0)
        entry(rest);
    else
        value(rest);
    return 0;
}
