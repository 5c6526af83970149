#include "inspect/kill_advisor.h"

#include "core/localizer.h"
#include "platform/process.h"
#include "platform/process_facts.h"

#include <unistd.h>

namespace velmora {

std::optional<KillSeverity> killSeverityFromRaw(int raw) {
    if (raw < 0 || raw > 2) return std::nullopt;
    return static_cast<KillSeverity>(raw);
}

std::vector<int32_t> KillRequest::pids() const {
    std::vector<int32_t> out;
    out.reserve(targets.size());
    for (const ProcessRef& ref : targets)
        out.push_back(ref.pid);
    return out;
}

QString KillRequest::id() const {
    QStringList parts;
    parts.reserve(static_cast<qsizetype>(targets.size()));
    for (const ProcessRef& ref : targets)
        parts.append(QString::number(ref.pid));
    return parts.join(u',') + (force() ? QStringLiteral("!") : QString());
}

namespace {

const QStringList kVmFragments = {"qemu",      "virtualbox", "vboxheadless", "vmware",
                                  "virtiofsd", "com.docker", "utm"};
const QStringList kHelperFragments = {"helper", "renderer", "(gpu)", "crashpad", "webcontent", "plugin"};
const QStringList kEditorFragments = {
    "xcode",    "visual studio", "vscode",         "code helper", "sublime",  "intellij",
    "pycharm",  "webstorm",      "android studio", "word",        "excel",    "powerpoint",
    "keynote",  "pages",         "numbers",        "hancom",      "hwp",      QStringLiteral("한글"),
    "textedit", "photoshop",     "illustrator",    "notion",      "obsidian", "typora"};
const QStringList kBrowserFragments = {"safari", "chrome", "firefox", "microsoft edge", "msedge", "whale",
                                       "brave",  "opera",  "arc"};

bool anyIn(const QStringList& fragments, const QString& name, const QString& path) {
    for (const QString& f : fragments)
        if (name.contains(f) || path.contains(f)) return true;
    return false;
}

}  // namespace

const QStringList& KillAdvisor::desktopCriticalNames() {
    static const QStringList names = {
        // init, session and login
        "systemd", "systemd-logind", "systemd-journald", "systemd-udevd", "gnome-session-binary", "gdm",
        "gdm-session-worker", "gdm-wayland-session", "gdm-x-session", "sddm", "lightdm", "ksmserver",
        "xfce4-session", "cinnamon-session",
        // display servers, compositors and shells
        "Xorg", "Xwayland", "gnome-shell", "kwin_wayland", "kwin_x11", "plasmashell", "xfwm4", "cinnamon",
        "sway", "Hyprland", "weston",
        // audio and message buses
        "pipewire", "pipewire-pulse", "wireplumber", "pulseaudio", "dbus-daemon", "dbus-broker",
        "dbus-broker-launch"};
    return names;
}

const QStringList& KillAdvisor::criticalNames() {
    static const QStringList names = [] {
        QStringList n = {"launchd",
                         "kernel_task",
                         "WindowServer",
                         "loginwindow",
                         "logind",
                         "coreaudiod",
                         "SystemUIServer",
                         "Dock",
                         "cfprefsd",
                         "opendirectoryd",
                         "securityd",
                         "trustd",
                         "mds",
                         "mds_stores",
                         "mdworker",
                         "distnoted",
                         "notifyd",
                         "hidd",
                         "backboardd",
                         "powerd",
                         "configd",
                         "syslogd",
                         "UserEventAgent",
                         "ControlCenter",
                         "Spotlight",
                         "universalaccessd"};
#if defined(__linux__)
        n += desktopCriticalNames();
#endif
        return n;
    }();
    return names;
}

KillAdvisor::KillAdvisor()
    : KillAdvisor(lookupIn(platform::systemProcessFacts()), static_cast<uint32_t>(::getuid())) {}

KillAdvisor::Lookup KillAdvisor::lookupIn(platform::ProcessFactsSource& source) {
    return [&source](int32_t pid) -> std::optional<Facts> {
        const auto f = source.facts(pid);
        if (!f) return std::nullopt;
        return Facts{QString::fromUtf8(f->name), QString::fromUtf8(f->path), f->uid};
    };
}

KillAdvisor::KillAdvisor(Lookup lookup, uint32_t ownUid) : lookup_(std::move(lookup)), ownUid_(ownUid) {}

KillAdvisor::Judgement KillAdvisor::judge(int32_t pid) const {
    const std::optional<Facts> facts = lookup_ ? lookup_(pid) : std::nullopt;
    const QString name = facts ? facts->name : platform::pidName(pid);
    const QString lowerName = name.toLower();
    const QString lowerPath = facts ? facts->path.toLower() : QString();

    if (criticalNames().contains(name) || pid <= 99)
        return {name, KillSeverity::danger, Kind::systemCritical};
    if (anyIn(kVmFragments, lowerName, lowerPath)) return {name, KillSeverity::danger, Kind::vm};
    if (facts && facts->uid != ownUid_) return {name, KillSeverity::danger, Kind::otherUser};
    if (anyIn(kHelperFragments, lowerName, lowerPath)) return {name, KillSeverity::info, Kind::helper};
    if (anyIn(kEditorFragments, lowerName, lowerPath)) return {name, KillSeverity::caution, Kind::editor};
    if (anyIn(kBrowserFragments, lowerName, lowerPath)) return {name, KillSeverity::caution, Kind::browser};
    return {name, KillSeverity::info, Kind::normal};
}

QString KillAdvisor::reason(Kind kind, bool force) {
    switch (kind) {
        case Kind::systemCritical:
            return L("kaSystemCritical");
        case Kind::otherUser:
            return L("kaOtherUser");
        case Kind::vm:
            return L("kaVM");
        case Kind::editor:
            return L("kaEditor");
        case Kind::browser:
            return L("kaBrowser");
        case Kind::helper:
            return force ? L("kaHelperForce") : L("kaHelper");
        case Kind::normal:
            break;
    }
    return force ? L("kaNormalForce") : L("kaNormal");
}

QString KillAdvisor::reason(Kind kind, ProcessAction action) {
    const bool pausing = action == ProcessAction::suspend || action == ProcessAction::resume;
    if (pausing && (kind == Kind::normal || kind == Kind::helper || kind == Kind::editor || kind == Kind::browser))
        return action == ProcessAction::suspend ? L("kaSuspend") : L("kaResume");
    return reason(kind, action == ProcessAction::forceQuit);
}

namespace {

QString titleOf(ProcessAction action) {
    switch (action) {
        case ProcessAction::quit:
            return L("kaTitleQuit");
        case ProcessAction::forceQuit:
            return L("kaTitleForce");
        case ProcessAction::suspend:
            return L("kaTitleSuspend");
        case ProcessAction::resume:
            return L("kaTitleResume");
    }
    return L("kaTitleQuit");
}

QString verbOf(ProcessAction action) {
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

}  // namespace

KillAdvice KillAdvisor::advise(const std::vector<int32_t>& pids, const QStringList& names,
                               ProcessAction action) const {
    // Every member is judged, however many: a tree or group whose riskiest process sits
    // after the first few must still be called what it is.
    std::optional<Judgement> worst;
    size_t kept = 0;
    for (size_t i = 0; i < pids.size(); ++i) {
        if (pids[i] < 2) continue;
        ++kept;
        Judgement j = judge(pids[i]);
        if (worst && j.severity <= worst->severity) continue;
        const qsizetype at = static_cast<qsizetype>(i);
        if (at < names.size() && !names[at].isEmpty()) j.name = names[at];
        worst = std::move(j);
    }
    // Nothing to end is no forced quit either.
    if (!worst)
        return {KillSeverity::info, titleOf(action == ProcessAction::forceQuit ? ProcessAction::quit : action),
                L("kaNone")};

    QString marker;
    if (worst->severity == KillSeverity::caution) marker = L("kaMarkerCaution");
    if (worst->severity == KillSeverity::danger) marker = L("kaMarkerDanger");
    const QString why = reason(worst->kind, action);

    QString message;
    if (kept == 1) {
        message = marker + worst->name + QStringLiteral("\n\n") + why;
    } else {
        message = L("kaMulti", marker, static_cast<qulonglong>(kept), verbOf(action), worst->name, why);
    }
    return {worst->severity, titleOf(action), message};
}

}  // namespace velmora
