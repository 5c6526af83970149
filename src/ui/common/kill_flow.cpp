#include "ui/common/kill_flow.h"

#include "core/localizer.h"
#include "platform/process.h"
#include "ui/common/one_line.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <csignal>

namespace velmora {

KillFlow::KillFlow(ProcessActionServices services) : services_(std::move(services)) {
    if (!services_.advisor) services_.advisor = std::make_shared<KillAdvisor>();
    if (!services_.control) services_.control = std::make_shared<ProcessControl>();
}

KillRequest KillFlow::request(ProcessAction action, std::vector<ProcessTarget> targets) const {
    KillRequest r;
    r.action = action;
    for (ProcessTarget& t : targets) {
        if (!services_.control->mayActOn(t.ref.pid)) continue;
        const QString name = t.name.isEmpty() ? platform::pidName(t.ref.pid) : t.name;
        // A row whose stamp the sampler did not know takes the one its pid has now, when the
        // user asks: from here on a newcomer on the pid is told apart.
        r.targets.push_back(services_.control->stamp(t.ref.pid, t.ref.startTime));
        r.names << elideMiddle(oneLine(name), kNameChars);
    }
    r.advice = services_.advisor->advise(r.pids(), r.names, action);
    return r;
}

std::optional<ActionResult> KillFlow::ask(KillRequest request, QWidget* parent) const {
    const bool confirmed =
        services_.confirm ? services_.confirm(request, parent) : confirmKill(request, parent);
    if (!confirmed) return std::nullopt;
    if (request.signal != 0) return services_.control->applySignal(request.targets, request.signal);
    return services_.control->apply(request.targets, request.action);
}

std::optional<ActionResult> KillFlow::run(ProcessAction action, std::vector<ProcessTarget> targets,
                                          QWidget* parent) const {
    if (targets.empty()) return std::nullopt;
    KillRequest r = request(action, targets);
    if (r.targets.empty()) {
        ActionResult refused;
        for (const ProcessTarget& t : targets)
            refused.refused.push_back(t.ref.pid);
        return refused;
    }
    return ask(std::move(r), parent);
}

std::optional<ActionResult> KillFlow::runTree(ProcessAction action, const ProcessTarget& root, const NameOf& nameOf,
                                              QWidget* parent) const {
    if (!services_.control->mayActOn(root.ref.pid)) return ActionResult{{}, {}, {root.ref.pid}};
    const std::vector<ProcessRef> members = services_.control->tree(root.ref);
    if (members.empty()) return ActionResult{{}, {root.ref.pid}, {}};
    std::vector<ProcessTarget> targets;
    targets.reserve(members.size());
    for (const ProcessRef& m : members) {
        QString name = m.pid == root.ref.pid ? root.name : QString();
        if (name.isEmpty() && nameOf) name = nameOf(m.pid);
        targets.push_back({m, name});
    }
    return ask(request(action, std::move(targets)), parent);
}

std::optional<ActionResult> KillFlow::sendSignal(int signal, std::vector<ProcessTarget> targets,
                                                 QWidget* parent) const {
    if (targets.empty()) return std::nullopt;
    KillRequest r = request(actionOf(signal), targets);
    if (r.targets.empty()) {
        ActionResult refused;
        for (const ProcessTarget& t : targets)
            refused.refused.push_back(t.ref.pid);
        return refused;
    }
    r.signal = signal;
    return ask(std::move(r), parent);
}

const std::vector<KillFlow::NamedSignal>& KillFlow::offeredSignals() {
    static const std::vector<NamedSignal> list = {
        {SIGHUP, "SIGHUP"},   {SIGINT, "SIGINT"},   {SIGTERM, "SIGTERM"}, {SIGKILL, "SIGKILL"},
        {SIGUSR1, "SIGUSR1"}, {SIGUSR2, "SIGUSR2"}, {SIGSTOP, "SIGSTOP"}, {SIGCONT, "SIGCONT"},
    };
    return list;
}

ProcessAction KillFlow::actionOf(int signal) {
    switch (signal) {
        case SIGKILL:
            return ProcessAction::forceQuit;
        case SIGSTOP:
            return ProcessAction::suspend;
        case SIGCONT:
            return ProcessAction::resume;
        default:
            // Most signals end a process that does not handle them.
            return ProcessAction::quit;
    }
}

QString KillFlow::signalResultText(int signal, const ActionResult& result) {
    QString name = QString::number(signal);
    for (const NamedSignal& s : offeredSignals())
        if (s.signal == signal) name = QLatin1String(s.name);
    QStringList parts;
    if (!result.done.empty() || (result.ended.empty() && result.refused.empty()))
        parts << L("ptSignalSentN", name, static_cast<qulonglong>(result.done.size()));
    if (!result.ended.empty()) parts << L("killEnded", static_cast<qulonglong>(result.ended.size()));
    if (!result.refused.empty()) parts << L("killFailed", static_cast<qulonglong>(result.refused.size()));
    for (QString& p : parts)
        p = p.trimmed();
    return parts.join(u' ');
}

ActionOutcome KillFlow::setPriority(const ProcessRef& ref, int value) const {
    return services_.control->setPriority(ref, value);
}

QString KillFlow::resultText(ProcessAction action, const ActionResult& result) {
    QStringList parts;
    if (!result.done.empty() || (result.ended.empty() && result.refused.empty())) {
        const auto n = static_cast<qulonglong>(result.done.size());
        switch (action) {
            case ProcessAction::quit:
            case ProcessAction::forceQuit:
                parts << L("killSent", n);
                break;
            case ProcessAction::suspend:
                parts << L("killSuspended", n);
                break;
            case ProcessAction::resume:
                parts << L("killResumed", n);
                break;
        }
    }
    if (!result.ended.empty()) parts << L("killEnded", static_cast<qulonglong>(result.ended.size()));
    if (!result.refused.empty()) parts << L("killFailed", static_cast<qulonglong>(result.refused.size()));
    for (QString& p : parts)
        p = p.trimmed();
    return parts.join(u' ');
}

QString KillFlow::confirmLabel(ProcessAction action) {
    switch (action) {
        case ProcessAction::quit:
            return L("actQuit");
        case ProcessAction::forceQuit:
            return L("actForceQuit");
        case ProcessAction::suspend:
            return L("adSuspend");
        case ProcessAction::resume:
            return L("adResume");
    }
    return L("actQuit");
}

QString KillFlow::cancelLabel() {
    return L("anCancel");
}

bool confirmKill(const KillRequest& request, QWidget* parent) {
    QMessageBox box(parent);
    box.setIcon(request.advice.severity == KillSeverity::danger    ? QMessageBox::Critical
                : request.advice.severity == KillSeverity::caution ? QMessageBox::Warning
                                                                    : QMessageBox::Question);
    box.setTextFormat(Qt::PlainText);  // process names may hold anything
    box.setText(request.advice.title);
    box.setInformativeText(request.advice.message);
    // The text format above covers only the main text; the informative label would take a
    // name that looks like markup for rich text.
    if (auto* informative = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        informative->setTextFormat(Qt::PlainText);
    QString label = KillFlow::confirmLabel(request.action);
    if (request.signal != 0)
        for (const KillFlow::NamedSignal& s : KillFlow::offeredSignals())
            if (s.signal == request.signal) label = L("ptSendNamed", QLatin1String(s.name));
    QPushButton* yes = box.addButton(label, QMessageBox::DestructiveRole);
    box.addButton(KillFlow::cancelLabel(), QMessageBox::RejectRole);
    box.exec();
    return box.clickedButton() == yes;
}

}  // namespace velmora
