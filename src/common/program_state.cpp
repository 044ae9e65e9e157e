#include "common/program_state.h"

namespace quendrel {

ProgramState::ProgramState(QObject* parent) : QObject(parent) {}

void ProgramState::SetCurrentIP(const QString& address)
{
    if (address == currentIP_)
        return;
    currentIP_ = address;
    emit CurrentIPChanged(address);
}

void ProgramState::SetStatusText(const QString& text)
{
    statusText_ = text;
    emit StatusTextSet(text);
}

void ProgramState::SetStatusDetail(const QString& detail)
{
    if (detail == statusDetail_)
        return;
    statusDetail_ = detail;
    emit StatusDetailChanged(detail);
}

void ProgramState::SetOfferedServerKey(const QString& key)
{
    if (key == offeredServerKey_)
        return;
    offeredServerKey_ = key;
    emit OfferedServerKeyChanged(key);
}

void ProgramState::ShowState(StateImage image, const QString& tip)
{
    image_ = image;
    trayTip_ = tip;
    emit StateShown();
}

void ProgramState::SetUpdating(bool updating)
{
    if (updating == updating_)
        return;
    updating_ = updating;
    emit UpdatingChanged(updating);
}

void ProgramState::SetTesting(bool testing)
{
    if (testing == testing_)
        return;
    testing_ = testing;
    emit TestingChanged(testing);
}

}  // namespace quendrel
