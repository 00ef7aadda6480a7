// A real headless Chromium watched by the program: how fast a popup is blocked and whether any of it
// reaches the network, what being watched costs an allowed popup, what the document gate costs a
// navigation, and what one tracker rebuild costs with 200 pages open. Every benchmark launches its own browser, so each
// runs a fixed number of iterations.
#include "BrowserLauncher.h"
#include "CdpBrowser.h"
#include "CdpConnection.h"
#include "CdpPageWindow.h"
#include "CdpTransport.h"
#include "DecisionContext.h"
#include "DecisionState.h"
#include "LoopbackHttpServer.h"
#include "MessagePump.h"
#include "NullSoundService.h"
#include "PopupOptions.h"
#include "PromptService.h"
#include "ShellWindowsGroup.h"
#include "UnansweredPrompt.h"
#include "cIEWindows.h"
#include "modPlaySound.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include "BenchSupport.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace {

using bench::median;
using bench::pause;
using bench::percentile;

// Long enough for a browser on a loaded machine.
bool waitFor(const std::function<bool()>& done, int timeoutMs = 15000)
{
    return bench::waitFor(done, timeoutMs);
}

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// Milliseconds since the Unix epoch: the clock a page reads as performance.timeOrigin + performance.now().
double wallMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// The loopback site, with the time each request was seen.
class Site {
public:
    struct Request {
        double atMs;
        QString target;
    };

    Site()
        : m_server(m_folder.path())
    {
        QObject::connect(&m_server, &LoopbackHttpServer::requestSeen, [this](const QString&, const QString& target) {
            requests.push_back({wallMs(), target});
        });
        listening = m_server.listen();
    }

    void addPage(const QString& path, const QByteArray& html)
    {
        QFile file(m_folder.filePath(path));
        QDir().mkpath(QFileInfo(file).path());
        if (file.open(QIODevice::WriteOnly))
            file.write(html);
    }
    QString url(const QString& path) const { return m_server.url(path); }
    const Request* find(const QString& prefix) const
    {
        for (const Request& request : requests) {
            if (request.target.startsWith(prefix))
                return &request;
        }
        return nullptr;
    }
    int count(const QString& prefix) const
    {
        return int(std::count_if(requests.begin(), requests.end(),
                                 [&](const Request& request) { return request.target.startsWith(prefix); }));
    }

    bool listening = false;
    std::vector<Request> requests;

private:
    QTemporaryDir m_folder;
    LoopbackHttpServer m_server;
};

// Passes every message through, noting when it went by while recording, so a popup's way through the
// program can be taken apart after the fact without slowing it down.
class TapTransport : public CdpTransport {
public:
    struct Passage {
        double atMs;
        bool outgoing;
        QByteArray message;
    };

    explicit TapTransport(std::unique_ptr<CdpTransport> inner)
        : m_inner(std::move(inner))
    {
        connect(m_inner.get(), &CdpTransport::messageReceived, this, [this](const QByteArray& message) {
            if (recording)
                passages.push_back({wallMs(), false, message});
            emit messageReceived(message);
        });
        connect(m_inner.get(), &CdpTransport::closed, this, &CdpTransport::closed);
    }

    void sendMessage(const QByteArray& message) override
    {
        if (recording)
            passages.push_back({wallMs(), true, message});
        m_inner->sendMessage(message);
    }
    bool isClosed() const override { return m_inner->isClosed(); }

    bool recording = false;
    std::vector<Passage> passages;

private:
    std::unique_ptr<CdpTransport> m_inner;
};

std::unique_ptr<CdpTransport> launchBrowser(const QString& profileDir)
{
    BrowserLauncher::Options options;
    options.headless = true;
    options.discardOutput = true;
    options.profileDir = profileDir;
    QString error;
    auto transport = BrowserLauncher().launch(options, &error);
    if (!transport)
        qWarning("cannot launch a browser: %s", qPrintable(error));
    return transport;
}

// The program's side of one watched browser: the decision and the tracker over the browser's windows.
class Watcher {
public:
    struct Options : PopupOptions {
        bool PopupBlocking() const override { return true; }
        bool SetupMode() const override { return false; }
        bool BlockSound() const override { return false; }
        bool LinkException() const override { return false; }
    };
    struct NoPump : MessagePump {
        void ProcessPending() override {}
    };

    // Launches the browser, tapped, and waits until the program watches it.
    bool start(const QString& profileDir)
    {
        auto pipe = launchBrowser(profileDir);
        if (!pipe)
            return false;
        auto tapped = std::make_unique<TapTransport>(std::move(pipe));
        tap = tapped.get();
        auto owned = std::make_unique<CdpBrowser>(std::make_unique<CdpConnection>(std::move(tapped)));
        browser = owned.get();
        bool ready = false;
        const auto once = QObject::connect(browser, &CdpBrowser::ready, browser, [&ready] { ready = true; });
        browser->start();
        group.add(std::move(owned));
        const bool ok = waitFor([&] { return ready; }, 20000);
        QObject::disconnect(once);
        return ok;
    }

