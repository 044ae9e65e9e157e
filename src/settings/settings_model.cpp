#include "settings/settings_model.h"

#include <algorithm>

#include "common/number_text.h"

namespace quendrel {

namespace {

QVariant Converted(SettingKind kind, const QVariant& value)
{
    switch (kind) {
    case SettingKind::Check:
    case SettingKind::Flag:
        return value.toBool();
    case SettingKind::Number:
        return value.toInt();
    case SettingKind::Text:
    case SettingKind::Password:
        break;
    }
    return value.toString();
}

}  // namespace

QVariant FirstRunValue(const SettingKey& key)
{
    const QString text = QString::fromLatin1(key.firstRun);
    switch (key.kind) {
    case SettingKind::Check: return text == QLatin1String("1");
    case SettingKind::Flag: return text == QLatin1String("-1");
    case SettingKind::Number: return text.toInt();
    case SettingKind::Text:
    case SettingKind::Password: break;
    }
    return text;
}

SettingsModel::SettingsModel(QObject* parent) : QObject(parent)
{
    for (const SettingKey& key : kSettingKeys)
        values_[Index(key.setting)] = FirstRunValue(key);
}

void SettingsModel::Set(Setting setting, const QVariant& value)
{
    QVariant converted = Converted(KeyOf(setting).kind, value);
    // The slider's range.
    if (setting == Setting::Interval)
        converted = std::clamp(converted.toInt(), kMinInterval, kMaxInterval);
    // The delay box can only be checked while the start-up update is.
    if (setting == Setting::DelayCheckOnStart && !IsOn(Setting::CheckOnStart))
        converted = false;
    Store(setting, converted);
    if (setting == Setting::CheckOnStart && !converted.toBool())
        Store(Setting::DelayCheckOnStart, false);
}

void SettingsModel::RememberShownStrings()
{
    const QString page = TrimSpaces(Text(Setting::IPWebPage));
    if (!page.isEmpty())
        pageStrings_.insert(page, {Text(Setting::StartString), Text(Setting::EndString)});
}

void SettingsModel::PickPage(const QString& left, const QString& picked)
{
    const QString leftPage = TrimSpaces(left);
    if (!leftPage.isEmpty())
        pageStrings_.insert(leftPage, {Text(Setting::StartString), Text(Setting::EndString)});
    if (const std::optional<PageStrings> strings = StringsForPage(pageStrings_, picked)) {
        Set(Setting::StartString, strings->start);
        Set(Setting::EndString, strings->end);
    }
}

void SettingsModel::Store(Setting setting, const QVariant& value)
{
    QVariant& held = values_[Index(setting)];
    if (held == value)
        return;
    held = value;
    emit Changed(setting);
}

}  // namespace quendrel
