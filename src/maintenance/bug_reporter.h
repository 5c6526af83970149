#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <chrono>
#include <cstdint>
#include <functional>

class QNetworkAccessManager;

namespace velmora {

// Keeps the local folder of crash logs and problem-report copies, and sends problem
// reports to the program's web service. Every file is plain UTF-8, written whole and
// atomically under a name no other file has ("report-<seconds>.log", then "-2", "-3", ...
// within one second); the program never deletes one. They may hold what the user wrote
// and where the program was: the folder is the user's alone (0700), each file too (0600).
class BugReporter : public QObject {
    Q_OBJECT
  public:
    // The most a report body may hold, in UTF-8 bytes; a longer description is cut to fit.
    static constexpr qsizetype kMaxBodyBytes = 64 * 1024;

    struct Config {
        QString dir;      // the log folder
        QString context;  // the system-context line
        QUrl endpoint;    // where reports are posted
        std::chrono::milliseconds timeout{60'000};
        std::function<int64_t()> clock;  // unix seconds; null: the system clock
    };

    // How one report went: sent when the service accepted it; `savedPath` empty when the
    // local copy could not be written.
    struct Outcome {
        bool sent = false;
        // The description was cut to fit kMaxBodyBytes.
        bool cut = false;
        QString savedPath;
        bool saved() const { return !savedPath.isEmpty(); }
    };
    using Done = std::function<void(const Outcome&)>;

    // Created on first use with this machine's folder, context and the service's address;
    // the folder is made then (a failure only loses later files).
    static BugReporter& shared();
    static Config defaultConfig();

    explicit BugReporter(Config config, QObject* parent = nullptr);
    ~BugReporter() override;

    const QString& dir() const { return config_.dir; }
    const QString& systemContext() const { return config_.context; }

    // Installs the crash handlers for this folder and context (see CrashHandler).
    void installHandlers() const;

    // Keeps a copy of the report, then posts it without blocking the caller. `done` runs on
    // this object's thread once the service answered or failed, unless `receiver` is gone.
    void submit(const QString& text, QObject* receiver, Done done);

    // The local copy alone; its path, or empty when it could not be written.
    QString saveReport(const QString& text) const;
    // Makes `dir` with its parents and keeps it the user's alone. False when it is not a
    // folder afterwards.
    static bool makePrivateFolder(const QString& dir);
    QString writeCrash(const QString& text) const;

    // "Pelto Monitor <version>, <os>, RAM <GiB>GB, <n> cores"; an empty version reads "?".
    static QString contextLine(const QString& version, const QString& osText, uint64_t memoryBytes, int processors);
    // The body of a report: the context, a heading, then `text` cut at a character boundary
    // so the whole fits kMaxBodyBytes; `cut` (when given) tells whether it was cut.
    static QString reportBody(const QString& context, const QString& text, bool* cut = nullptr);
    static QByteArray requestJson(const QString& body);
    // A success status with a JSON object as the body.
    static bool accepted(int httpStatus, const QByteArray& body);

  private:
    QString writeLog(const char* prefix, const QByteArray& content) const;
    int64_t now() const;

    Config config_;
    QNetworkAccessManager* network_ = nullptr;  // made on the first submission
};

}  // namespace velmora