    DecisionState state;
    Options options;
    NullSoundService silence;
    modPlaySound sound{silence};
    NoPump pump;
    UnansweredPrompt prompt;
    DecisionContext context{state, options, sound, pump, prompt, QString()};
    ShellWindowsGroup group;
    cIEWindows tracker{group, context};
    CdpBrowser* browser = nullptr;
    TapTransport* tap = nullptr;
};

struct Page {
    QString targetId;
    QString sessionId;
};

struct Evaluation {
    bool done = false;
    QJsonValue value;
};

// Runs a script in a page; the reply, which comes once the script has run, lands in the result.
std::shared_ptr<Evaluation> evaluateAsync(CdpConnection& connection, const QString& sessionId, const QString& script,
                                          bool userGesture)
{
    auto evaluation = std::make_shared<Evaluation>();
    connection.send(
        QStringLiteral("Runtime.evaluate"),
        QJsonObject{{"expression", script}, {"returnByValue", true}, {"userGesture", userGesture}},
        [evaluation](const CdpConnection::Reply& reply) {
            evaluation->done = true;
            evaluation->value = reply.result.value("result").toObject().value("value");
        },
        sessionId);
    return evaluation;
}

QJsonValue evaluate(CdpConnection& connection, const QString& sessionId, const QString& script)
{
    auto evaluation = evaluateAsync(connection, sessionId, script, false);
    (void)waitFor([&] { return evaluation->done; }, 10000);
    return evaluation->value;
}

// Sends a command and waits for its reply; nullopt when none came.
std::optional<CdpConnection::Reply> command(CdpConnection& connection, const QString& method,
                                            const QJsonObject& params = {}, const QString& sessionId = {})
{
    auto reply = std::make_shared<std::optional<CdpConnection::Reply>>();
    connection.send(
        method, params, [reply](const CdpConnection::Reply& r) { *reply = r; }, sessionId);
    if (!waitFor([&] { return reply->has_value(); }, 15000))
        return std::nullopt;
    return *reply;
}

bool waitLoaded(CdpConnection& connection, const Page& page, const QString& address)
{
    QDeadlineTimer deadline(15000);
    const QString probe = QStringLiteral("location.href + ' ' + document.readyState");
    while (!deadline.hasExpired()) {
        if (evaluate(connection, page.sessionId, probe).toString() == address + QStringLiteral(" complete"))
            return true;
        pause(20);
    }
    return false;
}

// Opens a page in a watched browser and waits for its window and its document.
std::optional<Page> openWatched(CdpBrowser& browser, const QString& address)
{
    auto created = command(browser.connection(), QStringLiteral("Target.createTarget"), {{"url", address}});
    if (!created || !created->ok())
        return std::nullopt;
    const QString targetId = created->result.value("targetId").toString();
    Page page;
    const bool adopted = waitFor([&] {
        for (const auto& window : browser.windows()) {
            auto* cdp = static_cast<CdpPageWindow*>(window.get());
            if (cdp->targetId() == targetId)
                page = {targetId, cdp->sessionId()};
        }
        return !page.sessionId.isEmpty();
    });
    if (!adopted || !waitLoaded(browser.connection(), page, address))
        return std::nullopt;
    return page;
}

// Opens a page in an unwatched browser and attaches to it alone, to run scripts in it.
std::optional<Page> openPlain(CdpConnection& connection, const QString& address)
{
    auto created = command(connection, QStringLiteral("Target.createTarget"), {{"url", address}});
    if (!created || !created->ok())
        return std::nullopt;
    Page page{created->result.value("targetId").toString(), {}};
    auto attached =
        command(connection, QStringLiteral("Target.attachToTarget"), {{"targetId", page.targetId}, {"flatten", true}});
    if (!attached || !attached->ok())
        return std::nullopt;
    page.sessionId = attached->result.value("sessionId").toString();
    if (!waitLoaded(connection, page, address))
        return std::nullopt;
    return page;
}

const QByteArray kOpener = R"html(<!doctype html><title>opener</title>
<a id="blank" href="/p/link-0.html" target="_blank">new window link</a>)html";

// The popup that reports its load event: when, by the page's clock, and that it happened at all.
const QByteArray kLoadReporter = R"html(<!doctype html><title>allowed</title>
<script>addEventListener('load', () => fetch('/loaded' + location.search + '&t=' +
    (performance.timeOrigin + performance.now())));</script>)html";

