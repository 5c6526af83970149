#include "inspect/process_info_lookup.h"

#include "inspect/run_tool.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTimer>

#if !defined(Q_OS_MACOS)
#include <sys/utsname.h>
#endif

namespace velmora {

ProcessInfoLookup& ProcessInfoLookup::shared() {
    static ProcessInfoLookup* instance = new ProcessInfoLookup();  // lives as long as the program
    return *instance;
}

ProcessInfoLookup::ProcessInfoLookup(QUrl site, std::chrono::milliseconds timeout, qint64 maxBodyBytes,
                                     QObject* parent)
    : QObject(parent),
      site_(std::move(site)),
      timeout_(timeout),
      maxBodyBytes_(maxBodyBytes),
      network_(new QNetworkAccessManager(this)) {}

ProcessInfoLookup::~ProcessInfoLookup() = default;

QUrl ProcessInfoLookup::pageUrl(const QUrl& site, const QString& key) {
    // The characters a URL path allows as they are, less "/".
    const QByteArray encoded = QUrl::toPercentEncoding(key, "!$&'()*+,;=:@-._~");
    QUrl url = site;
    url.setPath(QStringLiteral("/process/") + QString::fromLatin1(encoded) + QStringLiteral(".html"),
                QUrl::StrictMode);
    return url;
}

std::optional<QString> ProcessInfoLookup::metaDescription(const QString& html) {
    static const QRegularExpression pattern(
        QStringLiteral(R"re(<meta[^>]*name=["']description["'][^>]*content=["']([^"']{20,})["'])re"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(html);
    if (!m.hasMatch()) return std::nullopt;
    QString text = m.captured(1);
    text.replace(QLatin1String("&amp;"), QLatin1String("&"));
    text.replace(QLatin1String("&#39;"), QLatin1String("'"));
    text.replace(QLatin1String("&quot;"), QLatin1String("\""));
    text = text.trimmed();
    if (text.isEmpty()) return std::nullopt;
    return text;
}

QByteArray ProcessInfoLookup::userAgent() {
#if defined(Q_OS_MACOS)
    return QByteArrayLiteral("Mozilla/5.0 (Macintosh)");
#else
    // As a browser here names the system: the kernel and the machine's architecture.
    static const QByteArray agent = [] {
        struct utsname u {};
        if (::uname(&u) != 0) return QByteArrayLiteral("Mozilla/5.0 (X11; Linux)");
        return QByteArray("Mozilla/5.0 (X11; ") + u.sysname + ' ' + u.machine + ')';
    }();
    return agent;
#endif
}

void ProcessInfoLookup::describe(const QString& name, QObject* receiver,
                                 std::function<void(std::optional<QString>)> done) {
    // "Safari.app" and "safari" are one program: one entry, one page.
    QString key = name.toLower();
    if (key.endsWith(QLatin1String(".app"))) key.chop(4);
    if (const auto it = cache_.constFind(key); it != cache_.constEnd()) {
        const std::optional<QString> result = it->isEmpty() ? std::nullopt : std::optional<QString>(*it);
        Waiter w{QPointer<QObject>(receiver), receiver != nullptr, std::move(done)};
        QTimer::singleShot(0, this, [w = std::move(w), result] {
            if (w.alive()) w.done(result);
        });
        return;
    }
    auto& waiters = waiting_[key];
    waiters.push_back({QPointer<QObject>(receiver), receiver != nullptr, std::move(done)});
    if (waiters.size() == 1) fetch(key);
}

void ProcessInfoLookup::fetch(const QString& key) {
    const QUrl url = pageUrl(site_, key);
    if (!url.isValid()) {
        QTimer::singleShot(0, this, [this, key] { finish(key, std::nullopt); });
        return;
    }
    QNetworkRequest request(url);
    request.setRawHeader("User-Agent", userAgent());
    QNetworkReply* reply = network_->get(request);

    struct Download {
        QByteArray body;
        bool tooLarge = false;
    };
    auto download = std::make_shared<Download>();
    // A deadline on the whole exchange: a server that trickles bytes cannot hold it open.
    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
    deadline->start(timeout_);
    connect(reply, &QNetworkReply::readyRead, reply, [reply, download, limit = maxBodyBytes_] {
        download->body += reply->read(limit + 1 - download->body.size());
        if (download->body.size() > limit) {
            download->tooLarge = true;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, download, key] {
        reply->deleteLater();
        std::optional<QString> result;
        if (!download->tooLarge && reply->error() == QNetworkReply::NoError &&
            reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200) {
            download->body += reply->read(maxBodyBytes_ + 1 - download->body.size());
            if (download->body.size() <= maxBodyBytes_)
                if (const auto text = decodeUtf8(download->body)) result = metaDescription(*text);
        }
        finish(key, result);
    });
}

void ProcessInfoLookup::finish(const QString& key, const std::optional<QString>& result) {
    cache_.insert(key, result.value_or(QString()));
    const std::vector<Waiter> waiters = waiting_.take(key);
    for (const Waiter& w : waiters)
        if (w.alive()) w.done(result);
}

}  // namespace velmora
