#include <QTest>

#include <clocale>

#include "app/app_log.h"
#include "schedule/catch_up_update.h"
#include "schedule/interval_rule.h"
#include "schedule/scheduler.h"
#include "settings/settings_model.h"

using namespace quendrel;

namespace {

// The settings the tick reads: the start-up update, its delay, the interval in minutes.
struct Timing { bool onStart = false, delay = false; int interval = 15; };

// One run from start-up, ticked once a second: the settings at start (by default no start-up update, 15 minutes),
// those changed after tick changeAt (0: none), the ticks during which an update cycle runs (first and last), and
// the ticks that must start an update.
struct Run { Timing start{}; int changeAt = 0; Timing changed{}; QPair<int, int> cycle{}; QList<int> updates; };

// Seconds from start-up at which the network comes back or the computer wakes, the seconds during which an update
// cycle runs (first and last), and the seconds at which an update must be asked for after them.
struct Events { QList<int> seen; QPair<int, int> cycle{}; QList<int> updates; };

// Text typed into the interval box: the message it earns ("" for none; a message puts the slider's value back as the
// text) and the slider's value (0 for no change).
struct Typed { QString text, message; int slider; };

}  // namespace

class TestScheduler : public QObject {
    Q_OBJECT

private slots:
    // A comma locale, where one is installed: numbers with a point still read.
    void initTestCase() { setlocale(LC_ALL, "de_DE.UTF-8"); }

    void updatesComeOnTime_data()
    {
        QTest::addColumn<Run>("run");
        QTest::newRow("no start-up update, 5 min") << Run{.start = {false, false, 5}, .updates = {301, 602, 903}};
        QTest::newRow("delayed start-up update") << Run{.start = {true, true, 15}, .updates = {301, 1202, 2103}};
        // The start box checked while running: the start-up update at once, or
        // with the delay once the running count has reached 300.
        QTest::newRow("start box later") << Run{.changeAt = 100, .changed = {true, false, 15}, .updates = {101, 1002}};
        QTest::newRow("start box, delay later") << Run{.changeAt = 100, .changed = {true, true, 15}, .updates = {301}};
        // A shorter interval whose length the count has passed runs one at the next tick.
        QTest::newRow("shorter interval") << Run{.changeAt = 500, .changed = {false, false, 5}, .updates = {501, 802}};
        // The 20 seconds of a cycle do not count towards the next update.
        QTest::newRow("ticks during a cycle") << Run{.start = {true, false, 5}, .cycle = {2, 21}, .updates = {1, 322}};
    }

    // The scheduler as the program runs it, reading the settings afresh at each tick.
    void updatesComeOnTime()
    {
        QFETCH(Run, run);
        ProgramState state;
        state.StartPending = true;
        SettingsModel settings;
        int tick = 0;
        Scheduler scheduler(state, settings, [&] { return tick >= run.cycle.first && tick <= run.cycle.second; });
        QList<int> updates;
        connect(&scheduler, &Scheduler::UpdateDue, this, [&] { updates.append(tick); });
        for (tick = 1; tick < run.updates.last() + 10; ++tick) {
            const Timing& timing = run.changeAt > 0 && tick > run.changeAt ? run.changed : run.start;
            settings.Set(Setting::CheckOnStart, timing.onStart);
            settings.Set(Setting::DelayCheckOnStart, timing.delay);
            settings.Set(Setting::Interval, timing.interval);
            scheduler.Tick();
        }
        QCOMPARE(updates, run.updates);
    }

    // 10 seconds to settle, a minute between two updates.
    void updatesAfterNetworkEvents_data()
    {
        QTest::addColumn<Events>("run");
        QTest::newRow("bunched: the delay from the last") << Events{.seen = {5, 9, 12}, .updates = {22}};
        QTest::newRow("a cycle over within the delay") << Events{.seen = {5}, .cycle = {3, 8}, .updates = {15}};
        QTest::newRow("a cycle past the delay: after it") << Events{.seen = {5}, .cycle = {3, 20}, .updates = {21}};
        QTest::newRow("another, waiting for a cycle") << Events{.seen = {5, 19}, .cycle = {3, 20}, .updates = {29}};
        QTest::newRow("again within the minute: at its end") << Events{.seen = {5, 40}, .updates = {15, 75}};
        QTest::newRow("again after the minute") << Events{.seen = {5, 70}, .updates = {15, 80}};
    }

    // Second by second, the settling timer's checks made when they are due, with the interval's count going on.
    void updatesAfterNetworkEvents()
    {
        QFETCH(Events, run);
        ProgramState state;
        state.StartPending = true;
        int second = 0;
        const auto running = [&] { return second >= run.cycle.first && second <= run.cycle.second; };
        CatchUpUpdate catchUp(state, running, lcApp(), {.clock = [&] { return second * 1000LL; }});
        QList<int> updates;
        connect(&catchUp, &CatchUpUpdate::UpdateDue, this, [&] { updates.append(second); });
        const int end = run.updates.last() + 70;
        for (second = 1; second < end; ++second, ++state.TickCounter) {
            if (second == run.cycle.second + 1)
                catchUp.CycleEnded();
            if (run.seen.contains(second))
                catchUp.EventSeen();
            if (const std::optional<qint64> due = catchUp.NextCheck(); due && *due <= second * 1000LL)
                catchUp.Check();
        }
        QCOMPARE(updates, run.updates);
        QCOMPARE(state.TickCounter, end - updates.last());  // counted again from the last update
        QVERIFY(!state.StartPending);  // the start-up update would only repeat it
    }

    void intervalText_data()
    {
        const QString minutes = QStringLiteral("Value must be between 5 and 1440 minutes (24 hrs).");
        QTest::addColumn<Typed>("row");
        QTest::newRow("on the way to 15") << Typed{"1", "", 0};
        QTest::newRow("5") << Typed{"5", "", 5};
        QTest::newRow("1440") << Typed{"1440", "", 1440};
        QTest::newRow("blanks around") << Typed{" 20 ", "", 20};
        QTest::newRow("negative, still typing") << Typed{"-3", "", 0};
        QTest::newRow("half to even, down") << Typed{"6.5", "", 6};
        QTest::newRow("half to even, up") << Typed{"7.5", "", 8};
        QTest::newRow("exponent") << Typed{"1e3", "", 1000};
        QTest::newRow("rounds to 0") << Typed{"0.4", QStringLiteral("Value must be between 5 and 1440 (24 hrs)."), 5};
        QTest::newRow("digits then letters") << Typed{"15x", minutes, 5};
        QTest::newRow("empty") << Typed{"", minutes, 5};
        QTest::newRow("lone point") << Typed{".", minutes, 5};
        QTest::newRow("1441") << Typed{"1441", minutes, 1440};
        QTest::newRow("beyond 32 bits") << Typed{"99999999999999999999", minutes, 1440};
        QTest::newRow("beyond double") << Typed{"1e999", minutes, 1440};
        QTest::newRow("other digits") << Typed{QStringLiteral("١٥"), minutes, 5};
    }

    void intervalText()
    {
        QFETCH(Typed, row);
        const IntervalVerdict verdict = IntervalTextChanged(row.text);
        QCOMPARE(verdict.message, row.message);
        QCOMPARE(verdict.replacementText.value_or(QString()), row.message.isEmpty() ? QString() : QString::number(row.slider));
        QCOMPARE(verdict.sliderValue.value_or(0), row.slider);
    }
};

QTEST_GUILESS_MAIN(TestScheduler)
#include "test_scheduler.moc"