// The page notes the time just before it opens the popup and hands it back as the script's result.
QString timed(const QString& body)
{
    return QStringLiteral("(() => { const t0 = performance.timeOrigin + performance.now();"
                          " try { %1 } catch (e) {} return t0; })()")
        .arg(body);
}

enum Kind { Open, Link, NoOpener, Written, Form, KindCount };
const std::array<const char*, KindCount> kKindNames{"open", "link", "noopener", "written", "form"};

QString popupScript(int kind, int n)
{
    const QString stem = QStringLiteral("/p/%1-%2").arg(QLatin1String(kKindNames[std::size_t(kind)])).arg(n);
    switch (kind) {
    case Open:
        return QStringLiteral("window.open('%1.html');").arg(stem);
    case Link:
        return QStringLiteral("const a = document.getElementById('blank'); a.href = '%1.html'; a.click();").arg(stem);
    case NoOpener:
        return QStringLiteral("window.open('%1.html', '_blank', 'noopener');").arg(stem);
    case Form:
        return QStringLiteral("const f = document.createElement('form'); f.action = '%1.html'; f.target = '_blank';"
                              " document.body.appendChild(f); f.submit(); f.remove();")
            .arg(stem);
    default:
        // Empty, then written into by the opener: its picture and script must not load either.
        return QStringLiteral("const w = window.open(''); w.document.write('<img src=\"%1.png\">"
                              "<script src=\"%1.js\"></scr' + 'ipt>'); w.document.close();")
            .arg(stem);
    }
}

// One blocked popup's way, every time in milliseconds after the page's window.open.
struct Trip {
    int kind = 0;
    double t0 = kNone;          // the page's clock just before window.open
    double sentAt = kNone;      // the program sending the script
    double attachedAt = kNone;  // Target.attachedToTarget of the paused popup
    double decidedAt = kNone;   // the decision made (DecisionContext::Decided)
    double gateSentAt = kNone;  // Fetch.enable sent to the popup
    double gateUpAt = kNone;    // its reply
    double policyAt = kNone;    // the no-loads policy's Runtime.evaluate sent to the popup
    double policyUpAt = kNone;  // its reply
    double resumedAt = kNone;   // Runtime.runIfWaitingForDebugger sent to the popup
    double requestAt = kNone;   // the popup's first request paused at the gate
    double closeSentAt = kNone; // Target.closeTarget sent
    double closeReplyAt = kNone;
    double destroyedAt = kNone; // Target.targetDestroyed seen
    QString targetId;
    QString sessionId;
};

// Reads the recorded messages for the popup's steps through CdpBrowser.
void dissect(Trip& trip, const std::vector<TapTransport::Passage>& passages)
{
    int gateId = -1;
    int policyId = -1;
    int closeId = -1;
    for (const TapTransport::Passage& passage : passages) {
        const QJsonObject message = QJsonDocument::fromJson(passage.message).object();
        const QString method = message.value("method").toString();
        const QString sessionId = message.value("sessionId").toString();
        const int id = message.value("id").toInt(-1);
        if (passage.outgoing) {
            if (sessionId == trip.sessionId && method == u"Fetch.enable" && gateId < 0) {
                gateId = id;
                trip.gateSentAt = passage.atMs;
            } else if (sessionId == trip.sessionId && method == u"Runtime.evaluate" && policyId < 0) {
                policyId = id;
                trip.policyAt = passage.atMs;
            } else if (sessionId == trip.sessionId && method == u"Runtime.runIfWaitingForDebugger" &&
                       std::isnan(trip.resumedAt)) {
                trip.resumedAt = passage.atMs;
            } else if (method == u"Target.closeTarget" &&
                       message.value("params").toObject().value("targetId").toString() == trip.targetId) {
                closeId = id;
                trip.closeSentAt = passage.atMs;
            }
        } else if (method.isEmpty()) {
            if (id >= 0 && id == gateId)
                trip.gateUpAt = passage.atMs;
            else if (id >= 0 && id == policyId)
                trip.policyUpAt = passage.atMs;
            else if (id >= 0 && id == closeId)
                trip.closeReplyAt = passage.atMs;
        } else if (method == u"Target.attachedToTarget" &&
                   message.value("params").toObject().value("sessionId").toString() == trip.sessionId) {
            trip.attachedAt = passage.atMs; // as read from the pipe, before CdpBrowser acts on it
        } else if (method == u"Fetch.requestPaused" && sessionId == trip.sessionId && std::isnan(trip.requestAt)) {
            trip.requestAt = passage.atMs;
        }
    }
}

