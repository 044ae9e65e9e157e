#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>

namespace quendrel {

// The pictures that show how the last update went, numbered as the image
// list has them. The program starts with the ready one.
enum class StateImage { Ready = 1, Busy = 2, Failed = 3 };

// State that lives for the whole run: what the scheduler counts, what the
// last update found, and what the window and the tray show. The window and
// the tray only render it, so it is there whether or not a window is. Only
// the main thread touches it.
class ProgramState : public QObject {
    Q_OBJECT

public:
    explicit ProgramState(QObject* parent = nullptr);

    // Scheduler ticks (seconds) counted since the last scheduled update.
    qint32 TickCounter = 0;
    // True until the update that follows start-up has been started.
    bool StartPending = false;

    // Address found by the last successful update; empty at start and after a failure.
    QString CurrentIP() const { return currentIP_; }
    void SetCurrentIP(const QString& address);

    // The status bar's one panel. Every call is announced, also of the same text.
    QString StatusText() const { return statusText_; }
    void SetStatusText(const QString& text);

    // Why the last update failed, in the words of whatever refused (the
    // status bar's tool tip); empty from the start of the next one.
    QString StatusDetail() const { return statusDetail_; }
    void SetStatusDetail(const QString& detail);

    // The key ("SHA256:...") an untrusted server showed in the last update
    // or test, which the window offers to trust; empty when there is none.
    QString OfferedServerKey() const { return offeredServerKey_; }
    void SetOfferedServerKey(const QString& key);

    // The picture of the window and the tray, and the tray's tip.
    StateImage Image() const { return image_; }
    QString TrayTip() const { return trayTip_; }
    void ShowState(StateImage image, const QString& tip);

    // True while an update cycle runs ("Update Now!" is unavailable).
    bool Updating() const { return updating_; }
    void SetUpdating(bool updating);

    // True while a test of the settings runs: no update may start.
    bool Testing() const { return testing_; }
    void SetTesting(bool testing);

signals:
    void CurrentIPChanged(const QString& address);
    void StatusTextSet(const QString& text);
    void StatusDetailChanged(const QString& detail);
    void OfferedServerKeyChanged(const QString& key);
    void StateShown();
    void UpdatingChanged(bool updating);
    void TestingChanged(bool testing);

private:
    QString currentIP_;
    QString statusText_;
    QString statusDetail_;
    QString offeredServerKey_;
    StateImage image_ = StateImage::Ready;
    QString trayTip_;
    bool updating_ = false;
    bool testing_ = false;
};

}  // namespace quendrel
