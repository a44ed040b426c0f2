#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the GUI thread. The handler itself
// only writes to an eventfd (async-signal-safe); a QSocketNotifier wakes the event loop,
// which then ends the run so the window saves and stops its workers in order.

#include <QObject>

class QSocketNotifier;

class SignalWaker : public QObject {
    Q_OBJECT
public:
    explicit SignalWaker(QObject* parent = nullptr);
    ~SignalWaker() override;

    bool isInstalled() const { return notifier != nullptr; }

signals:
    void signalled();

private:
    void drain();

    QSocketNotifier* notifier = nullptr;
};