// The browser's own floor for a blocked popup: a second browser on a plain connection that closes each popup of
// its opener the moment it is attached, paused before its first request, and does nothing else: no decision, no
// gate, no policy.
class BareCloser {
public:
    bool start(const QString& profileDir, const QString& openerUrl)
    {
        auto pipe = launchBrowser(profileDir);
        if (!pipe)
            return false;
        connection = std::make_unique<CdpConnection>(std::move(pipe));
        if (!command(*connection, QStringLiteral("Target.setDiscoverTargets"), {{"discover", true}}))
            return false;
        opener = openPlain(*connection, openerUrl);
        if (!opener)
            return false;
        QObject::connect(connection.get(), &CdpConnection::eventReceived, &m_guard,
                         [this](const QString& sessionId, const QString& method, const QJsonObject& params) {
                             if (sessionId.isEmpty())
                                 onEvent(method, params);
                         });
        const QJsonArray pages{QJsonObject{{"type", "page"}, {"exclude", false}}};
        const auto attach =
            command(*connection, QStringLiteral("Target.setAutoAttach"),
                    {{"autoAttach", true}, {"waitForDebuggerOnStart", true}, {"flatten", true}, {"filter", pages}});
        return attach && attach->ok();
    }

    QString popupTarget;
    double destroyedAt = kNone;
    std::unique_ptr<CdpConnection> connection;
    std::optional<Page> opener;

private:
    void onEvent(const QString& method, const QJsonObject& params)
    {
        if (method == u"Target.attachedToTarget") {
            const QJsonObject info = params.value("targetInfo").toObject();
            if (info.value("targetId").toString() == opener->targetId) {
                m_openerSessions.append(params.value("sessionId").toString());
            } else if (info.value("openerId").toString() == opener->targetId) {
                popupTarget = info.value("targetId").toString();
                connection->send(QStringLiteral("Target.closeTarget"), {{"targetId", popupTarget}});
                // A popup paused in its opener's renderer holds the opener too: let it go on.
                for (const QString& session : {opener->sessionId, m_openerSessions.value(0)}) {
                    if (!session.isEmpty())
                        connection->send(QStringLiteral("Runtime.runIfWaitingForDebugger"), {}, {}, session);
                }
            } else if (params.value("waitingForDebugger").toBool()) {
                connection->send(QStringLiteral("Runtime.runIfWaitingForDebugger"), {}, {},
                                 params.value("sessionId").toString());
            }
        } else if (method == u"Target.targetDestroyed" && !popupTarget.isEmpty() &&
                   params.value("targetId").toString() == popupTarget) {
            destroyedAt = wallMs();
        }
    }

    QStringList m_openerSessions; // the opener's own session, made by the automatic attach
    QObject m_guard;              // its connections end before the members they use
};

