#include "ui/settings_binding.h"

#include <QAbstractSlider>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include <algorithm>
#include <memory>

#include "settings/settings_model.h"

namespace quendrel {

namespace {

// Runs show() now and whenever the model says the setting changed, for as
// long as the control exists.
template <typename Control, typename Show>
void Follow(Control* control, SettingsModel& model, Setting setting, Show show)
{
    show();
    QObject::connect(&model, &SettingsModel::Changed, control, [setting, show](Setting changed) {
        if (changed == setting)
            show();
    });
}

void BindCheck(QCheckBox* box, SettingsModel& model, Setting setting)
{
    Follow(box, model, setting, [box, &model, setting] { box->setChecked(model.IsOn(setting)); });
    QObject::connect(box, &QCheckBox::toggled, &model, [&model, setting](bool on) { model.Set(setting, on); });
}

// An option pair: the setting is on while its first button is selected.
void BindPair(QRadioButton* first, QRadioButton* second, SettingsModel& model, Setting setting)
{
    Follow(first, model, setting, [=, &model] { (model.IsOn(setting) ? first : second)->setChecked(true); });
    QObject::connect(first, &QRadioButton::toggled, &model, [&model, setting](bool on) { model.Set(setting, on); });
}

void BindNumber(QAbstractSlider* slider, SettingsModel& model, Setting setting)
{
    Follow(slider, model, setting, [slider, &model, setting] { slider->setValue(model.Number(setting)); });
    QObject::connect(slider, &QAbstractSlider::valueChanged, &model,
                     [&model, setting](int value) { model.Set(setting, value); });
}

// Set only when different: a box being typed in keeps its cursor.
void BindText(QLineEdit* box, SettingsModel& model, Setting setting)
{
    Follow(box, model, setting, [box, &model, setting] {
        if (box->text() != model.Text(setting))
            box->setText(model.Text(setting));
    });
    QObject::connect(box, &QLineEdit::textChanged, &model,
                     [&model, setting](const QString& text) { model.Set(setting, text); });
}

// The list file's pages, then the well-known ones it does not hold. Picking
// a page fills in the strings that go with it.
void BindChoice(QComboBox* combo, SettingsModel& model, Setting setting)
{
    combo->clear();
    combo->addItems(model.IPWebPages());
    for (const WellKnownPage& page : kWellKnownPages) {
        const QString url = QLatin1String(page.url);
        if (combo->findText(url, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0)
            continue;
        combo->addItem(url);
        combo->setItemData(combo->count() - 1, QLatin1String(page.about), Qt::ToolTipRole);
    }
    Follow(combo, model, setting, [combo, &model, setting] {
        if (combo->currentText() != model.Text(setting))
            combo->setEditText(model.Text(setting));
    });
    // The page shown before the latest change: a pick changes the text first.
    auto shownBefore = std::make_shared<QString>(model.Text(setting));
    QObject::connect(combo, &QComboBox::currentTextChanged, &model, [&model, setting, shownBefore](const QString& text) {
        *shownBefore = model.Text(setting);
        model.Set(setting, text);
    });
    // A page typed and never kept in the list is not worth remembering.
    QObject::connect(combo, &QComboBox::activated, &model, [combo, &model, shownBefore](int index) {
        const bool listed = combo->findText(*shownBefore, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0;
        model.PickPage(listed ? *shownBefore : QString(), combo->itemText(index));
        *shownBefore = combo->itemText(index);
    });
}

// A fixed list whose items carry the stored values; a value it does not
// know shows as the first item.
void BindFixedChoice(QComboBox* combo, SettingsModel& model, Setting setting)
{
    Follow(combo, model, setting, [combo, &model, setting] {
        combo->setCurrentIndex(std::max(0, combo->findData(model.Text(setting))));
    });
    QObject::connect(combo, &QComboBox::currentIndexChanged, &model,
                     [combo, &model, setting](int index) { model.Set(setting, combo->itemData(index)); });
}

void Bind(QWidget& view, SettingsModel& model, const SettingKey& key)
{
    const QString name = QLatin1String(key.control);
    if (key.kind == SettingKind::Flag) {
        BindPair(view.findChild<QRadioButton*>(name + QStringLiteral("(0)")),
                 view.findChild<QRadioButton*>(name + QStringLiteral("(1)")), model, key.setting);
    } else if (auto* box = view.findChild<QCheckBox*>(name)) {
        BindCheck(box, model, key.setting);
    } else if (auto* slider = view.findChild<QAbstractSlider*>(name)) {
        BindNumber(slider, model, key.setting);
    } else if (auto* combo = view.findChild<QComboBox*>(name); combo && !combo->isEditable()) {
        BindFixedChoice(combo, model, key.setting);
    } else if (auto* combo = view.findChild<QComboBox*>(name)) {
        BindChoice(combo, model, key.setting);
    } else if (auto* text = view.findChild<QLineEdit*>(name)) {
        BindText(text, model, key.setting);
    } else {
        qFatal("No control %s for the setting %s", key.control, key.name);
    }
}

}  // namespace

void BindSettings(QWidget& view, SettingsModel& model)
{
    for (const SettingKey& key : kSettingKeys)
        Bind(view, model, key);
}

}  // namespace quendrel
