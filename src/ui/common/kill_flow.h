#pragma once

#include "inspect/kill_advisor.h"
#include "inspect/process_control.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QWidget;

namespace velmora {

// One process as a window offers it: who it is, and the name its row showed.
struct ProcessTarget {
    ProcessRef ref;
    QString name;
};

// The one way every window reaches the advisor, the control and the confirmation.
struct ProcessActionServices {
    std::shared_ptr<const KillAdvisor> advisor;     // null: the running system's
    std::shared_ptr<const ProcessControl> control;  // null: the running system's
    // Asks the user to confirm; null: confirmKill().
    std::function<bool(const KillRequest&, QWidget* parent)> confirm;
};

// Ending, suspending, resuming and renicing processes, the same way in every window:
// request → advice → confirmation → control → result text. Each window keeps only which
// processes it offers and where the result shows. GUI thread.
class KillFlow {
  public:
    // The name a process without a known name goes by.
    using NameOf = std::function<QString(int32_t pid)>;

    explicit KillFlow(ProcessActionServices services = {});

    // The request the user is asked about: targets that may not be acted on (pids below 2,
    // Velmora itself) left out, names on one line and cut in the middle, and the advice
    // over every target.
    KillRequest request(ProcessAction action, std::vector<ProcessTarget> targets) const;
    // Asks about `targets` and, once confirmed, acts on exactly those. Nothing when nothing
    // was asked or the user cancelled; when no target may be acted on, nothing is asked and
    // each is reported refused.
    std::optional<ActionResult> run(ProcessAction action, std::vector<ProcessTarget> targets,
                                    QWidget* parent) const;
    // The same for `root` and everything under it. The tree is taken once, now: the advice
    // judges every member, and confirming acts on that list, children first; a process born
    // while the question is open is not part of it. A root that is no longer the process it
    // names is reported as ended without asking.
    std::optional<ActionResult> runTree(ProcessAction action, const ProcessTarget& root, const NameOf& nameOf,
                                        QWidget* parent) const;
    // Asks about `targets` as for the action closest to `signal`, and once confirmed sends
    // `signal` to exactly those.
    std::optional<ActionResult> sendSignal(int signal, std::vector<ProcessTarget> targets, QWidget* parent) const;
    // The nice value, for the process `ref` names; no confirmation.
    ActionOutcome setPriority(const ProcessRef& ref, int value) const;

    // The signals a menu offers by name, and the action whose advice and wording fit each.
    struct NamedSignal {
        int signal;
        const char* name;
    };
    static const std::vector<NamedSignal>& offeredSignals();
    static ProcessAction actionOf(int signal);
    // "SIGUSR1 sent to N", then what ended and what failed, as resultText.
    static QString signalResultText(int signal, const ActionResult& result);

    // "Sent to N", then "N had already ended" and "failed for N" where any did.
    static QString resultText(ProcessAction action, const ActionResult& result);
    static QString confirmLabel(ProcessAction action);
    static QString cancelLabel();
    // Names in a confirmation are at most this many characters.
    static constexpr int kNameChars = 60;

    const ProcessControl& control() const { return *services_.control; }
    const KillAdvisor& advisor() const { return *services_.advisor; }

  private:
    std::optional<ActionResult> ask(KillRequest request, QWidget* parent) const;

    ProcessActionServices services_;
};

// Asks the user to confirm `request`: the advice's title and message as plain text, an
// icon by its severity, the button named for the action. True when confirmed.
bool confirmKill(const KillRequest& request, QWidget* parent);

}  // namespace velmora