// window.open to the popup gone, over popups of five kinds in turn, each measured in the watched browser and then
// against the bare close in a browser of its own, so both figures come from the same run. The clock starts in the page
// just before window.open (performance.timeOrigin + performance.now(), the same wall clock as ours) and stops when the
// program sees Target.targetDestroyed; "from_send" counters time from sending the script.
void BM_BlockLatency(benchmark::State& state)
{
    Site site;
    site.addPage("index.html", kOpener);
    Site bareSite;
    bareSite.addPage("index.html", kOpener);
    QTemporaryDir profiles;
    Watcher watcher;
    BareCloser bare;
    if (!site.listening || !bareSite.listening || !watcher.start(profiles.filePath("block")) ||
        !bare.start(profiles.filePath("bare"), bareSite.url("/index.html"))) {
        state.SkipWithError("no browser");
        return;
    }
    CdpBrowser& browser = *watcher.browser;
    const std::optional<Page> opener = openWatched(browser, site.url("/index.html"));
    if (!opener) {
        state.SkipWithError("opener page did not load");
        return;
    }

    Trip trip;
    int blocked = 0;
    QObject guard; // ends the connections below before the locals they use
    QObject::connect(&browser.connection(), &CdpConnection::eventReceived, &guard,
                     [&](const QString& sessionId, const QString& method, const QJsonObject& params) {
                         if (!sessionId.isEmpty())
                             return;
                         if (method == u"Target.attachedToTarget") {
                             const QJsonObject info = params.value("targetInfo").toObject();
                             if (info.value("openerId").toString() == opener->targetId && std::isnan(trip.attachedAt)) {
                                 trip.attachedAt = wallMs();
                                 trip.targetId = info.value("targetId").toString();
                                 trip.sessionId = params.value("sessionId").toString();
                             }
                         } else if (method == u"Target.targetDestroyed") {
                             if (!trip.targetId.isEmpty() && params.value("targetId").toString() == trip.targetId)
                                 trip.destroyedAt = wallMs();
                         }
                     });
    QObject::connect(&watcher.context, &DecisionContext::Decided, &guard,
                     [&](const QString&, const QString&, bool wasBlocked) {
                         if (std::isnan(trip.decidedAt))
                             trip.decidedAt = wallMs();
                         blocked += wasBlocked ? 1 : 0;
                     });

    std::vector<Trip> trips;
    struct BareTrip {
        int kind;
        double latencyMs;
    };
    std::vector<BareTrip> bareTrips;
    int n = 0;
    for (auto _ : state) {
        trip = Trip{};
        trip.kind = n % KindCount;
        const int blockedBefore = blocked;
        watcher.tap->passages.clear();
        watcher.tap->recording = true;
        trip.sentAt = wallMs();
        auto run = evaluateAsync(browser.connection(), opener->sessionId, timed(popupScript(trip.kind, n)), true);
        // Settled: the script has run, the popup was decided and is gone.
        const bool settled =
            waitFor([&] { return run->done && blocked > blockedBefore && !std::isnan(trip.destroyedAt); }, 10000);
        watcher.tap->recording = false;
        if (!settled || !run->value.isDouble()) {
            state.SkipWithError(qPrintable(QStringLiteral("popup %1 (%2) did not settle")
                                               .arg(n)
                                               .arg(QLatin1String(kKindNames[std::size_t(trip.kind)]))));
            break;
        }
        trip.t0 = run->value.toDouble();
        state.SetIterationTime((trip.destroyedAt - trip.t0) / 1000.0);
        dissect(trip, watcher.tap->passages);
        trips.push_back(trip);

        bare.popupTarget.clear();
        bare.destroyedAt = kNone;
        auto bareRun = evaluateAsync(*bare.connection, bare.opener->sessionId, timed(popupScript(trip.kind, n)), true);
        if (!waitFor([&] { return bareRun->done && !std::isnan(bare.destroyedAt); }, 10000) ||
            !bareRun->value.isDouble()) {
            state.SkipWithError(qPrintable(QStringLiteral("bare popup %1 (%2) was not closed")
                                               .arg(n)
                                               .arg(QLatin1String(kKindNames[std::size_t(trip.kind)]))));
            break;
        }
        bareTrips.push_back({trip.kind, bare.destroyedAt - bareRun->value.toDouble()});
        ++n;
    }
    // A request that leaked would come late rather than never.
    pause(1000);

    auto since = [&](double Trip::*field, int kind = -1) {
        std::vector<double> values;
        for (const Trip& t : trips) {
            if (kind < 0 || t.kind == kind)
                values.push_back(t.*field - t.t0);
        }
        return values;
    };
    const auto latencies = since(&Trip::destroyedAt);
    state.counters["median_ms"] = median(latencies);
    state.counters["p99_ms"] = percentile(latencies, 0.99);
    state.counters["max_ms"] = percentile(latencies, 1.0);
    std::vector<double> fromSend;
    for (const Trip& t : trips)
        fromSend.push_back(t.destroyedAt - t.sentAt);
    state.counters["from_send_median_ms"] = median(fromSend);
    state.counters["from_send_p99_ms"] = percentile(fromSend, 0.99);
    state.counters["leaked"] = site.count("/p/");
    state.counters["blocked"] = blocked;
    for (int kind = 0; kind < KindCount; ++kind) {
        const std::string name = kKindNames[std::size_t(kind)];
        state.counters["leaked_" + name] = site.count(QStringLiteral("/p/%1-").arg(QLatin1String(name.c_str())));
        state.counters["median_ms_" + name] = median(since(&Trip::destroyedAt, kind));
        state.counters["p99_ms_" + name] = percentile(since(&Trip::destroyedAt, kind), 0.99);
        std::vector<double> bareLatencies;
        for (const BareTrip& t : bareTrips) {
            if (t.kind == kind)
                bareLatencies.push_back(t.latencyMs);
        }
        state.counters["bare_median_ms_" + name] = median(bareLatencies);
        state.counters["bare_leaked_" + name] =
            bareSite.count(QStringLiteral("/p/%1-").arg(QLatin1String(name.c_str())));
        state.counters["ratio_" + name] = median(since(&Trip::destroyedAt, kind)) / median(bareLatencies);
    }
    // Where the time goes, medians after window.open.
    state.counters["at_attached_ms"] = median(since(&Trip::attachedAt));
    state.counters["at_decided_ms"] = median(since(&Trip::decidedAt));
    state.counters["at_gate_sent_ms"] = median(since(&Trip::gateSentAt));
    state.counters["at_gate_up_ms"] = median(since(&Trip::gateUpAt));
    state.counters["at_policy_sent_ms"] = median(since(&Trip::policyAt));
    state.counters["at_policy_up_ms"] = median(since(&Trip::policyUpAt));
    state.counters["at_resumed_ms"] = median(since(&Trip::resumedAt));
    state.counters["at_request_ms"] = median(since(&Trip::requestAt));
    state.counters["at_close_sent_ms"] = median(since(&Trip::closeSentAt));
    state.counters["at_close_reply_ms"] = median(since(&Trip::closeReplyAt));
    if (qEnvironmentVariableIsSet("TARNWICK_BENCH_TRIPS")) {
        for (const Trip& t : trips) {
            auto at = [&](double value) {
                return value - t.t0;
            };
            qInfo("%-8s attached %6.2f decided %6.2f gate %6.2f/%6.2f policy %6.2f/%6.2f resumed %6.2f request %6.2f "
                  "close %6.2f/%6.2f destroyed %6.2f",
                  kKindNames[std::size_t(t.kind)], at(t.attachedAt), at(t.decidedAt), at(t.gateSentAt), at(t.gateUpAt),
                  at(t.policyAt), at(t.policyUpAt), at(t.resumedAt), at(t.requestAt), at(t.closeSentAt),
                  at(t.closeReplyAt), at(t.destroyedAt));
        }
    }
}
BENCHMARK(BM_BlockLatency)->Iterations(500)->UseManualTime()->Unit(benchmark::kMillisecond);

