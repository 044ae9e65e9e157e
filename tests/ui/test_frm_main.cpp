#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaProperty>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSlider>
#include <QTabBar>
#include <QTest>

#include "common/program_paths.h"
#include "common/program_state.h"
#include "settings/settings_model.h"
#include "ui/app_actions.h"
#include "ui/frm_main.h"
#include "ui/twips_layout.h"

using namespace quendrel;

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
};

// Typed over the whole interval box ("\t" leaves it): the slider's steps, the message and the box's final text.
struct Typing { QString typed; QList<int> sliderSteps; QString message, finalText; };
const QString kMinutes = "Value must be between 5 and 1440 minutes (24 hrs).";

Q_DECLARE_METATYPE(Typing)

class TestFrmMain : public QObject {
    Q_OBJECT

private slots:
    // Each option enables its dependent controls; disabling them keeps what they hold.
    void optionsEnableTheirDependents()
    {
        Fixture f;
        const QStringList custom = {"lblSourceFilepath", "txtSourceFilepath", "cmdBrowse", "lblWebpageTags"};
        const struct { const char* on; const char* off; QStringList dependents; } options[] = {
            {"optConType(1)", "optConType(0)", {"cmbIPWebPage", "txtStartString", "txtEndString"}},
            {"optWebpageType(1)", "optWebpageType(0)", custom},
            {"chkUpdateOnStart", "chkUpdateOnStart", {"chkUpdateDelay"}},
        };
        for (const auto& option : options) {
            f.Get<QAbstractButton>(option.on)->click();
            for (const QString& name : option.dependents) {
                QVERIFY2(f.Get(name)->isEnabled(), qPrintable(name));
                if (auto* edit = f.window->findChild<QLineEdit*>(name))
                    edit->setText("kept");
            }
            f.Get<QAbstractButton>(option.off)->click();
            for (const QString& name : option.dependents) {
                QVERIFY2(!f.Get(name)->isEnabled(), qPrintable(name));
                if (auto* edit = f.window->findChild<QLineEdit*>(name))
                    QCOMPARE(edit->text(), "kept");
            }
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
            // What the control shows: checked, slider value or text, each its class's user property.
            QWidget* shown = f.Get(key.kind == SettingKind::Flag ? name + "(0)" : name);
            QVERIFY2(shown->metaObject()->userProperty().read(shown) == before, key.name);
        }
        f.settings.Set(Setting::Password, "s3cr3t");
        QCOMPARE(f.Get<QLineEdit>("txtPassword")->displayText(), "******");
    }

