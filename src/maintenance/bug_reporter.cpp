#include "maintenance/bug_reporter.h"

#include "core/brand.h"
#include "core/localizer.h"
#include "maintenance/crash_handler.h"
#include "maintenance/log_files.h"
#include "platform/diagnostics.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

constexpr qint64 kMaxAnswerBytes = 1 << 20;

}  // namespace

BugReporter& BugReporter::shared() {
    static BugReporter* reporter = new BugReporter(defaultConfig());
    return *reporter;
}

BugReporter::Config BugReporter::defaultConfig() {
    const platform::SystemFacts facts = platform::systemFacts();
    Config config;
    config.dir = platform::logFolder();
    config.context = contextLine(QCoreApplication::applicationVersion(), facts.osText, facts.memoryBytes, facts.processors);
    QUrl base = Brand::url(L("brandServiceHomepage"), Brand::serviceFallback());
    base.setPath(base.path().endsWith(u'/') ? base.path().chopped(1) + QStringLiteral("/api/bugs")
                                            : base.path() + QStringLiteral("/api/bugs"));
    config.endpoint = base;
    return config;
}

BugReporter::BugReporter(Config config, QObject* parent) : QObject(parent), config_(std::move(config)) {
    if (!config_.dir.isEmpty()) makePrivateFolder(config_.dir);
}

bool BugReporter::makePrivateFolder(const QString& dir) {
    const QFileInfo info(dir);
    if (!info.exists()) {
        QDir().mkpath(info.absolutePath());
        // Made with its final mode, so it is never open to others even for a moment.
        QDir().mkdir(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    // A folder left by an older version is narrowed too; one of another user stays as is.
    const QByteArray path = QFile::encodeName(dir);
    struct stat st{};
    if (::stat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    if (st.st_uid == ::geteuid() && (st.st_mode & 07777) != S_IRWXU) ::chmod(path.constData(), S_IRWXU);
    return true;
}

BugReporter::~BugReporter() = default;

void BugReporter::installHandlers() const {
    CrashHandler::install(QFile::encodeName(config_.dir).toStdString(), config_.context.toStdString());
}

int64_t BugReporter::now() const {
    return config_.clock ? config_.clock() : QDateTime::currentSecsSinceEpoch();
}

QString BugReporter::contextLine(const QString& version, const QString& osText, uint64_t memoryBytes,
                                 int processors) {
    return QStringLiteral("Pelto Monitor %1, %2, RAM %3GB, %4 cores")
        .arg(version.isEmpty() ? QStringLiteral("?") : version, osText, QString::number(memoryBytes >> 30),
             QString::number(processors));
}

QString BugReporter::reportBody(const QString& context, const QString& text, bool* cut) {
    const QString head = context + QStringLiteral("\n\n[사용자 설명]\n");
    const QByteArray headBytes = head.toUtf8();
    QByteArray textBytes = text.toUtf8();
    const qsizetype room = std::max<qsizetype>(0, kMaxBodyBytes - headBytes.size());
    const bool cutting = textBytes.size() > room;
    if (cut) *cut = cutting;
    if (!cutting) return head + text;
    // Back to the first byte of a character: no character is split.
    qsizetype end = room;
    while (end > 0 && (static_cast<unsigned char>(textBytes[end]) & 0xC0) == 0x80)
        --end;
    textBytes.truncate(end);
    return head + QString::fromUtf8(textBytes);
}

QByteArray BugReporter::requestJson(const QString& body) {
    const QJsonObject request{{QStringLiteral("category"), QStringLiteral("bug")},
                              {QStringLiteral("title"), QStringLiteral("Velmora 문제 신고")},
                              {QStringLiteral("body"), body},
                              {QStringLiteral("severity"), QStringLiteral("medium")}};
    return QJsonDocument(request).toJson(QJsonDocument::Compact);
}

bool BugReporter::accepted(int httpStatus, const QByteArray& body) {
    if (httpStatus < 200 || httpStatus > 299) return false;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    return error.error == QJsonParseError::NoError && doc.isObject();
}

QString BugReporter::writeLog(const char* prefix, const QByteArray& content) const {
    if (config_.dir.isEmpty()) return {};
    const QByteArray dir = QFile::encodeName(config_.dir);
    char path[4096];
    const logs::Chunk chunk{content.constData(), static_cast<size_t>(content.size())};
    if (!logs::writeNewLog(dir.constData(), prefix, now(), {&chunk, 1}, nullptr, path, sizeof path)) return {};
    return QFile::decodeName(path);
}

QString BugReporter::saveReport(const QString& text) const {
    return writeLog("report", reportBody(config_.context, text).toUtf8());
}

QString BugReporter::writeCrash(const QString& text) const {
    return writeLog("crash", (config_.context + QStringLiteral("\n\n") + text).toUtf8());
}

void BugReporter::submit(const QString& text, QObject* receiver, Done done) {
    // The copy on disk comes first: whatever the network does, the text is kept.
    Outcome outcome;
    const QString body = reportBody(config_.context, text, &outcome.cut);
    outcome.savedPath = writeLog("report", body.toUtf8());

    if (!network_) network_ = new QNetworkAccessManager(this);
    QNetworkRequest request(config_.endpoint);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setTransferTimeout(static_cast<int>(config_.timeout.count()));
    QNetworkReply* reply = network_->post(request, requestJson(body));
    // The answer only has to say "accepted": a service that streams without end is cut off.
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kMaxAnswerBytes) reply->abort();
    });
    QPointer<QObject> target(receiver);
    const bool guarded = receiver != nullptr;
    connect(reply, &QNetworkReply::finished, this, [reply, target, guarded, done = std::move(done), outcome]() mutable {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        outcome.sent = reply->error() == QNetworkReply::NoError && reply->bytesAvailable() <= kMaxAnswerBytes &&
                       accepted(status, reply->readAll());
        if ((!guarded || target) && done) done(outcome);
    });
}

}  // namespace velmora
