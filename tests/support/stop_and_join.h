#pragma once

#include <QElapsedTimer>
#include <QtTest>

#include <chrono>
#include <thread>

// Lets the worker run for a moment, then asks it to stop and waits for it.
// A stop that is seen only at a 60 s network limit fails the test: well
// within that, the stop worked.
#define QUENDREL_VERIFY_STOPS_PROMPTLY(worker)                                                            \
    do {                                                                                                   \
        std::this_thread::sleep_for(std::chrono::milliseconds(300));                                       \
        QElapsedTimer stopTimer;                                                                           \
        stopTimer.start();                                                                                 \
        (worker).request_stop();                                                                           \
        (worker).join();                                                                                   \
        QVERIFY2(stopTimer.elapsed() < 5000, qPrintable(QString::number(stopTimer.elapsed()) + " ms")); \
    } while (false)
