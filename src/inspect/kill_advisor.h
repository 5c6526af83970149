#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace velmora {

namespace platform {
class ProcessFactsSource;
}

// How risky ending a set of processes is; ordered.
enum class KillSeverity : int { info = 0, caution = 1, danger = 2 };
std::optional<KillSeverity> killSeverityFromRaw(int raw);

struct KillAdvice {
    KillSeverity severity = KillSeverity::info;
    QString title;
    QString message;
};

// What the user is asked to confirm.
struct KillRequest {
    std::vector<int32_t> pids;
    QStringList names;  // parallel to pids
    bool force = false;
    KillAdvice advice;
    // "123,456", with "!" appended when forcing.
    QString id() const;
};

// Rates ending processes by rules on their names, executable paths, pids and owners, and
// explains the riskiest one.
class KillAdvisor {
  public:
    enum class Kind { systemCritical, otherUser, vm, editor, browser, helper, normal };
    struct Judgement {
        QString name;
        KillSeverity severity = KillSeverity::info;
        Kind kind = Kind::normal;
    };
    struct Facts {
        QString name;
        QString path;
        uint32_t uid = 0;
    };
    using Lookup = std::function<std::optional<Facts>(int32_t pid)>;

    // The running system's processes, judged against the user running Velmora.
    KillAdvisor();
    KillAdvisor(Lookup lookup, uint32_t ownUid);
    // The facts a process-facts source gives; the source must outlive the lookup.
    static Lookup lookupIn(platform::ProcessFactsSource& source);

    // Judges at most the first 20 pids of 2 or more, counts them all, and names the first
    // of the riskiest. Texts are localized: call on the GUI thread.
    KillAdvice advise(const std::vector<int32_t>& pids, bool force) const;
    Judgement judge(int32_t pid) const;
    static QString reason(Kind kind, bool force);

    // Names compared exactly with a process name: the system's own services, and on Linux
    // the pieces of the desktop session (init and session managers, display servers and
    // compositors, shells, audio and message-bus daemons).
    static const QStringList& criticalNames();
    static const QStringList& desktopCriticalNames();

  private:
    Lookup lookup_;
    uint32_t ownUid_;
};

struct TerminateResult {
    std::vector<int32_t> ok;
    std::vector<int32_t> failed;
};

// The confirm-and-report steps every window shares when ending processes.
namespace KillFlow {
KillRequest makeRequest(std::vector<int32_t> pids, QStringList names, bool force, const KillAdvisor& advisor);
QString confirmLabel(bool force);
QString cancelLabel();
// "sent to N" followed by "failed for M" when any failed.
QString resultText(const TerminateResult& result);
}  // namespace KillFlow

}  // namespace velmora
