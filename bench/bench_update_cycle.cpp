// Times whole update cycles (IP web page, page file, FTP upload) against the
// local test servers on 127.0.0.1 and prints the figures.
//
//   build/bench/bench_update_cycle [cycles]

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "cycle_inputs.h"
#include "support/test_servers.h"
#include "update/curl_handle.h"
#include "update/update_cycle.h"

using namespace quendrel;

namespace {

void Report(const char* what, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%-8s cycles %zu  min %.1f ms  median %.1f ms  max %.1f ms\n", what, ms.size(), ms.front(),
                ms[ms.size() / 2], ms.back());
}

}  // namespace

int main(int argc, char** argv)
{
    const CurlGlobal curlGlobal;  // before any thread, as in the program
    QCoreApplication app(argc, argv);
    const int cycles = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    test::TestServers servers;
    QTemporaryDir directory;
    if (!servers.Start() || !directory.isValid())
        return 1;
    for (const bool active : {false, true}) {
        std::vector<double> times;
        for (int i = 0; i < cycles; ++i) {
            QElapsedTimer clock;
            clock.start();
            const UpdateOutcome outcome = RunUpdateSteps(bench::CycleInputs(servers, directory.path(), active),
                                                         [](const QString&) {}, {});
            times.push_back(clock.nsecsElapsed() / 1e6);
            if (outcome.failure) {
                std::printf("cycle failed: %s\n", qPrintable(outcome.failure->message));
                return 1;
            }
        }
        Report(active ? "active" : "passive", times);
    }
    return 0;
}
