// Feeds arbitrary bytes to a DevTools connection as messages from the browser: split on NUL as the
// pipe frames them, and whole as one WebSocket message. Pending commands (ids 1 to 4, two of them in
// session "S1") must each end exactly once when the connection closes.
#include "CdpConnection.h"
#include "FuzzTransport.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QCoreApplication>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

void run(const QByteArrayList& messages)
{
    auto owned = std::make_unique<FuzzTransport>();
    FuzzTransport* transport = owned.get();
    CdpConnection connection(std::move(owned));
    transport->deliver(R"({"method":"Target.attachedToTarget","params":{"sessionId":"S1"}})");

    std::array<int, 4> calls{};
    for (size_t i = 0; i < calls.size(); ++i) {
        connection.send(
            QStringLiteral("Fuzz.command"), {}, [&calls, i](const CdpConnection::Reply&) { ++calls[i]; },
            i % 2 ? QStringLiteral("S1") : QString(), std::chrono::minutes(1));
    }
    for (const QByteArray& message : messages)
        transport->deliver(message);
    transport->close();
    for (const int count : calls) {
        if (count != 1)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // The connection's time-outs are timers, which need an application object.
    static QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    run(input.split('\0'));
    run({input});
    return 0;
}