// window.open to the allowed popup's load event, seen as the beacon its load handler sends reaching our
// server; the clock starts in the page just before window.open. "attached": the program watches the
// browser and the site is on the allowed list. "detached": a second browser on a plain connection that
// only discovers targets, attached to the opener alone to run the script.
void BM_AllowedPopupLoad(benchmark::State& state, bool attached)
{
    Site site;
    site.addPage("index.html", kOpener);
    site.addPage("a/popup.html", kLoadReporter);
    QTemporaryDir profiles;
    std::unique_ptr<Watcher> watcher;
    std::unique_ptr<CdpConnection> plain;
    CdpConnection* connection = nullptr;
    std::optional<Page> opener;
    if (!site.listening) {
        state.SkipWithError("no site");
        return;
    }
    if (attached) {
        watcher = std::make_unique<Watcher>();
        watcher->state.gAllowedSites.setEntries({QStringLiteral("127.0.0.1")});
        if (!watcher->start(profiles.filePath("attached"))) {
            state.SkipWithError("no browser");
            return;
        }
        connection = &watcher->browser->connection();
        opener = openWatched(*watcher->browser, site.url("/index.html"));
    } else {
        auto pipe = launchBrowser(profiles.filePath("detached"));
        if (!pipe) {
            state.SkipWithError("no browser");
            return;
        }
        plain = std::make_unique<CdpConnection>(std::move(pipe));
        connection = plain.get();
        if (!command(*connection, QStringLiteral("Target.setDiscoverTargets"), {{"discover", true}})) {
            state.SkipWithError("no answer from the browser");
            return;
        }
        opener = openPlain(*connection, site.url("/index.html"));
    }
    if (!opener) {
        state.SkipWithError("opener page did not load");
        return;
    }

    QString popupTarget;
    bool popupGone = false;
    QObject guard;
    QObject::connect(connection, &CdpConnection::eventReceived, &guard,
                     [&](const QString& sessionId, const QString& method, const QJsonObject& params) {
                         if (!sessionId.isEmpty())
                             return;
                         if (method == u"Target.targetCreated") {
                             const QJsonObject info = params.value("targetInfo").toObject();
                             if (info.value("openerId").toString() == opener->targetId)
                                 popupTarget = info.value("targetId").toString();
                         } else if (method == u"Target.targetDestroyed") {
                             if (params.value("targetId").toString() == popupTarget)
                                 popupGone = true;
                         }
                     });
    int allowed = 0;
    if (watcher) {
        QObject::connect(&watcher->context, &DecisionContext::Decided, &guard,
                         [&](const QString&, const QString&, bool blocked) { allowed += blocked ? 0 : 1; });
    }
    const auto windowsBefore = watcher ? watcher->browser->windows().size() : 0;

    struct Load {
        double beaconMs = kNone;    // to our server seeing the beacon
        double loadEventMs = kNone; // to the load event, by the popup's clock
    };
    int n = 0;
    // Opens one popup, waits for its beacon, then closes it so that popups do not pile up.
    auto trip = [&]() -> std::optional<Load> {
        const int id = ++n;
        popupTarget.clear();
        popupGone = false;
        const QString beacon = QStringLiteral("/loaded?id=%1&").arg(id);
        auto run = evaluateAsync(*connection, opener->sessionId,
                                 timed(QStringLiteral("window.open('/a/popup.html?id=%1');").arg(id)), true);
        if (!waitFor([&] { return run->done && site.find(beacon) && !popupTarget.isEmpty(); }) ||
            !run->value.isDouble())
            return std::nullopt;
        const Site::Request* seen = site.find(beacon);
        const double t0 = run->value.toDouble();
        const double loadedAt = QUrlQuery(QUrl(seen->target).query()).queryItemValue("t").toDouble();
        const Load load{seen->atMs - t0, loadedAt - t0};
        connection->send(QStringLiteral("Target.closeTarget"), {{"targetId", popupTarget}});
        const bool closed =
            waitFor([&] { return popupGone && (!watcher || watcher->browser->windows().size() == windowsBefore); });
        if (!closed)
            return std::nullopt;
        return load;
    };
    // The first popups pay for warming caches and processes, alike with and without the program.
    for (int i = 0; i < 3; ++i)
        (void)trip();

    std::vector<double> beacons;
    std::vector<double> loadEvents;
    for (auto _ : state) {
        const std::optional<Load> load = trip();
        if (!load) {
            state.SkipWithError(qPrintable(QStringLiteral("popup %1 did not load or close").arg(n)));
            break;
        }
        state.SetIterationTime(load->beaconMs / 1000.0);
        beacons.push_back(load->beaconMs);
        loadEvents.push_back(load->loadEventMs);
    }
    state.counters["median_ms"] = median(beacons);
    state.counters["p99_ms"] = percentile(beacons, 0.99);
    state.counters["load_event_median_ms"] = median(loadEvents);
    if (watcher) {
        state.counters["allowed"] = allowed;
        state.counters["blocked"] = watcher->state.gBlockedCount;
    }
}
BENCHMARK_CAPTURE(BM_AllowedPopupLoad, attached, true)->Iterations(60)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_AllowedPopupLoad, detached, false)->Iterations(60)->UseManualTime()->Unit(benchmark::kMillisecond);

