#include "update/update_cycle.h"

#include <QMetaObject>

#include "update/ftp_upload.h"
#include "update/local_ip.h"
#include "update/page_file.h"
#include "update/web_page_ip.h"

namespace quendrel {

UpdateOutcome RunUpdateSteps(const UpdateInputs& in, const StatusReporter& status, std::stop_token stop)
{
    QString address;
    if (in.directlyConnected) {
        address = GetLocalIP(stop);
    } else {
        TextResult found = GetWebPageIP(in.ipWebPage, in.startString, in.endString, status, stop);
        if (found.failure)
            return {QString(), found.failure};
        address = found.text;
    }
    if (stop.stop_requested())
        return {QString(), UpdateFailure::Cancelled()};

    status(update_text::kCreatingPage);
    const QString pagePath = in.programDirectory + kPageFileName;
    const PageContent page{in.defaultPage, in.templatePath, address, in.dateText, in.timeText};
    if (auto failure = CreatePageFile(page, pagePath))
        return {QString(), failure};

    const FtpTarget target{in.server,     in.port,   in.username, in.password,
                           in.remotePath, in.active, pagePath,    in.destFilename};
    if (auto failure = UploadPageFile(target, status, stop))
        return {QString(), failure};
    return {address, std::nullopt};
}

UpdateCycle::UpdateCycle(QObject* parent)
    : QObject(parent)
{
}

UpdateCycle::~UpdateCycle()
{
    Cancel();
}

bool UpdateCycle::Start(const UpdateInputs& inputs)
{
    if (running_)
        return false;
    if (worker_.joinable())
        worker_.join();
    running_ = true;
    const quint64 generation = ++generation_;
    worker_ = std::jthread([this, inputs, generation](std::stop_token stop) {
        const auto status = [this, generation](const QString& text) {
            Deliver([this, generation, text] {
                if (generation == generation_)
                    emit StatusChanged(text);
            });
        };
        const UpdateOutcome outcome = RunUpdateSteps(inputs, status, stop);
        Deliver([this, generation, outcome] {
            if (generation != generation_)
                return;
            running_ = false;
            emit Finished(outcome.address, outcome.failure);
        });
    });
    return true;
}

void UpdateCycle::Cancel()
{
    ++generation_;
    running_ = false;
    if (worker_.joinable()) {
        worker_.request_stop();
        worker_.join();
    }
}

void UpdateCycle::Deliver(std::function<void()> event)
{
    // Queued to this object's thread; dropped there if the object is gone.
    QMetaObject::invokeMethod(this, std::move(event), Qt::QueuedConnection);
}

}  // namespace quendrel
