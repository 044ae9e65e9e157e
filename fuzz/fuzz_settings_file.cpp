// The settings file: what is read from any file is read again after a save,
// a second save of the same settings changes no byte, and settings set in
// the model are read back as they were set (line breaks as blanks, an empty
// text that stands for its first-run value as that value, and so a blank
// one for an option added later).
//
// Input: file bytes | one piece per setting, in the table's order

#include <QFile>

#include "fuzz_support.h"
#include "settings/settings_file.h"
#include "settings/settings_model.h"

using namespace quendrel;
using namespace quendrel::fuzz;

namespace {

const QString& SettingsPath()
{
    static const QString path = ScratchDirectory() + QStringLiteral("/Quendrel.ini");
    return path;
}

QByteArray FileBytes()
{
    QFile file(SettingsPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void PutFile(const QByteArray& bytes)
{
    QFile file(SettingsPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        Broken("the scratch file can be written", {{"path", Shown(SettingsPath())}});
}

QString Listed(const SettingsModel& model)
{
    QStringList values;
    for (const SettingKey& key : kSettingKeys)
        values.append(QLatin1String(key.name) + u'=' + model.Value(key.setting).toString());
    return values.join(u'\n');
}

// The value a setting holds once it went through the file.
QVariant ThroughTheFile(const SettingKey& key, const QVariant& value)
{
    if (key.kind != SettingKind::Text)
        return value;
    QString text = value.toString().replace(u'\r', u' ').replace(u'\n', u' ');
    // An option added by a later release reads a blank value as absent.
    const bool readsAsFirstRun =
        key.writtenWhenUsed ? text.trimmed().isEmpty() : text.isEmpty() && key.emptyReadsAsFirstRun;
    return readsAsFirstRun ? QString::fromLatin1(key.firstRun) : text;
}

void CheckSame(const SettingsModel& expected, const SettingsModel& read, const char* promise, const QByteArray& file)
{
    for (const SettingKey& key : kSettingKeys) {
        if (ThroughTheFile(key, expected.Value(key.setting)) != read.Value(key.setting))
            Broken(promise, {{"setting", key.name},
                             {"expected", Shown(ThroughTheFile(key, expected.Value(key.setting)).toString())},
                             {"read", Shown(read.Value(key.setting).toString())},
                             {"file", Shown(file)}});
    }
}

void Save(const SettingsModel& model)
{
    if (!WriteSettingsFile(SettingsPath(), model))
        Broken("the settings file can be written", {{"settings", Shown(Listed(model))}});
}

// A value for the setting from its piece: check boxes and option pairs from
// the piece's first bit, numbers from its text, texts as they are.
QVariant ValueFrom(const SettingKey& key, const QByteArray& piece)
{
    switch (key.kind) {
    case SettingKind::Check:
    case SettingKind::Flag: return (Bits(piece) & 1) != 0;
    case SettingKind::Number: return Text(piece).toInt();
    case SettingKind::Text:
    case SettingKind::Password: break;
    }
    return Text(piece);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<QByteArray> piece = Pieces(data, size, 1 + kSettingCount);
    PutFile(piece[0]);
    SettingsModel first;
    ReadSettingsFile(SettingsPath(), first);
    Save(first);
    const QByteArray saved = FileBytes();
    SettingsModel again;
    ReadSettingsFile(SettingsPath(), again);
    CheckSame(first, again, "settings read from a file read the same after a save", piece[0]);
    Save(again);
    if (FileBytes() != saved)
        Broken("saving the settings read back changes nothing",
               {{"original", Shown(piece[0])}, {"first save", Shown(saved)},
                {"second save", Shown(FileBytes())}});

    SettingsModel set;
    ReadSettingsFile(SettingsPath(), set);
    for (const SettingKey& key : kSettingKeys)
        set.Set(key.setting, ValueFrom(key, piece[1 + static_cast<std::size_t>(&key - kSettingKeys.data())]));
    Save(set);
    SettingsModel read;
    ReadSettingsFile(SettingsPath(), read);
    CheckSame(set, read, "settings saved are read back", FileBytes());
    return 0;
}
