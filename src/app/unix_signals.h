#pragma once

#include <QObject>

class QSocketNotifier;

namespace quendrel {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the window thread, so
// that they end the program the way Exit does. Install() runs before the
// application object exists, so a signal that comes early is kept, not lost.
class UnixSignals : public QObject {
    Q_OBJECT

public:
    static void Install();

    explicit UnixSignals(QObject* parent = nullptr);

signals:
    void TerminationRequested(int signalNumber);

private:
    QSocketNotifier* notifier_;
};

}  // namespace quendrel