    // A window created while an update runs shows the current state, and follows it from then on.
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
        QCOMPARE(f.Get<QLabel>("StatusBar1Panel")->text(), "Uploading HTML Page..");
        QVERIFY(!f.Get("cmdUpdate")->isEnabled());
        QCOMPARE(f.Get<QLineEdit>("txtUpdInt")->text(), "60");
        QCOMPARE(f.Get<QComboBox>("cmbIPWebPage")->count(), 2);
        QCOMPARE(f.Get<QComboBox>("cmbIPWebPage")->currentText(), "http://b.example/");
        QCOMPARE(f.window->windowIcon().pixmap(16).toImage(), ImageList().Image(StateImage::Busy).pixmap(16).toImage());
        f.state.SetStatusText("Quendrel (x)");
        f.state.SetUpdating(false);
        QCOMPARE(f.Get<QLabel>("StatusBar1Panel")->text(), "Quendrel (x)");
        QSignalSpy update(f.actions.mnuUpdate, &QAction::triggered);
        f.Get<QPushButton>("cmdUpdate")->click();
        QCOMPARE(update.count(), 1);
    }

    // At the desktop's font and larger ones no caption is clipped, the tabs fit above the frames, and each tab
    // shows its own frame only.
    void layoutAtFontSize_data()
    {
        QTest::addColumn<qreal>("pointSize");
        QTest::newRow("desktop default") << QApplication::font().pointSizeF();
        QTest::newRow("13 pt") << qreal(13);
    }

    void layoutAtFontSize()
    {
        QFETCH(qreal, pointSize);
        QFont font = QApplication::font();
        const auto restore = qScopeGuard([original = font] { QApplication::setFont(original); });
        font.setPointSizeF(pointSize);
        QApplication::setFont(font);
        Fixture f;
        f.window->show();
        for (QWidget* w : f.window->findChildren<QWidget*>()) {
            // The window's own controls only, not the parts Qt builds inside them.
            const QWidget* parent = w->parentWidget();
            if (w->objectName().isEmpty() || qobject_cast<const QTabBar*>(parent) ||
                qobject_cast<const QComboBox*>(parent))
                continue;
            const QSize needed = SpaceForText(w);
            QVERIFY2(w->width() >= needed.width() && w->height() >= needed.height(), qPrintable(w->objectName()));
        }
        auto* tabs = f.Get<QTabBar>("TabStrip1");
        QVERIFY(tabs->tabRect(3).right() <= tabs->width());
        QVERIFY(f.Get("Frame1")->geometry().top() >= tabs->geometry().bottom());
        for (int tab : {1, 3, 0, 2, 1}) {
            tabs->setCurrentIndex(tab);
            for (int i = 0; i < 4; ++i)
                QCOMPARE(f.Get(QStringLiteral("Frame%1").arg(i + 1))->isVisible(), i == tab);
        }
    }

    // The source file chooser: title, folder and filter; a choice sets the path, cancelling keeps it.
    void sourceFileChooserAndMessages()
    {
        const QString chosen = QCoreApplication::applicationFilePath();  // any file that exists
        Fixture f;
        f.Get<QRadioButton>("optWebpageType(1)")->click();
        const auto open = [&f] {
            f.Get<QPushButton>("cmdBrowse")->click();
            return qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        };
        QPointer<QFileDialog> dialog = open();
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), "Select the Source File..");
        QCOMPARE(AddBackslash(dialog->directory().absolutePath()), AddBackslash(ProgramDirectory()));
        QCOMPARE(dialog->nameFilters(), QStringList{"All Files (*)"});
        dialog->selectFile(chosen);
        QMetaObject::invokeMethod(dialog, "accept");
        QCOMPARE(f.settings.Text(Setting::SourceFilepath), chosen);
        open()->reject();
        QCOMPARE(f.settings.Text(Setting::SourceFilepath), chosen);

        // The window goes (Exit from the tray) while the chooser and a message
        // are open: they go with it, and nothing touches the freed window.
        dialog = open();
        f.Get<QLineEdit>("txtUpdInt")->setText("0");
        QVERIFY(f.window->findChild<QMessageBox*>());
        f.window.reset();
        QVERIFY(!dialog);
    }

    // Typing into the interval box moves the slider step by step. A bad value brings a message; the box holds
    // what was typed until it is read, then shows the replacement. Which text earns which message and
    // replacement is the interval rule's own concern; here the window applies it.
    void intervalBoxAndSlider_data()
    {
        QTest::addColumn<Typing>("row");
        QTest::newRow("1440 digit by digit") << Typing{"1440", {14, 144, 1440}, "", "1440"};
        QTest::newRow("above 1440") << Typing{"9999", {9, 99, 999, 1440}, kMinutes, "1440"};
        QTest::newRow("fraction typed whole") << Typing{"15.5", {15, 16}, "", "15.5"};
        QTest::newRow("leaving with 3") << Typing{"3\t", {5}, "", "5"};
    }

    void intervalBoxAndSlider()
    {
        QFETCH(Typing, row);
        Fixture f;
        auto* slider = f.Get<QSlider>("Slider1");
        auto* box = f.Get<QLineEdit>("txtUpdInt");
        slider->setValue(60);
        QCOMPARE(box->text(), "60");  // the slider sets the box
        f.window->show();
        box->setFocus();
        QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
        box->selectAll();
        QList<int> steps;
        connect(slider, &QSlider::valueChanged, this, [&steps](int value) { steps.append(value); });
        QTest::keyClicks(box, row.typed);
        const QList<QMessageBox*> shown = f.window->findChildren<QMessageBox*>();
        QCOMPARE(shown.size(), row.message.isEmpty() ? 0 : 1);
        if (!shown.isEmpty()) {
            QCOMPARE(shown[0]->text() + shown[0]->windowTitle() + box->text(), row.message + "Quendrel" + row.typed);
            shown[0]->button(QMessageBox::Ok)->click();
        }
        QCOMPARE(box->text(), row.finalText);
        QCOMPARE(steps, row.sliderSteps);
    }
};

QTEST_MAIN(TestFrmMain)
#include "test_frm_main.moc"
