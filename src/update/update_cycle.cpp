#include "update/update_cycle.h"

#include <QMetaObject>
#include <QUrl>

#include "update/ftp_upload.h"
#include "update/ip_address_text.h"
#include "update/local_ip.h"
#include "update/page_file.h"
#include "update/update_log.h"
#include "update/web_page_ip.h"

namespace quendrel {

namespace {

// Writes each step's outcome to the log, one line each, with the
// passwords of the cycle (the FTP one, one in the IP web page's URL, as
// typed and decoded) masked wherever they would stand.
class StepLog {
public:
    explicit StepLog(const UpdateInputs& in)
        : secrets_{in.password, QUrl(in.ipWebPage).password(), update_text::PasswordInUrl(in.ipWebPage)}
    {
    }

    // The step's outcome: done when it succeeded, else the failure and why.
    void Outcome(const char* step, const std::optional<UpdateFailure>& failure, const QString& done) const
    {
        if (!failure)
            qCInfo(lcUpdate, "%s: %s", step, qUtf8Printable(Masked(done)));
        else if (failure->cancelled)
            qCInfo(lcUpdate, "%s: called off", step);
        else if (failure->detail.isEmpty())
            qCWarning(lcUpdate, "%s failed: %s", step, qUtf8Printable(Masked(failure->message)));
        else
            qCWarning(lcUpdate, "%s failed: %s (%s)", step, qUtf8Printable(Masked(failure->message)),
                      qUtf8Printable(Masked(failure->detail)));
    }

    // A page that gave no address while others are still to be asked.
    void PageFailed(const QString& page, const UpdateFailure& failure) const
    {
        qCWarning(lcUpdate, "IP address from %s failed: %s (%s); asking the next page", qUtf8Printable(Masked(page)),
                  qUtf8Printable(Masked(failure.message)), qUtf8Printable(Masked(failure.detail)));
    }

private:
    QString Masked(QString text) const
    {
        for (const QString& secret : secrets_) {
            if (!secret.isEmpty())
                text.replace(secret, QStringLiteral("***"));
        }
        return text;
    }

    QString secrets_[3];
};

TextResult FindAddress(const UpdateInputs& in, const StatusReporter& status, const std::stop_token& stop,
                       const StepLog& log)
{
    if (in.directlyConnected)
        return {GetLocalIP(stop, in.includeIPv6), std::nullopt,
                in.includeIPv6 ? QStringLiteral("from this host's name and interfaces")
                               : QStringLiteral("from this host's name")};
    QList<IPWebPageChoice> pages{{in.ipWebPage, in.startString, in.endString}};
    pages += in.otherPages;
    const auto nextPage = [&log](const IPWebPageChoice& page, const UpdateFailure& failure) {
        log.PageFailed(update_text::ShownUrl(page.url), failure);
    };
    return GetAddressFromPages(pages, status, stop, nextPage);
}

FtpTarget TargetOf(const UpdateInputs& in, const QString& pagePath = {})
{
    return {in.server,   in.port,       in.username,    in.password, in.remotePath,
            in.active,   pagePath,      in.destFilename, in.protocol, in.serverKey};
}

QString DirectoryUrlOf(const UpdateInputs& in)
{
    return QString::fromStdString(FtpDirectoryUrl(in.server, in.port, in.remotePath, in.protocol).value_or(""));
}

bool IsSftp(const UpdateInputs& in)
{
    return in.protocol == TransferProtocol::Sftp;
}

// Where the address came from: "from <page>" (the page's own detail cut
// off) or the host's.
QString AddressSource(const QString& detail)
{
    const qsizetype pageDetail = detail.lastIndexOf(QStringLiteral(", HTTP status "));
    return pageDetail < 0 ? detail : detail.left(pageDetail);
}

}  // namespace

UpdateOutcome RunFtpTest(const UpdateInputs& in, const StatusReporter& status, std::stop_token stop)
{
    const StepLog log(in);
    std::optional<UpdateFailure> failure = ValidateFtpInputs(in);
    if (!failure)
        failure = CheckFtpLogin(TargetOf(in), status, stop);
    const QString directory = DirectoryUrlOf(in);
    log.Outcome(IsSftp(in) ? "SFTP test" : "FTP test", failure, QStringLiteral("logged in and entered ") + directory);
    if (failure)
        return {QString(), failure};
    return {QStringLiteral("logged in to ") + in.server, std::nullopt, QStringLiteral("entered ") + directory};
}

UpdateOutcome RunPageTest(const UpdateInputs& in, const StatusReporter& status, std::stop_token stop)
{
    const StepLog log(in);
    TextResult address{QString(), ValidateAddressInputs(in)};
    if (!address.failure)
        address = FindAddress(in, status, stop, log);
    if (!address.failure && stop.stop_requested())
        address.failure = UpdateFailure::Cancelled();
    if (address.failure && !address.unmatchedPage.isNull())
        address.failure->detail +=
            QStringLiteral("; the page begins: \"%1\"").arg(ShownFoundText(address.unmatchedPage));
    log.Outcome("IP address test", address.failure, address.text + u' ' + address.detail);
    if (address.failure)
        return {QString(), address.failure};
    return {address.text + u' ' + AddressSource(address.detail), std::nullopt, address.detail};
}

UpdateOutcome RunUpdateSteps(const UpdateInputs& in, const StatusReporter& status, std::stop_token stop)
{
    const StepLog log(in);
    TextResult address = FindAddress(in, status, stop, log);
    if (!address.failure && stop.stop_requested())
        address.failure = UpdateFailure::Cancelled();
    log.Outcome("IP address", address.failure, address.text + u' ' + address.detail);
    if (address.failure)
        return {QString(), address.failure};

    status(update_text::kCreatingPage);
    const QString pagePath = in.programDirectory + kPageFileName;
    const PageContent page{in.defaultPage, in.templatePath, address.text, in.dateText, in.timeText};
    const std::optional<UpdateFailure> written = CreatePageFile(page, pagePath);
    log.Outcome("HTML page", written, QStringLiteral("written to ") + pagePath);
    if (written)
        return {QString(), written};

    const std::optional<UpdateFailure> uploaded = UploadPageFile(TargetOf(in, pagePath), status, stop);
    log.Outcome(IsSftp(in) ? "SFTP upload" : "FTP upload", uploaded,
                QStringLiteral("stored as \"%1\" in %2").arg(in.destFilename, DirectoryUrlOf(in)));
    if (uploaded)
        return {QString(), uploaded};
    return {address.text, std::nullopt};
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
    return Start([inputs](const StatusReporter& status, std::stop_token stop) {
        return RunUpdateSteps(inputs, status, std::move(stop));
    });
}

bool UpdateCycle::Start(CycleSteps steps)
{
    if (running_)
        return false;
    if (worker_.joinable())
        worker_.join();
    running_ = true;
    const quint64 generation = ++generation_;
    worker_ = std::jthread([this, steps = std::move(steps), generation](std::stop_token stop) {
        const auto status = [this, generation](const QString& text) {
            Deliver([this, generation, text] {
                if (generation == generation_)
                    emit StatusChanged(text);
            });
        };
        const UpdateOutcome outcome = steps(status, stop);
        Deliver([this, generation, outcome] {
            if (generation != generation_)
                return;
            running_ = false;
            emit Finished(outcome);
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
