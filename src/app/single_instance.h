#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

namespace velmora {

// Keeps one running copy per user. The first process holds a lock file and listens on a
// local socket beside it; a later one finds the lock taken, asks the first to show itself
// and exits, so a second launch never adds a second tray icon.
class SingleInstance : public QObject {
    Q_OBJECT
  public:
    // `folder`: where the lock and the socket live (the user's runtime folder).
    explicit SingleInstance(QString folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    static QString defaultFolder();

    // True when this process is now the only running copy and listens for later ones.
    bool claim();
    // From a later copy: tells the running one to show itself. False when none answered in time.
    bool notifyRunning(int timeoutMs = 2000);

  signals:
    // A later copy asked the running one to show itself.
    void activationRequested();

  private:
    QString folder_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
};

}  // namespace velmora