// What the browser-wide document gate costs an ordinary navigation: a watched page follows a link (a
// navigation its own document starts) and the clock stops when the site sees the request. The gate is up,
// idle or down in turn from one navigation to the next, so all share the browser, the page and the machine's load.
// "held": how long the program kept the request; "round_trip": one bare command to the browser and back,
// the other part of what the gate adds. "idle_gate": interception on but with a pattern that matches nothing, what the
// browser charges for interception being on at all, before anything is held.
void BM_NavigationGate(benchmark::State& state)
{
    Site site;
    site.addPage("tiny.html", "<!doctype html><title>tiny</title>");
    QTemporaryDir profiles;
    Watcher watcher;
    if (!site.listening || !watcher.start(profiles.filePath("navigate"))) {
        state.SkipWithError("no browser");
        return;
    }
    CdpBrowser& browser = *watcher.browser;
    CdpConnection& connection = browser.connection();
    const std::optional<Page> page = openWatched(browser, site.url("/tiny.html"));
    if (!page) {
        state.SkipWithError("page did not load");
        return;
    }
    const QJsonObject gatePatterns{
        {"patterns", QJsonArray{QJsonObject{{"resourceType", "Document"}, {"requestStage", "Request"}}}}};
    const QJsonObject idlePatterns{{"patterns", QJsonArray{QJsonObject{{"urlPattern", "*://matches.nothing/*"},
                                                                       {"resourceType", "Document"},
                                                                       {"requestStage", "Request"}}}}};
    enum Gate { Up, Idle, Down, GateCount };
    auto setGate = [&](Gate gate) {
        const auto reply = gate == Up     ? command(connection, QStringLiteral("Fetch.enable"), gatePatterns)
                           : gate == Idle ? command(connection, QStringLiteral("Fetch.enable"), idlePatterns)
                                          : command(connection, QStringLiteral("Fetch.disable"));
        return reply && reply->ok();
    };

    int n = 0;
    // Send the page on and back to the clock: the site seeing the request.
    auto navigate = [&]() -> std::optional<double> {
        const QString path = QStringLiteral("/tiny.html?n=%1&").arg(++n);
        const double sentAt = wallMs();
        connection.send(QStringLiteral("Runtime.evaluate"),
                        {{"expression", QStringLiteral("location.href = '%1'").arg(path)}}, {}, page->sessionId);
        if (!waitFor([&] { return site.find(path) != nullptr; }))
            return std::nullopt;
        const double seenAt = site.find(path)->atMs;
        if (!waitLoaded(connection, *page, site.url(path)))
            return std::nullopt;
        return seenAt - sentAt;
    };
    // The first navigations pay for warming caches, alike with and without the gate.
    for (int i = 0; i < 4; ++i)
        (void)navigate();

    // How long the document waited at the gate for the program: from its request read off the pipe to the
    // answer written to it.
    auto heldFor = [&]() {
        QHash<QString, double> pausedAt;
        for (const TapTransport::Passage& passage : watcher.tap->passages) {
            const QJsonObject message = QJsonDocument::fromJson(passage.message).object();
            const QString method = message.value("method").toString();
            const QJsonObject params = message.value("params").toObject();
            if (!passage.outgoing && method == u"Fetch.requestPaused" &&
                message.value("sessionId").toString().isEmpty())
                pausedAt.insert(params.value("requestId").toString(), passage.atMs);
            else if (passage.outgoing && method == u"Fetch.continueRequest" &&
                     pausedAt.contains(params.value("requestId").toString()))
                return passage.atMs - pausedAt.value(params.value("requestId").toString());
        }
        return kNone;
    };

    std::vector<double> gated;
    std::vector<double> idle;
    std::vector<double> open;
    std::vector<double> held;
    std::vector<double> roundTrips;
    Gate gate = Up;
    for (auto _ : state) {
        watcher.tap->passages.clear();
        watcher.tap->recording = true;
        const std::optional<double> took = navigate();
        watcher.tap->recording = false;
        if (!took) {
            state.SkipWithError(qPrintable(QStringLiteral("navigation %1 did not load").arg(n)));
            break;
        }
        state.SetIterationTime(*took / 1000.0);
        (gate == Up ? gated : gate == Idle ? idle : open).push_back(*took);
        if (const double wait = gate == Up ? heldFor() : kNone; !std::isnan(wait))
            held.push_back(wait);
        // One bare command's round trip to the browser now, which the gate adds to a navigation besides.
        const double askedAt = wallMs();
        if (command(connection, QStringLiteral("Browser.getVersion")))
            roundTrips.push_back(wallMs() - askedAt);
        gate = Gate((gate + 1) % GateCount);
        if (!setGate(gate)) {
            state.SkipWithError("the gate did not answer");
            break;
        }
    }
    (void)setGate(Up);
    state.counters["gated_median_ms"] = median(gated);
    state.counters["idle_gate_median_ms"] = median(idle);
    state.counters["idle_gate_cost_median_ms"] = median(idle) - median(open);
    state.counters["gated_p90_ms"] = percentile(gated, 0.9);
    state.counters["open_median_ms"] = median(open);
    state.counters["open_p90_ms"] = percentile(open, 0.9);
    state.counters["cost_median_ms"] = median(gated) - median(open);
    state.counters["held_median_ms"] = median(held);
    state.counters["held_p90_ms"] = percentile(held, 0.9);
    state.counters["round_trip_median_ms"] = median(roundTrips);
    state.counters["blocked"] = watcher.state.gBlockedCount;
}
BENCHMARK(BM_NavigationGate)->Iterations(300)->UseManualTime()->Unit(benchmark::kMillisecond);

