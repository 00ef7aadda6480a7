// Feeds arbitrary bytes, split on NUL, to a watched browser as its DevTools messages: targets that come
// and go, popups with odd openers, paused requests, binding calls, all with any types. Whatever comes,
// the collection stays consistent and every popup the program heard of is settled exactly once.
#include "CdpBrowser.h"
#include "FuzzTransport.h"
#include "NewWindowRequest.h"

#include <QByteArrayList>
#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

// A page and a popup of it, so that the fuzzer starts from the interesting state.
const QByteArrayList kPrelude = {
    R"({"method":"Target.attachedToTarget","params":{"sessionId":"P","waitingForDebugger":true,)"
    R"("targetInfo":{"targetId":"T1","type":"page","url":"http://a.example/"}}})",
    R"({"method":"Page.windowOpen","sessionId":"P","params":{"url":"http://ads.example/"}})",
    R"({"method":"Target.attachedToTarget","params":{"sessionId":"Q","waitingForDebugger":true,)"
    R"("targetInfo":{"targetId":"T2","type":"page","url":"","openerId":"T1"}}})",
};

void run(const QByteArrayList& messages, bool settleLater)
{
    auto owned = std::make_unique<FuzzTransport>();
    FuzzTransport* transport = owned.get();
    CdpBrowser browser(std::make_unique<CdpConnection>(std::move(owned)));
    browser.start();

    int raised = 0;
    int settled = 0;
    std::vector<std::shared_ptr<NewWindowRequest>> held;
    auto hook = [&](const std::shared_ptr<BrowserWindow>& window) {
        QObject::connect(
            window.get(), &BrowserWindow::NewWindow2, &browser, [&](std::shared_ptr<NewWindowRequest> request) {
                ++raised;
                auto wrapped =
                    std::make_shared<NewWindowRequest>(request->popupUrl(), [&settled, request](bool cancel) {
                        ++settled;
                        request->setCancel(cancel);
                        request->settle();
                    });
                wrapped->setCancel(raised % 2 == 0);
                if (settleLater)
                    held.push_back(wrapped);
            });
    };
    QObject::connect(&browser, &ShellWindows::WindowRegistered, &browser, [&] {
        for (const auto& window : browser.windows())
            hook(window);
    });

    for (const QByteArray& message : kPrelude + messages) {
        transport->deliver(message);
        // Every window listed is one of this browser's pages, each once.
        const auto windows = browser.windows();
        for (qsizetype i = 0; i < windows.size(); ++i) {
            for (qsizetype j = i + 1; j < windows.size(); ++j) {
                if (windows[i] == windows[j])
                    std::abort();
            }
        }
    }
    held.clear();
    transport->close();
    if (settled != raised || !browser.windows().isEmpty())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QByteArrayList messages = input.split('\0');
    run(messages, false);
    run(messages, true);
    return 0;
}
