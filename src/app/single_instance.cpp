#include "app/single_instance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace velmora {

namespace {
constexpr char kActivate[] = "activate\n";
constexpr qint64 kMaxRequest = 64;
}  // namespace

SingleInstance::SingleInstance(QString folder, QObject* parent)
    : QObject(parent), folder_(std::move(folder)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultFolder() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    return dir + QStringLiteral("/velmora");
}

bool SingleInstance::claim() {
    QDir().mkpath(folder_);
    lock_ = std::make_unique<QLockFile>(folder_ + QStringLiteral("/instance.lock"));
    // A lock left by a crashed copy is stale and taken over; a live holder keeps it.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
        lock_.reset();
        return false;
    }
    const QString socket = folder_ + QStringLiteral("/instance.socket");
    // Only the lock holder gets here, so a socket file still present is a dead copy's.
    QLocalServer::removeServer(socket);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(socket)) return true;  // still the only copy, just not reachable
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server_->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, client, [this, client] {
                // Anything but the one short request is dropped with the connection.
                if (client->bytesAvailable() > kMaxRequest) {
                    client->abort();
                    return;
                }
                if (!client->canReadLine()) return;
                const QByteArray line = client->readLine();
                client->disconnectFromServer();
                if (line == kActivate) emit activationRequested();
            });
        }
    });
    return true;
}

bool SingleInstance::notifyRunning(int timeoutMs) {
    const QString socket = folder_ + QStringLiteral("/instance.socket");
    QDeadlineTimer deadline(timeoutMs);
    // The running copy may still be starting: retry until it listens or time runs out.
    while (true) {
        QLocalSocket client;
        client.connectToServer(socket);
        if (client.waitForConnected(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) {
            client.write(kActivate);
            const bool sent =
                client.waitForBytesWritten(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
            client.disconnectFromServer();
            return sent;
        }
        if (deadline.hasExpired()) return false;
        QThread::msleep(50);
    }
}

}  // namespace velmora
