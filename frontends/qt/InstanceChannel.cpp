#include "frontends/qt/InstanceChannel.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QLocalSocket>

#include <unistd.h>

#include <system_error>

namespace jw::qt {

InstanceChannel::InstanceChannel(QObject* parent) : QObject(parent) {
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (auto* socket = server_.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                while (socket->canReadLine()) {
                    const QString request = QString::fromUtf8(socket->readLine()).trimmed();
                    emit requested(request);
                    socket->write("ok\n");
                    socket->flush();
                }
            });
        }
    });
}

QString InstanceChannel::serverName(const std::filesystem::path& dataDirectory) {
    std::error_code ignored;
    auto canonical =
        std::filesystem::weakly_canonical(std::filesystem::absolute(dataDirectory), ignored);
    if (canonical.empty()) {
        canonical = dataDirectory.lexically_normal();
    }
    // A short name (socket paths are limited) that differs per user and per folder.
    const QByteArray key = QByteArray::number(static_cast<qulonglong>(::getuid())) + '\0' +
                           QByteArray::fromStdString(canonical.string());
    return QStringLiteral("jotwell-") +
           QString::fromLatin1(
               QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(24));
}

bool InstanceChannel::forward(const QString& serverName, const QString& request, QString* whyNot,
                              int timeoutMilliseconds) {
    QDeadlineTimer deadline(timeoutMilliseconds);
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
        *whyNot = socket.errorString();
        return false;
    }
    socket.write((request + QLatin1Char('\n')).toUtf8());
    if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
        *whyNot = socket.errorString();
        return false;
    }
    while (!socket.canReadLine()) {
        if (deadline.hasExpired() ||
            !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            *whyNot = QStringLiteral("the running Jotwell did not answer");
            return false;
        }
    }
    return socket.readLine().trimmed() == "ok";
}

bool InstanceChannel::listen(const QString& serverName, QString* whyNot) {
    QLocalServer::removeServer(serverName);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(serverName)) {
        *whyNot = server_.errorString();
        return false;
    }
    return true;
}

}  // namespace jw::qt
