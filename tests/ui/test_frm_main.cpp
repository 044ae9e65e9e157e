#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

#include "common/program_paths.h"
#include "common/program_state.h"
#include "settings/settings_model.h"
#include "ui/app_actions.h"
#include "ui/frm_main.h"
#include "ui/twips_layout.h"

using namespace quendrel;

namespace {

// What the window is a view of, and the window itself.
struct Fixture {
    SettingsModel settings;
    ProgramState state;
    AppActions actions{state};
    std::unique_ptr<FrmMain> window = std::make_unique<FrmMain>(settings, state, actions);

    template <typename T = QWidget>
    T* Get(const QString& name) const
    {
        T* control = window->findChild<T*>(name);
        if (!control)
            qFatal("no control %s", qPrintable(name));
        return control;
    }
    // What the control shows: checked, slider value or text.
    QVariant Shown(const QString& name) const
    {
        QWidget* control = Get(name);
        if (auto* box = qobject_cast<QAbstractButton*>(control))
            return box->isChecked();
        if (auto* slider = qobject_cast<QSlider*>(control))
            return slider->value();
        if (auto* combo = qobject_cast<QComboBox*>(control))
            return combo->currentText();
        return Get<QLineEdit>(name)->text();
    }
};

}  // namespace

class TestFrmMain : public QObject {
    Q_OBJECT

private slots:
    void tabShowsItsFrameOnly()
    {
        Fixture f;
        f.window->show();
        for (int tab : {1, 3, 0, 2, 1}) {
            f.Get<QTabBar>("TabStrip1")->setCurrentIndex(tab);
            for (int i = 0; i < 4; ++i)
                QCOMPARE(f.Get(QStringLiteral("Frame%1").arg(i + 1))->isVisible(), i == tab);
        }
    }

