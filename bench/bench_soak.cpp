// Runs whole update cycles (IP web page, page file, passive FTP upload) one
// after the other in one process against the local test servers, and prints
// the resident memory and the open descriptors at the start, every 1,000
// cycles and at the end, then the median and 99th percentile of the cycle
// time. A leak shows as memory or descriptors that keep growing.
//
//   build/bench/bench_soak [cycles]     (10000 by default)

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "common/file_io.h"
#include "cycle_inputs.h"
#include "support/test_servers.h"
#include "update/curl_handle.h"
#include "update/update_cycle.h"

using namespace quendrel;

namespace {

constexpr int kReportEvery = 1000;

struct Footprint {
    long rssKb = -1;
    qsizetype descriptors = -1;
};

Footprint Measure()
{
    Footprint now;
    const QByteArray status = ReadWholeFile(QStringLiteral("/proc/self/status")).value_or(QByteArray());
    const qsizetype at = status.indexOf("\nVmRSS:");
    if (at >= 0)
        now.rssKb = std::atol(status.constData() + at + 7);
    now.descriptors = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::System | QDir::NoDotAndDotDot).size();
    return now;
}

void PrintRow(const char* when, int cycles, const Footprint& now, const Footprint& start)
{
    std::printf("%-6s cycles %6d  RSS %7ld kB (%+6ld kB)  open descriptors %3lld (%+lld)\n", when, cycles, now.rssKb,
                now.rssKb - start.rssKb, static_cast<long long>(now.descriptors),
                static_cast<long long>(now.descriptors - start.descriptors));
    std::fflush(stdout);
}

// The value below which that share of the times lies (nearest rank).
double Percentile(const std::vector<double>& sorted, double share)
{
    const auto rank = static_cast<std::size_t>(std::ceil(share * static_cast<double>(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

}  // namespace

int main(int argc, char** argv)
{
    const CurlGlobal curlGlobal;  // before any thread, as in the program
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("quendrel.*=false"));  // three lines a cycle otherwise
    const int cycles = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    test::TestServers servers;
    QTemporaryDir directory;
    if (!servers.Start() || !directory.isValid())
        return 1;
    const UpdateInputs inputs = bench::CycleInputs(servers, directory.path(), false);
    // Filled now: pages first touched by the loop would count as growth.
    std::vector<double> times(static_cast<std::size_t>(cycles));
    const Footprint start = Measure();
    Footprint first;
    PrintRow("start", 0, start, start);
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        QElapsedTimer clock;
        clock.start();
        const UpdateOutcome outcome = RunUpdateSteps(inputs, [](const QString&) {}, {});
        times[static_cast<std::size_t>(cycle - 1)] = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        if (outcome.failure) {
            std::printf("cycle %d failed: %s\n", cycle, qPrintable(outcome.failure->message));
            return 1;
        }
        if (cycle == 1)
            first = Measure();
        if (cycle % kReportEvery == 0 && cycle != cycles)
            PrintRow("", cycle, Measure(), start);
    }
    const Footprint end = Measure();
    PrintRow("end", cycles, end, start);
    std::printf("after the first cycle's one-time setup: RSS %+ld kB, open descriptors %+lld\n",
                end.rssKb - first.rssKb, static_cast<long long>(end.descriptors - first.descriptors));
    std::sort(times.begin(), times.end());
    std::printf("cycle time: median %.2f ms  99th percentile %.2f ms  max %.2f ms\n", Percentile(times, 0.5),
                Percentile(times, 0.99), times.back());
    return 0;
}
