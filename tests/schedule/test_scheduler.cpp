#include <QCoreApplication>
#include <QTest>

#include <clocale>

#include "schedule/interval_rule.h"
#include "schedule/scheduler.h"
#include "settings/settings_model.h"

using namespace quendrel;

using TickList = QList<int>;

namespace {

// The settings the tick reads: the start-up update, its delay, the interval in minutes.
struct Timing { bool onStart = false, delay = false; int interval = 0; };

// A scheduler as the program runs it: loaded, then ticked once a second,
// reading the settings afresh at each tick.
struct ScheduleRun {
    ProgramState state;
    SettingsModel settings;
    bool cycleRunning = false;
    Scheduler scheduler{state, settings, [this] { return cycleRunning; }};
    TickList updates;  // the ticks that started an update
    int tick = 0;

    explicit ScheduleRun(Timing timing)
    {
        state.StartPending = true;
        Set(timing);
        QObject::connect(&scheduler, &Scheduler::UpdateDue, [this] { updates.append(tick); });
    }
    void Set(Timing timing)
    {
        settings.Set(Setting::CheckOnStart, timing.onStart);
        settings.Set(Setting::DelayCheckOnStart, timing.delay);
        settings.Set(Setting::Interval, timing.interval);
    }
    void RunUntil(int lastTick)
    {
        for (; tick < lastTick; scheduler.Tick())
            ++tick;
    }
};

}  // namespace

Q_DECLARE_METATYPE(Timing)

class TestScheduler : public QObject {
    Q_OBJECT

private slots:
    // The settings at start and, from tick `at` on, the ones changed while running.
    void updatesComeOnTime_data()
    {
        QTest::addColumn<Timing>("start");
        QTest::addColumn<int>("at");  // 0: nothing changed
        QTest::addColumn<Timing>("changed");
        QTest::addColumn<TickList>("expected");
        const Timing every15{false, false, 15};
        QTest::newRow("no start-up update, 5 min") << Timing{false, false, 5} << 0 << Timing{} << TickList{301, 602, 903};
        QTest::newRow("start-up update, 15 min") << Timing{true, false, 15} << 0 << Timing{} << TickList{1, 902, 1803};
        QTest::newRow("delayed start-up update") << Timing{true, true, 15} << 0 << Timing{} << TickList{301, 1202, 2103};
        QTest::newRow("delay alone does nothing") << Timing{false, true, 5} << 0 << Timing{} << TickList{301, 602, 903};
        QTest::newRow("24 hours") << Timing{true, false, 1440} << 0 << Timing{} << TickList{1};
        // The start box checked while running: the start-up update at once, or
        // with the delay once the running count has reached 300.
        QTest::newRow("start box checked later") << every15 << 100 << Timing{true, false, 15} << TickList{101, 1002};
        QTest::newRow("start box and delay later") << every15 << 100 << Timing{true, true, 15} << TickList{301};
        // A shorter interval whose length the count has passed runs one at the next tick.
        QTest::newRow("interval shortened") << every15 << 500 << Timing{false, false, 5} << TickList{501, 802};
    }

    void updatesComeOnTime()
    {
        QFETCH(Timing, start);
        QFETCH(int, at);
        QFETCH(Timing, changed);
        QFETCH(TickList, expected);
        ScheduleRun run(start);
        if (at > 0) {
            run.RunUntil(at);
            run.Set(changed);
        }
        run.RunUntil(expected.last() + 10);
        QCOMPARE(run.updates, expected);
    }

    void ticksDuringACycleAreNotCounted()
    {
        ScheduleRun run({true, false, 5});
        run.RunUntil(1);
        run.cycleRunning = true;  // a cycle of 20 seconds
        run.RunUntil(21);
        run.cycleRunning = false;
        run.RunUntil(400);
        QCOMPARE(run.updates, (TickList{1, 322}));
    }

    void intervalText_data()
        {
        const QString minutes = QStringLiteral("Value must be between 5 and 1440 minutes (24 hrs).");
        const QString zero = QStringLiteral("Value must be between 5 and 1440 (24 hrs).");
        const QString none;
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("replacement");  // "" for none
        QTest::addColumn<int>("slider");           // 0 for no change

        QTest::newRow("on the way to 15") << "1" << none << "" << 0;
        QTest::newRow("14") << "14" << none << "" << 14;
        QTest::newRow("1440") << "1440" << none << "" << 1440;
        QTest::newRow("blanks around") << " 20 " << none << "" << 20;
        QTest::newRow("sign") << "+15" << none << "" << 15;
        QTest::newRow("negative, still typing") << "-3" << none << "" << 0;
        QTest::newRow("half to even, down") << "6.5" << none << "" << 6;
        QTest::newRow("half to even, up") << "7.5" << none << "" << 8;
        QTest::newRow("exponent") << "1e3" << none << "" << 1000;
        QTest::newRow("lone 0") << "0" << zero << "5" << 5;
        QTest::newRow("rounds to 0") << "0.4" << zero << "5" << 5;
        QTest::newRow("letters") << "abc" << minutes << "5" << 5;
        QTest::newRow("digits then letters") << "15x" << minutes << "5" << 5;
        QTest::newRow("empty") << "" << minutes << "5" << 5;
        QTest::newRow("lone point") << "." << minutes << "5" << 5;
        QTest::newRow("1441") << "1441" << minutes << "1440" << 1440;
        QTest::newRow("beyond 32 bits") << "99999999999999999999" << minutes << "1440" << 1440;
        QTest::newRow("beyond double") << "1e999" << minutes << "1440" << 1440;
        QTest::newRow("other digits") << QStringLiteral("١٥") << minutes << "5" << 5;
    }

    void intervalText()
    {
        QFETCH(QString, text);
        QFETCH(QString, message);
        QFETCH(QString, replacement);
        QFETCH(int, slider);
        const IntervalVerdict verdict = IntervalTextChanged(text);
        QCOMPARE(verdict.message, message);
        QCOMPARE(verdict.replacementText.value_or(QString()), replacement);
        QCOMPARE(verdict.sliderValue.value_or(0), slider);
        // The text put back is itself accepted as it stands.
        if (verdict.replacementText)
            QCOMPARE(IntervalTextChanged(*verdict.replacementText).sliderValue, verdict.sliderValue);
    }
};

int main(int argc, char** argv)
{
    // A comma locale, where one is installed: numbers with a point still read.
    setlocale(LC_ALL, "de_DE.UTF-8");
    QCoreApplication app(argc, argv);
    TestScheduler test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_scheduler.moc"
