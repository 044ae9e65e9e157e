#pragma once

#include <QElapsedTimer>
#include <QtTest>

// Once ready holds (the worker waits where it is to be stopped), asks the
// worker to stop and waits for it. A stop that is seen only at a 60 s
// network limit fails the test: well within that, the stop worked.
#define QUENDREL_VERIFY_STOPS_PROMPTLY(worker, ready)                                                     \
    do {                                                                                                   \
        QTRY_VERIFY(ready);                                                                                \
        QElapsedTimer stopTimer;                                                                           \
        stopTimer.start();                                                                                 \
        (worker).request_stop();                                                                           \
        (worker).join();                                                                                   \
        QVERIFY2(stopTimer.elapsed() < 5000, qPrintable(QString::number(stopTimer.elapsed()) + " ms")); \
    } while (false)
