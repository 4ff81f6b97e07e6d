// One running instance per user: the first start listens on a local socket named after the
// application; a later start asks it to come forward and ends without creating a window.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QLocalServer;

namespace quarvel::gui {

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  // `name` is made per user; `on_request` runs in the first instance for every later start.
  SingleInstance(const QString& name, std::function<void()> on_request, QObject* parent = nullptr);
  ~SingleInstance() override;

  // True when this is the first instance (it now listens); false when another one answered,
  // which has been asked to come forward.
  bool Claim();

  // The socket name for `name` and the current user.
  static QString SocketName(const QString& name);

 private:
  QString socket_name_;
  std::function<void()> on_request_;
  QLocalServer* server_ = nullptr;
};

}  // namespace quarvel::gui
