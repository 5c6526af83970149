#pragma once

#include "inspect/process_control.h"

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

// What the user is asked to confirm: exactly the processes that are acted on once confirmed.
struct KillRequest {
    ProcessAction action = ProcessAction::quit;
    std::vector<ProcessRef> targets;
    QStringList names;  // parallel to targets, each on one line
    KillAdvice advice;
    // The signal sent once confirmed when the user picked one; 0: the action's own. The
    // action is then the one closest to the signal, for the advice.
    int signal = 0;
    bool force() const { return action == ProcessAction::forceQuit; }
    std::vector<int32_t> pids() const;
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

    // Judges every pid of 2 or more, counts them, and names the first of the riskiest by
    // its entry in `names` (parallel to `pids`; a missing or empty entry: the name the system
    // gives). Texts are localized: call on the GUI thread.
    KillAdvice advise(const std::vector<int32_t>& pids, const QStringList& names, ProcessAction action) const;
    KillAdvice advise(const std::vector<int32_t>& pids, bool force) const {
        return advise(pids, {}, force ? ProcessAction::forceQuit : ProcessAction::quit);
    }
    Judgement judge(int32_t pid) const;
    static QString reason(Kind kind, bool force);
    static QString reason(Kind kind, ProcessAction action);

    // Names compared exactly with a process name: the system's own services, and on Linux
    // the pieces of the desktop session (init and session managers, display servers and
    // compositors, shells, audio and message-bus daemons).
    static const QStringList& criticalNames();
    static const QStringList& desktopCriticalNames();

  private:
    Lookup lookup_;
    uint32_t ownUid_;
};

}  // namespace velmora
