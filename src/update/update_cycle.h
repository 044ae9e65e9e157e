#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <stop_token>
#include <thread>

#include "update/status_reporter.h"
#include "update/update_failure.h"
#include "update/update_inputs.h"

namespace quendrel {

// How the network and file steps of a cycle ended: the address, or why not.
struct UpdateOutcome {
    QString address;
    std::optional<UpdateFailure> failure;
    // How a success came about, for the status bar's tool tip.
    QString detail = {};
};

// Steps that run off the main thread, reporting their stages to status.
using CycleSteps = std::function<UpdateOutcome(const StatusReporter& status, std::stop_token stop)>;

// The address, the page and the upload, in that order, stopping at the
// first failure. Each step's outcome goes to the log (quendrel.update) as
// one line, a failure's with its detail. Blocks; runs on any thread.
UpdateOutcome RunUpdateSteps(const UpdateInputs& inputs, const StatusReporter& status, std::stop_token stop);

// Logs in to the FTP server and enters the remote directory, storing
// nothing. The address of a success is what the status bar shows after
// "Test: " ("logged in to ftp.example.com").
UpdateOutcome RunFtpTest(const UpdateInputs& inputs, const StatusReporter& status, std::stop_token stop);

// Finds the address as an update would, and goes no further. A success's
// address is "<address> from <where>"; when a page lacks the start or end
// string, the failure's detail ends with the page's beginning.
UpdateOutcome RunPageTest(const UpdateInputs& inputs, const StatusReporter& status, std::stop_token stop);

// Runs the steps of one cycle at a time on a thread of its own, so the
// window stays responsive. Its signals come in the thread that owns it, in
// the order the steps reached them.
class UpdateCycle : public QObject {
    Q_OBJECT

public:
    explicit UpdateCycle(QObject* parent = nullptr);
    // Cancels a running cycle and waits for it.
    ~UpdateCycle() override;

    bool IsRunning() const { return running_; }

    // Starts the steps with these inputs; false (and nothing started) while
    // a cycle runs.
    bool Start(const UpdateInputs& inputs);
    // The same for other steps (a test of the settings).
    bool Start(CycleSteps steps);

    // Calls off a running cycle and waits for its thread, which takes at most
    // about a second. No signal of that cycle comes afterwards.
    void Cancel();

signals:
    void StatusChanged(const QString& text);
    void Finished(const quendrel::UpdateOutcome& outcome);

private:
    void Deliver(std::function<void()> event);

    std::jthread worker_;
    bool running_ = false;
    // Counts started cycles; events of an earlier (cancelled) one are dropped.
    quint64 generation_ = 0;
};

}  // namespace quendrel
