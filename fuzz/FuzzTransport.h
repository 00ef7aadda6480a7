#pragma once

#include "CdpTransport.h"

// A transport whose browser is the fuzzer's input.
class FuzzTransport : public CdpTransport {
public:
    void sendMessage(const QByteArray&) override {}
    bool isClosed() const override { return m_closed; }
    void deliver(const QByteArray& message) { emit messageReceived(message); }
    void close()
    {
        m_closed = true;
        emit closed(QStringLiteral("end of input"));
    }

private:
    bool m_closed = false;
};
