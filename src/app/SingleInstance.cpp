#include "app/SingleInstance.h"

#include "platform/Log.h"

#include <QDir>
#include <QLocalSocket>
#include <unistd.h>

SingleInstance::SingleInstance(std::function<void()> reopen) : reopen_(std::move(reopen)) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server_.nextPendingConnection()) {
            client->deleteLater();
            reopen_();
        }
    });
}

QString SingleInstance::socketPath() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString dir = runtime.isEmpty() ? QDir::tempPath() : runtime;
    return dir + QStringLiteral("/quovant-%1.sock").arg(::getuid());
}

bool SingleInstance::forwardToRunning() {
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(500))
        return false;
    socket.write("reopen\n");
    socket.waitForBytesWritten(500);
    return true;
}

void SingleInstance::listen() {
    QLocalServer::removeServer(socketPath());
    if (!server_.listen(socketPath()))
        Log::line("cannot listen for later starts: " + server_.errorString().toStdString());
}
