// Single instance through QLocalServer/QLocalSocket.
#include "gui/single_instance.h"

#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>

namespace quarvel::gui {
namespace {

constexpr int kConnectMs = 1000;

}  // namespace

SingleInstance::SingleInstance(const QString& name, std::function<void()> on_request,
                               QObject* parent)
    : QObject(parent), socket_name_(SocketName(name)), on_request_(std::move(on_request)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::SocketName(const QString& name) {
  QString socket = name;
  socket.replace(' ', '-');
  return socket + "-" + QString::number(getuid());
}

bool SingleInstance::Claim() {
  {
    QLocalSocket probe;
    probe.connectToServer(socket_name_);
    if (probe.waitForConnected(kConnectMs)) {
      probe.write("show\n");
      probe.waitForBytesWritten(kConnectMs);
      probe.disconnectFromServer();
      return false;
    }
  }
  // Nobody answered: a socket file left by a crashed instance may still be there.
  QLocalServer::removeServer(socket_name_);
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(socket_name_)) return true;  // run anyway rather than refuse to start
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* client = server_->nextPendingConnection()) {
      connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
      if (on_request_) on_request_();
    }
  });
  return true;
}

}  // namespace quarvel::gui