    void optionsEnableTheirDependents_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QStringList>("dependents");
        QTest::addColumn<bool>("enabled");
        const QStringList gateway = {"cmbIPWebPage", "txtStartString", "txtEndString"};
        const QStringList custom = {"lblSourceFilepath", "txtSourceFilepath", "cmdBrowse", "lblWebpageTags"};
        QTest::newRow("Directly Connected") << "optConType(0)" << gateway << false;
        QTest::newRow("Behind Gateway/Router") << "optConType(1)" << gateway << true;
        QTest::newRow("Use Default") << "optWebpageType(0)" << custom << false;
        QTest::newRow("Use Custom") << "optWebpageType(1)" << custom << true;
        QTest::newRow("Update on Start") << "chkUpdateOnStart" << QStringList{"chkUpdateDelay"} << true;
    }

    void optionsEnableTheirDependents()
    {
        QFETCH(QString, option);
        QFETCH(QStringList, dependents);
        QFETCH(bool, enabled);
        Fixture f;
        // Start from the other state so the click really changes something.
        if (option.endsWith(u')'))
            f.Get<QAbstractButton>(option.chopped(2) + (option.endsWith("0)") ? "1)" : "0)"))->click();
        for (const QString& name : dependents) {
            if (auto* edit = f.window->findChild<QLineEdit*>(name))
                edit->setText("kept " + name);
        }
        f.Get<QAbstractButton>(option)->click();
        for (const QString& name : dependents) {
            QVERIFY2(f.Get(name)->isEnabled() == enabled, qPrintable(name));
            if (auto* edit = f.window->findChild<QLineEdit*>(name))
                QCOMPARE(edit->text(), "kept " + name);  // disabling keeps contents
        }
    }

    // Each control of the key table shows its setting and sets it, and only it.
    void everySettingIsBoundBothWays()
    {
        Fixture f;
        f.settings.Set(Setting::CheckOnStart, true);  // so the delay box may be checked
        QSignalSpy changed(&f.settings, &SettingsModel::Changed);
        for (const SettingKey& key : kSettingKeys) {
            const QString name = QLatin1String(key.control);
            const QVariant before = f.settings.Value(key.setting);
            changed.clear();
            if (key.kind == SettingKind::Check)
                f.Get<QCheckBox>(name)->click();
            else if (key.kind == SettingKind::Flag)
                f.Get<QRadioButton>(name + (before.toBool() ? "(1)" : "(0)"))->click();
            else if (key.kind == SettingKind::Number)
                f.Get<QSlider>(name)->setValue(before.toInt() + 7);
            else if (auto* combo = f.window->findChild<QComboBox*>(name))
                combo->setEditText("http://typed.example/");
            else
                f.Get<QLineEdit>(name)->insert("x");
            QVERIFY2(f.settings.Value(key.setting) != before && !changed.isEmpty(), key.name);
            for (const QList<QVariant>& signal : changed)
                QVERIFY2(signal[0].value<Setting>() == key.setting, key.name);
            f.settings.Set(key.setting, before);
            QVERIFY2(f.Shown(key.kind == SettingKind::Flag ? name + "(0)" : name) == before, key.name);
        }
        f.settings.Set(Setting::Password, "s3cr3t");
        QCOMPARE(f.Get<QLineEdit>("txtPassword")->displayText(), "******");
    }

    void lateWindowShowsTheCurrentState()
    {
        Fixture f;
        f.window.reset();
        f.settings.SetIPWebPages({"http://a.example/", "http://b.example/"});
        f.settings.Set(Setting::IPWebPage, "http://b.example/");
        f.settings.Set(Setting::Interval, 60);
        f.state.SetStatusText("Uploading HTML Page..");
        f.state.ShowState(StateImage::Busy, "Quendrel - Updating..");
        f.state.SetUpdating(true);
        f.window = std::make_unique<FrmMain>(f.settings, f.state, f.actions);
        QCOMPARE(f.window->windowTitle(), "Quendrel 4.6");
        QCOMPARE(f.Get<QLabel>("StatusBar1Panel")->text(), "Uploading HTML Page..");
        QVERIFY(!f.Get("cmdUpdate")->isEnabled());
        QCOMPARE(f.Shown("txtUpdInt"), "60");
        QCOMPARE(f.Get<QComboBox>("cmbIPWebPage")->count(), 2);
        QCOMPARE(f.Shown("cmbIPWebPage"), "http://b.example/");
        const auto picture = [](const QIcon& icon) { return icon.pixmap(16).toImage(); };
        QCOMPARE(picture(f.window->windowIcon()), picture(ImageList().Image(StateImage::Busy)));
        // ...and follows it from then on.
        f.state.SetStatusText("Quendrel (x)");
        f.state.SetUpdating(false);
        QCOMPARE(f.Get<QLabel>("StatusBar1Panel")->text(), "Quendrel (x)");
        QSignalSpy update(f.actions.mnuUpdate, &QAction::triggered);
        f.Get<QPushButton>("cmdUpdate")->click();
        QCOMPARE(update.count(), 1);
    }

    void noCaptionClipped_data()
    {
        QTest::addColumn<qreal>("pointSize");
        QTest::newRow("desktop default") << qreal(0);
        QTest::newRow("11 pt") << qreal(11);
        QTest::newRow("13 pt") << qreal(13);
    }

    void noCaptionClipped()
    {
        QFETCH(qreal, pointSize);
        const QFont original = QApplication::font();
        QFont font = original;
        if (pointSize > 0)
            font.setPointSizeF(pointSize);
        QApplication::setFont(font);
        {
            Fixture f;
            f.window->show();
            for (QWidget* w : f.window->findChildren<QWidget*>()) {
                // The window's own controls only, not the parts Qt builds inside them.
                const QWidget* parent = w->parentWidget();
                if (w->objectName().isEmpty() || qobject_cast<const QTabBar*>(parent) || qobject_cast<const QComboBox*>(parent))
                    continue;
                const QSize needed = SpaceForText(w);
                QVERIFY2(w->width() >= needed.width() && w->height() >= needed.height(), qPrintable(w->objectName()));
            }
            auto* tabs = f.Get<QTabBar>("TabStrip1");
            QVERIFY(tabs->tabRect(3).right() <= tabs->width());
            QVERIFY(f.Get("Frame1")->geometry().top() >= tabs->geometry().bottom());
        }
        QApplication::setFont(original);
    }

    void sourceFileChooserAndMessages()
    {
        QTemporaryDir dir;
        const QString chosen = dir.filePath("my page.htm");
        QVERIFY(QFile(chosen).open(QIODevice::WriteOnly));
        Fixture f;
        f.Get<QRadioButton>("optWebpageType(1)")->click();
        const auto open = [&f]() -> QFileDialog* {
            f.Get<QPushButton>("cmdBrowse")->click();
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (top->objectName() == QLatin1String("dlgSourceFile") && top->isVisible())
                    return qobject_cast<QFileDialog*>(top);
            }
            return nullptr;
        };
        QPointer<QFileDialog> dialog = open();
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), "Select the Source File..");
        QCOMPARE(AddBackslash(dialog->directory().absolutePath()), AddBackslash(ProgramDirectory()));
        QCOMPARE(dialog->nameFilters(), QStringList{"All Files (*)"});
        dialog->selectFile(chosen);
        QMetaObject::invokeMethod(dialog, "accept");
        QCOMPARE(f.settings.Text(Setting::SourceFilepath), chosen);
        dialog = open();
        dialog->reject();  // cancelled: the path stays
        QCOMPARE(f.settings.Text(Setting::SourceFilepath), chosen);

        // The window goes (Exit from the tray) while the chooser and a message
        // are open: they go with it, and nothing touches the freed window.
        QTRY_VERIFY(!dialog);
        dialog = open();
        f.Get<QLineEdit>("txtUpdInt")->setText("0");
        QVERIFY(f.window->findChild<QMessageBox*>());
        f.window.reset();
        QVERIFY(!dialog);
    }

    void intervalBoxAndSlider_data()
    {
        const QString minutes = "Value must be between 5 and 1440 minutes (24 hrs).";
        QTest::addColumn<QString>("typed");  // over the whole text; "\t" leaves the box
        QTest::addColumn<QList<int>>("sliderSteps");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("finalText");
        QTest::newRow("1440 digit by digit") << "1440" << QList<int>{14, 144, 1440} << "" << "1440";
        QTest::newRow("lone 0") << "0" << QList<int>{5} << "Value must be between 5 and 1440 (24 hrs)." << "5";
        QTest::newRow("letter") << "x" << QList<int>{5} << minutes << "5";
        QTest::newRow("above 1440") << "9999" << QList<int>{9, 99, 999, 1440} << minutes << "1440";
        QTest::newRow("fraction typed whole") << "15.5" << QList<int>{15, 16} << "" << "15.5";
        QTest::newRow("leaving with 3") << "3\t" << QList<int>{5} << "" << "5";
    }

    void intervalBoxAndSlider()
    {
        QFETCH(QString, typed);
        QFETCH(QList<int>, sliderSteps);
        QFETCH(QString, message);
        QFETCH(QString, finalText);
        Fixture f;
        auto* slider = f.Get<QSlider>("Slider1");
        auto* box = f.Get<QLineEdit>("txtUpdInt");
        slider->setValue(60);
        QCOMPARE(box->text(), "60");  // the slider rule
        f.window->show();
        box->setFocus();
        QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
        box->selectAll();
        QList<int> steps;
        connect(slider, &QSlider::valueChanged, this, [&](int value) {
            if (steps.isEmpty() || steps.last() != value)
                steps.append(value);
        });
        QTest::keyClicks(box, typed);
        // A message holds the box as typed until the user has read it.
        const QList<QMessageBox*> shown = f.window->findChildren<QMessageBox*>();
        QCOMPARE(shown.size(), message.isEmpty() ? 0 : 1);
        if (!shown.isEmpty()) {
            QCOMPARE(shown[0]->text() + shown[0]->windowTitle() + box->text(), message + "Quendrel" + typed);
            shown[0]->button(QMessageBox::Ok)->click();
        }
        QCOMPARE(box->text(), finalText);
        QCOMPARE(steps, sliderSteps);
        QCOMPARE(f.settings.Number(Setting::Interval), slider->value());
    }
};











QTEST_MAIN(TestFrmMain)
#include "test_frm_main.moc"
