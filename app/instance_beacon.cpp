#include "app/instance_beacon.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <unistd.h>

namespace {

constexpr int kConnectTimeoutMs = 2000;

} // namespace

QString InstanceBeacon::serverName(const QString& dataDirectory)
{
    const QString canonical = QDir(dataDirectory).canonicalPath();
    const QByteArray digest = QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha256);
    return QStringLiteral("velmora-%1-%2").arg(::getuid()).arg(QString::fromLatin1(digest.toHex().left(16)));
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
    return server->listen(name);
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
