#include "app/update_driver.h"

#include "common/number_text.h"
#include "common/program_paths.h"
#include "settings/settings_model.h"
#include "update/address_reach.h"
#include "update/update_log.h"
#include "version.h"

namespace quendrel {

namespace {

// The list's other pages, each once, in the list's order, with the strings
// remembered for it (a well-known page's own) or else the window's.
QList<IPWebPageChoice> OtherPages(const SettingsModel& settings, const UpdateInputs& in)
{
    QList<IPWebPageChoice> pages;
    QStringList asked{in.ipWebPage};
    for (const QString& entry : settings.IPWebPages()) {
        const QString url = TrimSpaces(entry);
        if (url.isEmpty() || asked.contains(url))
            continue;
        asked.append(url);
        const PageStrings strings = StringsForPage(settings.RememberedStrings(), url)
                                        .value_or(PageStrings{in.startString, in.endString});
        pages.append({url, TrimSpaces(strings.start), TrimSpaces(strings.end)});
    }
    return pages;
}

}  // namespace

QString FramedStatus(const QString& text)
{
    return QLatin1String(kAppTitle) + QStringLiteral(" (") + text + QStringLiteral(")");
}

TakenInputs TakeUpdateInputs(SettingsModel& settings, const QDateTime& now, const QString& programDirectory,
                             bool readOnly)
{
    const auto trimmed = [&settings](Setting setting) { return TrimSpaces(settings.Text(setting)); };
    TakenInputs taken;
    UpdateInputs& in = taken.inputs;
    // The time first: the page and the report show when the cycle began.
    in.dateText = CycleDateText(now);
    in.timeText = CycleTimeText(now);

    in.protocol = ProtocolFromText(settings.Text(Setting::Protocol));
    const PortVerdict port = TakePort(settings.Text(Setting::Port), in.protocol);
    if (port.resetText && !readOnly)
        settings.Set(Setting::Port, QString::number(port.port));
    in.port = port.port;
    taken.failure = port.failure;

    in.directlyConnected = settings.IsOn(Setting::ConnectType);
    in.ipWebPage = trimmed(Setting::IPWebPage);
    in.startString = trimmed(Setting::StartString);
    in.endString = trimmed(Setting::EndString);
    if (settings.IsOn(Setting::TryOtherPages))
        in.otherPages = OtherPages(settings, in);
    in.includeIPv6 = settings.IsOn(Setting::IncludeIPv6);
    in.defaultPage = settings.IsOn(Setting::WebpageType);
    in.templatePath = trimmed(Setting::SourceFilepath);
    in.destFilename = trimmed(Setting::DestFilename);
    in.server = trimmed(Setting::Server);
    in.remotePath = trimmed(Setting::RemotePath);
    in.username = trimmed(Setting::Username);
    in.password = trimmed(Setting::Password);
    in.active = settings.IsOn(Setting::PasActFlag);
    in.serverKey = trimmed(Setting::ServerKey);
    in.programDirectory = AddBackslash(programDirectory);
    return taken;
}

UpdateDriver::UpdateDriver(SettingsModel& settings, ProgramState& state, QString programDirectory, QObject* parent)
    : QObject(parent), settings_(settings), state_(state), programDirectory_(std::move(programDirectory))
{
    connect(&cycle_, &UpdateCycle::StatusChanged, &state_, &ProgramState::SetStatusText);
    connect(&cycle_, &UpdateCycle::Finished, this, &UpdateDriver::OnFinished);
}

void UpdateDriver::DoUpdate()
{
    if (cycle_.IsRunning())
        return;
    state_.SetStatusDetail(QString());
    const TakenInputs taken = TakeUpdateInputs(settings_, QDateTime::currentDateTime(), programDirectory_);
    std::optional<UpdateFailure> failure = taken.failure;
    if (!failure)
        failure = ValidateUpdateInputs(taken.inputs);
    if (failure) {
        qCWarning(lcUpdate, "Update not started: %s (%s)", qUtf8Printable(failure->message),
                  qUtf8Printable(failure->detail));
        ReportFailure(*failure);
        emit UpdateEnded();
        return;
    }
    qCInfo(lcUpdate, "Update started");
    dateText_ = taken.inputs.dateText;
    timeText_ = taken.inputs.timeText;
    state_.SetUpdating(true);
    state_.ShowState(StateImage::Busy, QLatin1String(kAppTitle) + QStringLiteral(" - Updating.."));
    cycle_.Start(taken.inputs);
}

void UpdateDriver::Cancel()
{
    cycle_.Cancel();
    state_.SetUpdating(false);
}

void UpdateDriver::OnFinished(const UpdateOutcome& outcome)
{
    const QString& address = outcome.address;
    if (outcome.failure) {
        ReportFailure(*outcome.failure);
    } else {
        Report(StateImage::Ready, FramedStatus(address + QStringLiteral(" - ") + dateText_ + QStringLiteral(" ") + timeText_));
        state_.SetCurrentIP(address);
        state_.SetOfferedServerKey(QString());
        const QString unreachable = UnreachableReason(address);
        if (!unreachable.isEmpty())
            qCWarning(lcUpdate, "%s: visitors from the Internet cannot reach it (published all the same)",
                      qUtf8Printable(unreachable));
        Raise(notices_.AfterSuccess(address));
    }
    state_.SetUpdating(false);
    emit UpdateEnded();
}

void UpdateDriver::ReportFailure(const UpdateFailure& failure)
{
    Report(StateImage::Failed, FramedStatus(failure.message));
    state_.SetStatusDetail(failure.detail);
    state_.SetOfferedServerKey(failure.offeredKey);
    state_.SetCurrentIP(QString());
    Raise(notices_.AfterFailure(failure.message));
}

void UpdateDriver::Raise(const std::optional<Notice>& notice)
{
    if (notice && settings_.IsOn(Setting::Notify))
        emit NoticeRaised(*notice);
}

void UpdateDriver::Report(StateImage image, const QString& text)
{
    state_.ShowState(image, text);
    state_.SetStatusText(text);
}

}  // namespace quendrel
