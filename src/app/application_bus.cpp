#include "app/application_bus.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QTimer>
#include <QUrl>

#include "app/native_path_qt.h"
#include "app/platform_qt.h"
#include "base/platform_services.h"

namespace tolvani {

namespace {

constexpr char kInterface[] = "org.freedesktop.Application";
// Long enough for a player busy drawing on a software rasteriser; a
// player that does not answer in this time is treated as gone.
constexpr int kCallTimeoutMs = 10000;
// A request that finds the player busy (a modal dialog) looks again after this.
constexpr int kBusyRetryMs = 100;

QVariantMap PlatformData(const QString& startupId) {
  QVariantMap data;
  if (!startupId.isEmpty()) data.insert(QStringLiteral("desktop-startup-id"), startupId);
  return data;
}

}  // namespace

QString FileUrlOf(const QString& path) {
  const QString absolute = QDir::isAbsolutePath(path) ? path : QDir::current().filePath(path);
  // Percent-encoding the OS's bytes keeps a name that is not UTF-8 exact
  // (PathFromUrl reads it back the same way).
  return QStringLiteral("file://") +
         QString::fromLatin1(NativeBytes(QDir::cleanPath(absolute)).toPercentEncoding("/"));
}

HandOver HandToRunningPlayer(const QString& file, const QString& startupId) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return HandOver::Failed;
  QDBusMessage call;
  if (file.isEmpty()) {
    call = QDBusMessage::createMethodCall(QLatin1String(kBusName), QLatin1String(kObjectPath),
                                          QLatin1String(kInterface), QStringLiteral("Activate"));
    call << PlatformData(startupId);
  } else {
    call = QDBusMessage::createMethodCall(QLatin1String(kBusName), QLatin1String(kObjectPath),
                                          QLatin1String(kInterface), QStringLiteral("Open"));
    call << QStringList{FileUrlOf(file)} << PlatformData(startupId);
  }
  const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
  return reply.type() == QDBusMessage::ReplyMessage ? HandOver::Delivered : HandOver::Failed;
}

ApplicationService::ApplicationService() = default;

ApplicationService::~ApplicationService() {
  if (!claimed_) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  bus.unregisterObject(QLatin1String(kObjectPath));
  bus.unregisterService(QLatin1String(kBusName));
}

BusClaim ApplicationService::Claim() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || bus.interface() == nullptr) return BusClaim::NoBus;
  // The object first: a request may arrive as soon as the name is ours.
  new ApplicationAdaptor(this);
  if (!bus.registerObject(QLatin1String(kObjectPath), this)) return BusClaim::NoBus;
  const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
      bus.interface()->registerService(QLatin1String(kBusName),
                                       QDBusConnectionInterface::DontQueueService,
                                       QDBusConnectionInterface::DontAllowReplacement);
  if (!reply.isValid()) {
    bus.unregisterObject(QLatin1String(kObjectPath));
    return BusClaim::NoBus;
  }
  if (reply.value() != QDBusConnectionInterface::ServiceRegistered) {
    bus.unregisterObject(QLatin1String(kObjectPath));
    return BusClaim::NameTaken;
  }
  claimed_ = true;
  return BusClaim::Owner;
}

void ApplicationService::SetReady(bool ready) {
  ready_ = ready;
  if (ready_ && !pending_.empty()) Drain();
}

void ApplicationService::Enqueue(const QString& path, const QString& action) {
  pending_.push_back(Request{path, action});
  // From the event loop, never inside the bus call's dispatch.
  ScheduleDrain(0);
}

void ApplicationService::ScheduleDrain(int delayMs) {
  if (drainScheduled_) return;
  drainScheduled_ = true;
  QTimer::singleShot(delayMs, this, [this] {
    drainScheduled_ = false;
    Drain();
  });
}

void ApplicationService::Drain() {
  if (!ready_ || running_ || pending_.empty()) return;
  // An open shows its messages in modal boxes; a request inside one would
  // open a second project under the first one's message.
  if (QApplication::activeModalWidget() != nullptr) {
    ScheduleDrain(kBusyRetryMs);
    return;
  }
  running_ = true;
  const Request request = pending_.front();
  pending_.erase(pending_.begin());
  if (!request.action.isEmpty()) {
    if (!onAction || !onAction(request.action)) {
      Platform().Diagnostic("app",
                            u"unknown action asked over D-Bus: " + FromQString(request.action));
    }
  } else if (onOpen) {
    onOpen(request.path);
  }
  running_ = false;
  if (!pending_.empty()) ScheduleDrain(0);
}

ApplicationAdaptor::ApplicationAdaptor(ApplicationService* service)
    : QDBusAbstractAdaptor(service), service_(service) {}

void ApplicationAdaptor::Activate(const QVariantMap&) {
  service_->Enqueue(QString(), QString());
}

void ApplicationAdaptor::Open(const QStringList& uris, const QVariantMap&) {
  for (const QString& uri : uris) {
    const QString path = PathFromUrl(QUrl(uri, QUrl::StrictMode));
    if (path.isEmpty()) {
      Platform().Diagnostic("app", u"not a local file, not opened: " + FromQString(uri));
      continue;
    }
    service_->Enqueue(path, QString());
  }
}

void ApplicationAdaptor::ActivateAction(const QString& name, const QVariantList&,
                                        const QVariantMap&) {
  service_->Enqueue(QString(), name);
}

}  // namespace tolvani
