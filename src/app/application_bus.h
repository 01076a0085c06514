// One player window for many files: the player's name on the D-Bus session
// bus and the freedesktop org.freedesktop.Application interface on it.
//
// The first player takes the name kBusName and serves kObjectPath. A later
// `tolvani-player FILE` finds the name taken and hands FILE over with Open
// (no FILE: Activate), then exits 0; the first player opens the file as a
// dropped file is opened (its usual messages) and raises its window. With
// no session bus, or when the running player does not answer, the later
// player simply starts a window of its own.
//
// The desktop entry is D-Bus activatable: the session bus may start
// `tolvani-player --gapplication-service`, which waits for its first
// Activate or Open before it opens anything.
#pragma once

#include <QDBusAbstractAdaptor>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <functional>
#include <vector>

namespace tolvani {

// The bus name, which is also the desktop entry's name (kBusName.desktop).
inline constexpr char kBusName[] = "io.github.tolvani.player";
inline constexpr char kObjectPath[] = "/io/github/tolvani/player";
// The actions ActivateAction knows (the desktop entry lists them too).
inline constexpr char kActionOpenDialog[] = "open-file";

// A file URL for path that keeps the bytes of a name that is not UTF-8.
QString FileUrlOf(const QString& path);

enum class BusClaim {
  Owner,      // this process now owns the name and serves the interface
  NameTaken,  // another player owns it
  NoBus,      // no session bus (or it refused the object)
};

// What a hand-over to the running player came to.
enum class HandOver {
  Delivered,  // the running player accepted the request
  Failed,     // no answer or an error: start a window of our own
};

// Asks the player owning kBusName to open file (an absolute or relative
// path; empty: only raise its window). startupId is passed on as the
// "desktop-startup-id" platform datum when not empty.
HandOver HandToRunningPlayer(const QString& file, const QString& startupId);

// The served object. Requests are queued and carried out from the event
// loop when the player is ready for them (see SetReady), never inside a
// modal dialog or an open under way.
class ApplicationService : public QObject {
  Q_OBJECT
 public:
  // Handlers, called from the event loop. onOpen gets a local path (empty:
  // activate only); onAction gets an action name and returns false when
  // it does not know it.
  std::function<void(const QString& path)> onOpen;
  std::function<bool(const QString& name)> onAction;

  ApplicationService();
  ~ApplicationService() override;

  // Registers the object and then asks for the name (not queued behind
  // another owner).
  BusClaim Claim();
  // Until true, requests wait. A busy player (a modal dialog, a handler
  // running) also makes them wait.
  void SetReady(bool ready);
  int pendingCount() const { return static_cast<int>(pending_.size()); }

  // Called by the adaptor.
  void Enqueue(const QString& path, const QString& action);

 private:
  struct Request {
    QString path;
    QString action;  // empty: open path (or activate when path is empty)
  };
  void Drain();
  void ScheduleDrain(int delayMs);

  bool ready_ = false;
  bool running_ = false;  // a handler is under way (it may open dialogs)
  bool claimed_ = false;
  bool drainScheduled_ = false;
  std::vector<Request> pending_;
};

// The interface on the bus; its slots reply at once and queue the work.
class ApplicationAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
 public:
  explicit ApplicationAdaptor(ApplicationService* service);

 public slots:
  void Activate(const QVariantMap& platformData);
  void Open(const QStringList& uris, const QVariantMap& platformData);
  void ActivateAction(const QString& name, const QVariantList& parameter,
                      const QVariantMap& platformData);

 private:
  ApplicationService* service_;
};

}  // namespace tolvani