// One tracker rebuild, as a window event starts it, with 200 pages open in the browser: the event and the
// tracker taking it in (reading the sinks runs the rebuild that is due) are what is timed.
void BM_TrackerRebuild200(benchmark::State& state)
{
    constexpr int kPages = 200;
    Site site;
    site.addPage("tiny.html", "<!doctype html><title>tiny</title>");
    QTemporaryDir profiles;
    Watcher watcher;
    if (!site.listening || !watcher.start(profiles.filePath("rebuild"))) {
        state.SkipWithError("no browser");
        return;
    }
    CdpBrowser& browser = *watcher.browser;
    const auto before = browser.windows().size();
    for (int opened = 0; opened < kPages;) {
        // In batches, so that the browser is never asked for too many renderers at once.
        const int batch = std::min(25, kPages - opened);
        for (int i = 0; i < batch; ++i)
            browser.openPage(site.url(QStringLiteral("/tiny.html?n=%1").arg(opened + i)));
        opened += batch;
        if (!waitFor([&] { return browser.windows().size() >= before + qsizetype(opened); }, 60000)) {
            state.SkipWithError("pages did not open");
            return;
        }
    }
    (void)waitFor([&] { return site.count("/tiny.html") >= kPages; }, 60000);
    pause(1000); // the pages' own events after loading, out of the way

    std::vector<double> times;
    times.reserve(std::size_t(state.max_iterations));
    long cookie = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        emit browser.WindowRegistered(++cookie);
        benchmark::DoNotOptimize(watcher.tracker.Count());
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count());
        times.push_back(took.count() * 1e6);
        // What the browser sent meanwhile, outside the measurement.
        QCoreApplication::processEvents();
    }
    state.counters["windows"] = double(browser.windows().size());
    state.counters["sinks"] = watcher.tracker.Count();
    state.counters["median_us"] = median(times);
    state.counters["p99_us"] = percentile(times, 0.99);
}
BENCHMARK(BM_TrackerRebuild200)->Iterations(2000)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return bench::runBenchmarks(argc, argv);
}
