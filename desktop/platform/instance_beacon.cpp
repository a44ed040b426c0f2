#include "desktop/platform/instance_beacon.h"

#include "base/program_log.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

namespace {

constexpr int kConnectTimeoutMs = 2000;

} // namespace

QString InstanceBeacon::serverName(const QString& dataDirectory)
{
    const QString canonical = QDir(dataDirectory).canonicalPath();
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty() || !QDir::isAbsolutePath(runtime))
        return QDir(canonical).filePath(QStringLiteral("velmora.beacon"));
    const QByteArray digest = QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha256);
    return QDir(runtime).filePath(QStringLiteral("velmora-%1").arg(QString::fromLatin1(digest.toHex().left(16))));
}

bool InstanceBeacon::listen(const QString& dataDirectory)
{
    const QString name = serverName(dataDirectory);
    QLocalServer::removeServer(name);
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            socket->disconnectFromServer();
            emit called();
        }
    });
    if (server->listen(name))
        return true;
    logLine("cannot listen on " + name.toStdString() + " (" + server->errorString().toStdString() +
            "); a second start will not bring this window forward");
    return false;
}

bool InstanceBeacon::callRunning(const QString& dataDirectory)
{
    QLocalSocket socket;
    socket.connectToServer(serverName(dataDirectory));
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return false;
    socket.disconnectFromServer();
    return true;
}
