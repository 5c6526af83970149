#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;

namespace velmora {

// A one-paragraph description of a program, taken from the description meta tag of the
// page a public process-description site publishes per executable name. Answers, failures
// included, are remembered per lower-cased name (".app" dropped) for the whole run. GUI
// thread only.
class ProcessInfoLookup : public QObject {
    Q_OBJECT
  public:
    // The site the descriptions come from.
    static constexpr const char* kDefaultSite = "https://www.file.net";
    static constexpr std::chrono::milliseconds kTimeout{6000};
    // Description pages are small; a larger body is not one.
    static constexpr qint64 kMaxBodyBytes = 2 << 20;

    static ProcessInfoLookup& shared();

    // `site`: scheme, host and port of the site (tests point it at a local server).
    explicit ProcessInfoLookup(QUrl site = QUrl(QString::fromLatin1(kDefaultSite)),
                               std::chrono::milliseconds timeout = kTimeout,
                               qint64 maxBodyBytes = kMaxBodyBytes, QObject* parent = nullptr);
    ~ProcessInfoLookup() override;

    // Calls `done` later, on this thread, with the description or absent; not at all when a
    // given `receiver` is gone by then. Concurrent calls for one name share one download.
    void describe(const QString& name, QObject* receiver, std::function<void(std::optional<QString>)> done);

    // The page address for a cache key (the name lower-cased, one trailing ".app" dropped),
    // percent-encoded ("/" included, so a name cannot reach another path of the site).
    static QUrl pageUrl(const QUrl& site, const QString& key);
    // The meta description of a page, with &amp;, &#39; and &quot; decoded in that order.
    static std::optional<QString> metaDescription(const QString& html);
    // The User-Agent the requests carry: a browser's on the system the program runs on,
    // "Mozilla/5.0 (Macintosh)" on macOS, "Mozilla/5.0 (X11; Linux x86_64)" and the like on
    // Linux.
    static QByteArray userAgent();

    QNetworkAccessManager& network() { return *network_; }

  private:
    struct Waiter {
        QPointer<QObject> receiver;
        bool guarded = false;  // a receiver was given
        std::function<void(std::optional<QString>)> done;
        bool alive() const { return !guarded || receiver; }
    };
    void fetch(const QString& key);
    void finish(const QString& key, const std::optional<QString>& result);

    QUrl site_;
    std::chrono::milliseconds timeout_;
    qint64 maxBodyBytes_;
    QNetworkAccessManager* network_;
    QHash<QString, QString> cache_;  // empty: no description could be had
    QHash<QString, std::vector<Waiter>> waiting_;
};

}  // namespace velmora
