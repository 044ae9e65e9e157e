#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaProperty>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTest>

#include "common/program_paths.h"
#include "common/program_state.h"
#include "settings/settings_model.h"
#include "ui/app_actions.h"
#include "ui/frm_about.h"
#include "ui/frm_main.h"
#include "ui/state_images.h"
#include "ui/tray_icon.h"
#include "ui/twips_layout.h"
#include "version.h"

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

class TestUi : public QObject {
    Q_OBJECT

private slots:
    // Each control of the key table shows its setting and sets it, and only it.
    void everySettingIsBoundBothWays()
    {
        Fixture f;
        f.settings.Set(Setting::CheckOnStart, true);  // so the delay box may be checked
        for (const SettingKey& key : kSettingKeys) {
            const QString name = QLatin1String(key.control);
            // A box that only counts with the other connection type is enabled with it.
            if (key.kind == SettingKind::Check && !f.Get(name)->isEnabled())
                f.settings.Set(Setting::ConnectType, !f.settings.IsOn(Setting::ConnectType));
            const QVariant before = f.settings.Value(key.setting);
            QSignalSpy changed(&f.settings, &SettingsModel::Changed);
            if (key.kind == SettingKind::Check)
                f.Get<QCheckBox>(name)->click();
            else if (key.kind == SettingKind::Flag)
                f.Get<QRadioButton>(name + (before.toBool() ? "(1)" : "(0)"))->click();
            else if (key.kind == SettingKind::Number)
                f.Get<QSlider>(name)->setValue(before.toInt() + 7);
            else if (auto* combo = f.window->findChild<QComboBox*>(name); combo && !combo->isEditable())
                combo->setCurrentIndex(combo->count() - 1);
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
            if (auto* fixed = qobject_cast<QComboBox*>(shown); fixed && !fixed->isEditable())
                QVERIFY2(fixed->currentData() == before, key.name);  // its text is the item's caption
            else
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
        // What a page held is shown as text, never as markup.
        f.state.SetStatusDetail("the text found is no IP address: \"<b>Log in</b>\"");
        f.window = std::make_unique<FrmMain>(f.settings, f.state, f.actions);
        QCOMPARE(f.Get<QLabel>("StatusBar1Panel")->text(), "Uploading HTML Page..");
        QCOMPARE(f.Get("StatusBar1")->toolTip(), "<p>the text found is no IP address: \"&lt;b&gt;Log in&lt;/b&gt;\"</p>");
        QVERIFY(!f.Get("cmdUpdate")->isEnabled());
        QCOMPARE(f.Get<QLineEdit>("txtUpdInt")->text(), "60");
        // The list's pages, then the well-known ones; picking one fills in its strings, and picking the page left
        // again brings back those it had.
        auto* pages = f.Get<QComboBox>("cmbIPWebPage");
        QCOMPARE(pages->count(), 2 + qsizetype(kWellKnownPages.size()));
        QCOMPARE(pages->currentText(), "http://b.example/");
        const int dyn = pages->findText("http://checkip.dyndns.org");
        pages->setCurrentIndex(dyn);
        emit pages->activated(dyn);
        const auto chosen = [&f] {
            return f.settings.Text(Setting::IPWebPage) + f.settings.Text(Setting::StartString) + f.settings.Text(Setting::EndString);
        };
        QCOMPARE(chosen(), "http://checkip.dyndns.orgCurrent IP Address:</body>");
        pages->setCurrentIndex(1);
        emit pages->activated(1);
        QCOMPARE(chosen(), "http://b.example/<ip></ip>");
        QCOMPARE(f.window->windowIcon().pixmap(16).toImage(), ImageList().Image(StateImage::Busy).pixmap(16).toImage());
        f.state.SetStatusText("Quendrel (x)");
        f.state.SetStatusDetail({});
        f.state.SetUpdating(false);
        QCOMPARE(f.Get<QLabel>("StatusBar1Panel")->text(), "Quendrel (x)");
        QCOMPARE(f.Get("StatusBar1")->toolTip(), "");
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

    // Each option enables its dependent controls; disabling them keeps what they hold.
    void optionsAndSourceFileChooser()
    {
        Fixture f;
        const struct { const char* on; const char* off; QStringList dependents; } options[] = {
            {"optConType(1)", "optConType(0)", {"cmbIPWebPage", "txtStartString", "txtEndString", "chkTryOtherPages"}},
            {"optConType(0)", "optConType(1)", {"chkIncludeIPv6"}},
            {"optWebpageType(1)", "optWebpageType(0)",
             {"lblSourceFilepath", "txtSourceFilepath", "cmdBrowse", "lblWebpageTags"}},
            {"chkUpdateOnStart", "chkUpdateOnStart", {"chkUpdateDelay"}},
        };
        for (const auto& option : options) {
            for (bool on : {true, false}) {
                f.Get<QAbstractButton>(on ? option.on : option.off)->click();
                for (const QString& name : option.dependents) {
                    QVERIFY2(f.Get(name)->isEnabled() == on, qPrintable(name + (on ? " (option on)" : " (off)")));
                    // What is typed while the box is enabled is still there once it is disabled.
                    if (auto* edit = f.window->findChild<QLineEdit*>(name); edit && on)
                        edit->setText("kept");
                    else if (edit)
                        QCOMPARE(edit->text(), "kept");
                }
            }
        }

        // The source file chooser opens in the program's folder; a choice sets the path, cancelling keeps it.
        const QString chosen = QCoreApplication::applicationFilePath();  // any file that exists
        f.Get<QRadioButton>("optWebpageType(1)")->click();
        const auto open = [&f] {
            f.Get<QPushButton>("cmdBrowse")->click();
            return qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        };
        QPointer<QFileDialog> dialog = open();
        QVERIFY(dialog);
        QCOMPARE(AddBackslash(dialog->directory().absolutePath()), AddBackslash(ProgramDirectory()));
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

    // A pick of protocol moves a port box that held the old protocol's port, never one the user typed; SFTP has no
    // active or passive. "Trust this server" comes with a key the last test or update could not trust, shows it,
    // and stores it only on "Yes"; it goes when the server changes.
    void protocolAndTrust()
    {
        Fixture f;
        auto* protocol = f.Get<QComboBox>("cmbProtocol");
        auto* port = f.Get<QLineEdit>("txtPort");
        const auto pick = [protocol](int index) {
            protocol->setCurrentIndex(index);
            emit protocol->activated(index);
        };
        pick(3);  // SFTP
        QCOMPARE(port->text(), "22");
        QVERIFY(!f.Get("optPasAct(0)")->isEnabled() && !f.Get("optPasAct(1)")->isEnabled());
        pick(2);
        QCOMPARE(port->text(), "990");
        QVERIFY(f.Get("optPasAct(0)")->isEnabled() && f.Get("optPasAct(1)")->isEnabled());
        port->setText("2121");
        pick(1);
        QCOMPARE(port->text(), "2121");

        auto* trust = f.Get<QPushButton>("cmdTrustServer");
        QVERIFY(!trust->isEnabled());
        const QString key = "SHA256:o8BBYdhkMcr1bfDSdo5D+Fzj3FT130KNKGGjZNtxcXU";
        f.state.SetOfferedServerKey(key);
        QVERIFY(trust->isEnabled());
        for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
            trust->click();
            auto* question = f.window->findChild<QMessageBox*>("trustQuestion");
            QVERIFY(question && question->text().contains(key));
            question->button(answer)->click();
            QTRY_VERIFY(!f.window->findChild<QMessageBox*>("trustQuestion"));
            QCOMPARE(f.settings.Text(Setting::ServerKey), answer == QMessageBox::Yes ? key : QString());
        }
        QVERIFY(!trust->isEnabled());
        // Another key than the trusted one is offered with a warning, and only for the server it came from.
        f.state.SetOfferedServerKey(key.chopped(1) + "V");
        trust->click();
        QVERIFY(f.window->findChild<QMessageBox*>("trustQuestion")->text().contains("NOT the key trusted so far, " + key));
        f.settings.Set(Setting::Server, "other.example");
        QVERIFY(!trust->isEnabled());
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

    // The About window: caption, version and no line clipped. Then the pointer wanders over it; after each step
    // at most one link line (3 the web address, 4 the e-mail address) is highlighted and shows the hand.
    void aboutLinesAndPointer()
    {
        FrmAbout about(nullptr);
        QCOMPARE(about.windowTitle(), QStringLiteral("Quendrel - About"));
        QCOMPARE(about.lblMessage[1]->text(), QStringLiteral(" v4.6.0"));  // the revision shows, even 0
        for (QLabel* line : about.lblMessage)
            QVERIFY2(line->width() >= line->sizeHint().width() && line->height() >= line->sizeHint().height(),
                     qPrintable(line->objectName()));
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        // A step over no widget: the pointer leaves the window.
        struct Step { const char* name; QWidget* over; int highlighted; QPoint at = QPoint(2, 2); };
        const Step path[] = {
            {"onto the web line", about.lblMessage[3], 3},
            {"straight to the mail line", about.lblMessage[4], 4},
            {"onto the logo, which keeps it", &about, 4, about.Picture1->geometry().center()},
            {"onto the bare background", &about, 0, QPoint(about.width() - 3, about.height() - 3)},
            {"onto the web line again", about.lblMessage[3], 3},
            {"out of the window", nullptr, 0},
        };
        for (const Step& step : path) {
            QMouseEvent move(QEvent::MouseMove, step.at, QPoint(), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(step.over ? step.over : &about, step.over ? &move : &leave);
            for (int line : {3, 4}) {
                const bool lit = line == step.highlighted;
                QVERIFY2(about.LineColour(line) == (lit ? FrmAbout::HighlightColour() : FrmAbout::LinkColour()),
                         step.name);
                QVERIFY2(about.lblMessage[line]->cursor().shape() == (lit ? Qt::PointingHandCursor : Qt::ArrowCursor),
                         step.name);
            }
        }
    }

    // A click on a link line opens it and closes the window; a click elsewhere does neither.
    void aboutClickOpensLinkAndCloses_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<QStringList>("opened");
        QTest::newRow("copyright") << 2 << QStringList();
        QTest::newRow("web address") << 3 << QStringList{"http://" + QString::fromUtf8(kMakerWebAddress)};
        QTest::newRow("e-mail") << 4 << QStringList{"mailto:" + QString::fromUtf8(kSupportEmail)};
    }

    void aboutClickOpensLinkAndCloses()
    {
        QFETCH(int, line);
        QFETCH(QStringList, opened);
        QStringList urls;
        QPointer<FrmAbout> about = new FrmAbout([&](const QUrl& url) { urls.append(url.toString()); });
        about->show();
        QVERIFY(QTest::qWaitForWindowExposed(about));
        QTest::mouseClick(about->lblMessage[line], Qt::LeftButton);
        QCOMPARE(urls, opened);
        QCOMPARE(about && about->isVisible(), opened.isEmpty());  // only a link line closes the window,
        QTRY_COMPARE(about.isNull(), !opened.isEmpty());  // which then is gone
        delete about;  // the window a click elsewhere left open
    }

    // The tray tip keeps its first 63 UTF-16 units, never half of a surrogate pair. A double click arrives as a
    // click and then a double click: only the click toggles.
    void trayIcon()
    {
        TrayIcon tray;
        const QString a61(61, QLatin1Char('a'));
        const QString globe = QString::fromUtf8("\xF0\x9F\x8C\x90");  // two UTF-16 units
        tray.ModifyTrayIcon(WindowIcon(), a61 + "b" + globe + "z");
        QCOMPARE(tray.Tip(), a61 + "b");  // the pair across the cut goes whole
        tray.ModifyTrayIcon(WindowIcon(), a61 + globe + "z");
        QCOMPARE(tray.Tip(), a61 + globe);  // the pair before the cut stays whole

        QSignalSpy toggled(&tray, &TrayIcon::LeftClicked);
        auto* icon = tray.findChild<QSystemTrayIcon*>();
        for (auto other : {QSystemTrayIcon::DoubleClick, QSystemTrayIcon::Context, QSystemTrayIcon::MiddleClick})
            emit icon->activated(other);
        QVERIFY(toggled.isEmpty());
        emit icon->activated(QSystemTrayIcon::Trigger);
        QCOMPARE(toggled.count(), 1);
    }
};

QTEST_MAIN(TestUi)
#include "test_ui.moc"
