// The cost of one popup decision against full lists, and of loading a full list file.
#include "DecisionState.h"
#include "IniSettingsStore.h"
#include "ListFile.h"
#include "Module1.h"
#include "SiteListStore.h"
#include "SiteName.h"
#include "StatusSink.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

QStringList fullList(const QString& prefix)
{
    QStringList entries;
    entries.reserve(SiteListStore::MaxEntries);
    for (int i = 0; i < SiteListStore::MaxEntries; ++i)
        entries << QStringLiteral("www.%1%2.example.com").arg(prefix).arg(i);
    return entries;
}

// A page of a site on neither list: both lists are searched to the end.
const QString kPage = QStringLiteral("https://news.daily-paper.example.org/world/today.html?ref=front#top");

void BM_Decision(benchmark::State& state)
{
    DecisionState app;
    app.gAllowedSites.setEntries(fullList(QStringLiteral("allowed")));
    app.gDisallowedSites.setEntries(fullList(QStringLiteral("blocked")));
    for (auto _ : state) {
        const QString host = SiteHost(SiteName(kPage));
        const bool allowed = app.gAllowedSites.coversHost(host);
        const bool disallowed = app.gDisallowedSites.coversHost(host);
        benchmark::DoNotOptimize(allowed);
        benchmark::DoNotOptimize(disallowed);
    }
}
BENCHMARK(BM_Decision);

// The first decision after a full list is loaded, about a site above all of its entries: "co.uk" for a list of
// shops under it (a public suffix, which no entry below reaches up to), "example.com" for the same shops under a
// registered domain (which they do), "kawasaki.jp" for shops under a wildcard rule (a name that is no public
// suffix, whose every child is one). The list is loaded again before each, so the first answer is timed, not a
// kept one.
void BM_FirstDecision(benchmark::State& state, const QString& parent)
{
    QStringList entries;
    entries.reserve(SiteListStore::MaxEntries);
    for (int i = 0; i < SiteListStore::MaxEntries; ++i)
        entries << QStringLiteral("www.shop%1.").arg(i) + parent;
    const QString text = SiteList::textOf(entries);
    for (auto _ : state) {
        state.PauseTiming();
        SiteList list;
        list.setText(text);
        state.ResumeTiming();
        benchmark::DoNotOptimize(list.covers(parent));
    }
}
BENCHMARK_CAPTURE(BM_FirstDecision, public_suffix, QStringLiteral("co.uk"))
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(20);
BENCHMARK_CAPTURE(BM_FirstDecision, registered_domain, QStringLiteral("example.com"))
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(20);
BENCHMARK_CAPTURE(BM_FirstDecision, wildcard_rule, QStringLiteral("kawasaki.jp"))
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(20);

// The old way for comparison: the site cut at the first "/" only and looked for anywhere in the texts.
void BM_DecisionSubstringScan(benchmark::State& state)
{
    const QString allowedText = SiteList::textOf(fullList(QStringLiteral("allowed")));
    const QString disallowedText = SiteList::textOf(fullList(QStringLiteral("blocked")));
    for (auto _ : state) {
        QString site = kPage;
        site.remove(QStringLiteral("http://"), Qt::CaseInsensitive);
        site.remove(QStringLiteral("https://"), Qt::CaseInsensitive);
        if (const qsizetype slash = site.indexOf(u'/'); slash >= 0)
            site.truncate(slash);
        const bool allowed = allowedText.contains(site, Qt::CaseInsensitive);
        const bool disallowed = disallowedText.contains(site, Qt::CaseInsensitive);
        benchmark::DoNotOptimize(allowed);
        benchmark::DoNotOptimize(disallowed);
    }
}
BENCHMARK(BM_DecisionSubstringScan);

struct QuietStatus : StatusSink {
    void ShowStatus(const QString&) override {}
};

void BM_LoadList(benchmark::State& state)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("allowed.txt")));
    if (!file.open(QIODevice::WriteOnly)) {
        state.SkipWithError("cannot write the list file");
        return;
    }
    file.write(ListFile::serialize(fullList(QStringLiteral("allowed"))));
    file.close();
    QuietStatus status;
    for (auto _ : state) {
        DecisionState app;
        Module1 lists(app, dir.path(), status);
        if (!lists.LoadAllowedSites()) {
            state.SkipWithError("load failed");
            return;
        }
        benchmark::DoNotOptimize(lists.List1().rowCount());
    }
}
BENCHMARK(BM_LoadList)->Unit(benchmark::kMillisecond);

// One count save, as every block makes it: the settings read again under their lock, changed, written whole.
void BM_SaveCount(benchmark::State& state)
{
    QTemporaryDir dir;
    IniSettingsStore settings = IniSettingsStore::atPath(dir.filePath(QStringLiteral("Tarnwick.ini")));
    settings.SaveSetting(SettingKeys::strAllowed, SiteList::textOf(fullList(QStringLiteral("allowed")).mid(0, 100)));
    qint64 count = 0;
    for (auto _ : state) {
        if (!settings.SaveSetting(SettingKeys::intStopped, QString::number(++count))) {
            state.SkipWithError("save failed");
            return;
        }
    }
}
BENCHMARK(BM_SaveCount)->Unit(benchmark::kMillisecond);

// A list whose entries are as long as a host name can be, in one-letter labels: every entry indexes over a
// hundred parent domains.
void BM_IndexLongEntries(benchmark::State& state)
{
    QStringList entries;
    for (int i = 0; i < 5000; ++i) {
        const QString top = QStringLiteral(".t%1").arg(i);
        QString host;
        while (host.size() + top.size() + 2 <= SiteList::MaxEntryLength)
            host += QStringLiteral("a.");
        host.chop(1);
        entries.append(host + top);
    }
    for (auto _ : state) {
        SiteList list;
        list.setEntries(entries);
        benchmark::DoNotOptimize(list.covers(entries.constFirst()));
    }
}
BENCHMARK(BM_IndexLongEntries)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
