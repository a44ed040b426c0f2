#pragma once
// Lets a second start reach the copy that already runs on the same data directory, so the
// running copy can bring its window forward. The running copy (the one holding the
// InstanceLock) listens on a local socket named after the directory; a second start connects
// to it and says nothing: the connection itself is the request. The socket lives in the
// user's own $XDG_RUNTIME_DIR (in the data directory when that is unset), never in the shared
// /tmp, where another user could take the name first.

#include <QObject>
#include <QString>

class QLocalServer;

class InstanceBeacon : public QObject {
    Q_OBJECT
public:
    explicit InstanceBeacon(QObject* parent = nullptr) : QObject(parent) {}

    // The socket's path for a data directory: the same for every start of this user on it.
    static QString serverName(const QString& dataDirectory);
    // Only the lock holder listens; a socket file left by a killed holder is replaced. A
    // listen that fails is said on standard error (a second start then cannot reach this one).
    bool listen(const QString& dataDirectory);
    // From a second start: asks the running copy to come forward; false when nobody answered.
    static bool callRunning(const QString& dataDirectory);

signals:
    void called();

private:
    QLocalServer* server = nullptr;
};
