#include <QCoreApplication>
#include <QTest>

#include <clocale>

#include "schedule/interval_rule.h"
#include "schedule/scheduler.h"
#include "settings/settings_model.h"

using namespace quendrel;

using TickList = QList<int>;

// A scheduler as the program runs it: loaded, then ticked once a second,
// reading the settings afresh at each tick.
struct ScheduleRun {
    ProgramState state;
    SettingsModel settings;
    bool cycleRunning = false;
    Scheduler scheduler{state, settings, [this] { return cycleRunning; }};
    TickList updates;  // the ticks that started an update
    int tick = 0;

    ScheduleRun(bool onStart, bool delay, int interval)
    {
        state.StartPending = true;
        Set(onStart, delay, interval);
        QObject::connect(&scheduler, &Scheduler::UpdateDue, [this] { updates.append(tick); });
    }
    void Set(bool onStart, bool delay, int interval)
    {
        settings.Set(Setting::CheckOnStart, onStart);
        settings.Set(Setting::DelayCheckOnStart, delay);
        settings.Set(Setting::Interval, interval);
    }
    void runUntil(int lastTick)
    {
        while (tick < lastTick) {
            ++tick;
            scheduler.Tick();
        }
    }
};

class TestScheduler : public QObject {
    Q_OBJECT

private slots:
    void updatesComeOnTime_data();
    void updatesComeOnTime();
    void changesWhileRunning();
    void ticksDuringACycleAreNotCounted();
    void intervalText_data();
    void intervalText();
};

void TestScheduler::updatesComeOnTime_data()
{
    QTest::addColumn<bool>("onStart");
    QTest::addColumn<bool>("delay");
    QTest::addColumn<int>("interval");
    QTest::addColumn<TickList>("expected");
    QTest::newRow("no start-up update, 5 min") << false << false << 5 << TickList{301, 602, 903};
    QTest::newRow("start-up update, 15 min") << true << false << 15 << TickList{1, 902, 1803};
    QTest::newRow("delayed start-up update, 15 min") << true << true << 15 << TickList{301, 1202, 2103};
    QTest::newRow("delay alone does nothing") << false << true << 5 << TickList{301, 602, 903};
    QTest::newRow("24 hours") << true << false << 1440 << TickList{1};
}

void TestScheduler::updatesComeOnTime()
{
    QFETCH(bool, onStart);
    QFETCH(bool, delay);
    QFETCH(int, interval);
    QFETCH(TickList, expected);
    ScheduleRun run(onStart, delay, interval);
    run.runUntil(expected.last() + 10);
    QCOMPARE(run.updates, expected);
}

void TestScheduler::changesWhileRunning()
{
    // The start box checked after start-up: the start-up update runs at once.
    ScheduleRun checked(false, false, 15);
    checked.runUntil(100);
    checked.Set(true, false, 15);
    checked.runUntil(1100);
    QCOMPARE(checked.updates, (TickList{101, 1002}));

    // ... or, with the delay, once the running count has reached 300.
    ScheduleRun delayed(false, false, 15);
    delayed.runUntil(100);
    delayed.Set(true, true, 15);
    delayed.runUntil(400);
    QCOMPARE(delayed.updates, TickList{301});

    // A shorter interval whose length the count has passed runs one at the next tick.
    ScheduleRun shortened(false, false, 15);
    shortened.runUntil(500);
    shortened.Set(false, false, 5);
    shortened.runUntil(502);
    QCOMPARE(shortened.updates, TickList{501});
}

void TestScheduler::ticksDuringACycleAreNotCounted()
{
    ScheduleRun run(true, false, 5);
    run.runUntil(1);
    run.cycleRunning = true;  // a cycle of 20 seconds
    run.runUntil(21);
    run.cycleRunning = false;
    run.runUntil(400);
    QCOMPARE(run.updates, (TickList{1, 322}));
}

void TestScheduler::intervalText_data()
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

void TestScheduler::intervalText()
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

int main(int argc, char** argv)
{
    // A comma locale, where one is installed: numbers with a point still read.
    setlocale(LC_ALL, "de_DE.UTF-8");
    QCoreApplication app(argc, argv);
    TestScheduler test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_scheduler.moc"
