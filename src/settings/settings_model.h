#pragma once

#include <QObject>
#include <QStringList>
#include <QVariant>

#include <array>

#include "settings/page_strings.h"
#include "settings/settings_keys.h"

namespace quendrel {

// A setting's value before any settings file exists.
QVariant FirstRunValue(const SettingKey& key);

// The settings while the program runs, one value per row of kSettingKeys:
// bool for check boxes and option pairs, int for numbers, QString for
// texts. Setting a value keeps the rules the controls have always had (the
// interval stays in range; the start-up delay only goes with the start-up
// update) and says which values changed.
class SettingsModel : public QObject {
    Q_OBJECT

public:
    // Starts with the first-run values.
    explicit SettingsModel(QObject* parent = nullptr);

    QVariant Value(Setting setting) const { return values_[Index(setting)]; }
    bool IsOn(Setting setting) const { return Value(setting).toBool(); }
    int Number(Setting setting) const { return Value(setting).toInt(); }
    QString Text(Setting setting) const { return Value(setting).toString(); }

    // Converts the value to the setting's type; raises Changed for every
    // value that the change and its rules altered.
    void Set(Setting setting, const QVariant& value);

    // The IP web pages of the list file, as they were read at start.
    const QStringList& IPWebPages() const { return ipWebPages_; }
    void SetIPWebPages(const QStringList& pages) { ipWebPages_ = pages; }

    // The start and end strings remembered for the pages, and whether they
    // may be stored (not when the file of them there could not be read).
    const PageStringsMap& RememberedStrings() const { return pageStrings_; }
    bool MayStoreRememberedStrings() const { return mayStoreStrings_; }
    void SetRememberedStrings(const PageStringsMap& strings, bool mayStore = true)
    {
        pageStrings_ = strings;
        mayStoreStrings_ = mayStore;
    }
    // Remembers the strings shown now for the page shown now.
    void RememberShownStrings();
    // The user picked a page from the list, leaving another (empty: one not
    // worth remembering): the strings shown are remembered for the page
    // left, and those that go with the page picked (remembered or
    // well-known) fill in; a page without any leaves them as they are.
    void PickPage(const QString& left, const QString& picked);

signals:
    void Changed(quendrel::Setting setting);

private:
    static std::size_t Index(Setting setting) { return static_cast<std::size_t>(setting); }
    void Store(Setting setting, const QVariant& value);

    std::array<QVariant, kSettingCount> values_;
    QStringList ipWebPages_;
    PageStringsMap pageStrings_;
    bool mayStoreStrings_ = true;
};

}  // namespace quendrel
