// Which application a process belongs to, from its systemd unit or its executable, and the
// icon its desktop entry names.
#include "platform/linux/desktop_entries.h"

#include "platform/linux/file_util.h"
#include "platform/linux/proc_pid.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include <sys/stat.h>

namespace velmora::platform {

namespace {

using linux_fs::trim;

bool isHex(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isxdigit(c); });
}

// "8-4-4-4-12" hexadecimal groups.
bool isUuid(std::string_view s) {
    if (s.size() != 36) return false;
    for (size_t i = 0; i < s.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? s[i] != '-' : !std::isxdigit(static_cast<unsigned char>(s[i]))) return false;
    }
    return true;
}

// systemd writes characters outside its unit-name alphabet (and "-" inside one name part)
// as "\xHH".
std::string unescapeUnit(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x' && isHex(s.substr(i + 2, 2))) {
            out += static_cast<char>(std::strtol(std::string(s.substr(i + 2, 2)).c_str(), nullptr, 16));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

void addUnique(std::vector<std::string>& out, std::string id) {
    if (!id.empty() && std::find(out.begin(), out.end(), id) == out.end()) out.push_back(std::move(id));
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view baseName(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::vector<std::string> desktopIdsFromUnit(std::string_view unit) {
    std::vector<std::string> out;
    if (unit.ends_with(".scope"))
        unit.remove_suffix(6);
    else if (unit.ends_with(".service"))
        unit.remove_suffix(8);
    else
        return out;

    if (unit.starts_with("snap.")) {
        // snap.<snap>.<app>.<uuid> (current) or snap.<snap>.<app>-<uuid> (older); the
        // snap's desktop files are named <snap>_<app>.desktop.
        unit.remove_prefix(5);
        const size_t dot = unit.find('.');
        if (dot == std::string_view::npos || dot == 0) return out;
        const std::string_view snap = unit.substr(0, dot);
        std::string_view app = unit.substr(dot + 1);
        app = app.substr(0, app.find('.'));
        if (app.size() > 37 && app[app.size() - 37] == '-' && isUuid(app.substr(app.size() - 36)))
            app.remove_suffix(37);
        if (app.empty()) return out;
        addUnique(out, std::string(snap) + "_" + std::string(app));
        addUnique(out, std::string(app));
        addUnique(out, std::string(snap));
        return out;
    }

    if (!unit.starts_with("app-")) return out;
    unit.remove_prefix(4);
    // app-[<launcher>-]<id>@<random>.service, or app-[<launcher>-]<id>-<random>.scope.
    if (const size_t at = unit.find('@'); at != std::string_view::npos) {
        unit = unit.substr(0, at);
    } else if (const size_t dash = unit.rfind('-'); dash != std::string_view::npos && isHex(unit.substr(dash + 1))) {
        unit = unit.substr(0, dash);
    }
    if (unit.empty()) return out;
    addUnique(out, unescapeUnit(unit));
    if (const size_t dash = unit.find('-'); dash != std::string_view::npos)
        addUnique(out, unescapeUnit(unit.substr(dash + 1)));
    return out;
}

std::vector<std::string> desktopIdsFromCgroup(std::string_view cgroupText) {
    std::vector<std::string> found;
    linux_fs::forEachLine(cgroupText, [&](std::string_view line) {
        if (!found.empty()) return;
        // hierarchy-ID:controllers:path
        const size_t first = line.find(':');
        const size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
        if (second == std::string_view::npos) return;
        std::string_view path = line.substr(second + 1);
        // The innermost unit is the most specific: read the components from the end.
        while (!path.empty() && found.empty()) {
            const size_t slash = path.rfind('/');
            const std::string_view part = slash == std::string_view::npos ? path : path.substr(slash + 1);
            found = desktopIdsFromUnit(part);
            if (slash == std::string_view::npos) break;
            path = path.substr(0, slash);
        }
    });
    return found;
}

std::string execProgram(std::string_view exec) {
    bool afterEnv = false, skipNext = false;
    size_t i = 0;
    while (i < exec.size()) {
        while (i < exec.size() && (exec[i] == ' ' || exec[i] == '\t'))
            ++i;
        if (i >= exec.size()) break;
        std::string word;
        if (exec[i] == '"') {
            for (++i; i < exec.size() && exec[i] != '"'; ++i) {
                if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
                word += exec[i];
            }
            ++i;  // the closing quote
        } else {
            for (; i < exec.size() && exec[i] != ' ' && exec[i] != '\t'; ++i)
                word += exec[i];
        }
        const std::string_view base = baseName(word);
        if (!afterEnv && base == "env") {
            afterEnv = true;
            continue;
        }
        // env's assignments and options come before the program; two options take a value.
        if (skipNext) {
            skipNext = false;
            continue;
        }
        if (afterEnv && (word.find('=') != std::string::npos || word.starts_with('-'))) {
            skipNext = word == "-u" || word == "-C";
            continue;
        }
        return std::string(base);
    }
    return {};
}

std::optional<DesktopEntry> parseDesktopEntry(std::string_view text) {
    DesktopEntry e;
    bool inGroup = false, seen = false;
    bool done = false;
    linux_fs::forEachLine(text, [&](std::string_view raw) {
        if (done) return;
        const std::string_view line = trim(raw);
        if (line.empty() || line.front() == '#') return;
        if (line.front() == '[') {
            if (inGroup) done = true;  // only the first group matters
            inGroup = line == "[Desktop Entry]";
            seen = seen || inGroup;
            return;
        }
        if (!inGroup) return;
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) return;
        const std::string_view key = trim(line.substr(0, eq));
        const std::string_view value = trim(line.substr(eq + 1));
        if (key == "Icon")
            e.icon = value;
        else if (key == "Exec")
            e.exec = execProgram(value);
        else if (key == "StartupWMClass")
            e.wmClass = lower(value);
        else if (key == "Hidden")
            e.hidden = value == "true";
    });
    if (!seen) return std::nullopt;
    return e;
}

std::vector<std::string> applicationDirs(const std::string& dataHome, const std::string& dataDirs,
                                         const std::string& home) {
    std::vector<std::string> roots;
    // Relative entries are invalid in the base-directory rules and are ignored.
    auto add = [&](std::string_view root) {
        while (root.size() > 1 && root.back() == '/')
            root.remove_suffix(1);
        if (!root.starts_with('/')) return;
        std::string dir = std::string(root) + "/applications";
        if (std::find(roots.begin(), roots.end(), dir) == roots.end()) roots.push_back(std::move(dir));
    };
    if (!dataHome.empty())
        add(dataHome);
    else if (!home.empty())
        add(home + "/.local/share");
    const std::string dirs = dataDirs.empty() ? std::string("/usr/local/share:/usr/share") : dataDirs;
    std::string_view rest = dirs;
    while (!rest.empty()) {
        const size_t colon = rest.find(':');
        add(rest.substr(0, colon));
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    return roots;
}

void DesktopIndex::build(const std::vector<std::string>& dirs) {
    byId_.clear();
    byExec_.clear();
    byWmClass_.clear();
    order_.clear();
    for (const std::string& dir : dirs)
        scan(dir, "", 0);
    // Programs and classes go to the entry that comes first, so an override in the user's
    // folder wins over the system's entry.
    for (const std::string& id : order_) {
        const DesktopEntry& e = byId_.at(id);
        if (e.hidden) continue;
        if (!e.exec.empty()) byExec_.try_emplace(e.exec, id);
        if (!e.wmClass.empty()) byWmClass_.try_emplace(e.wmClass, id);
    }
}

void DesktopIndex::scan(const std::string& dir, const std::string& prefix, int depth) {
    std::vector<std::string> names;
    if (!linux_fs::listDir(dir, names)) return;
    std::string buf;
    for (const std::string& name : names) {
        const std::string path = dir + "/" + name;
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) continue;
        // Subfolders give ids joined with "-"; a few levels are plenty (and stop link loops).
        if (S_ISDIR(st.st_mode)) {
            if (depth < 3) scan(path, prefix + name + "-", depth + 1);
            continue;
        }
        if (!S_ISREG(st.st_mode) || !name.ends_with(".desktop") || name.size() == 8) continue;
        std::string id = prefix + name.substr(0, name.size() - 8);
        if (byId_.contains(id)) continue;
        if (static_cast<size_t>(st.st_size) > kMaxFileBytes) continue;
        if (!linux_fs::readFile(path, buf, kMaxFileBytes + 1) || buf.size() > kMaxFileBytes) continue;
        std::optional<DesktopEntry> e = parseDesktopEntry(buf);
        if (!e) continue;
        byId_.emplace(id, std::move(*e));
        order_.push_back(std::move(id));
    }
}

const std::string* DesktopIndex::iconForId(const std::string& id) const {
    const auto it = byId_.find(id);
    if (it == byId_.end() || it->second.hidden || it->second.icon.empty()) return nullptr;
    return &it->second.icon;
}

const std::string* DesktopIndex::iconForProgram(const std::string& program) const {
    if (program.empty()) return nullptr;
    if (const auto it = byExec_.find(program); it != byExec_.end())
        if (const std::string* icon = iconForId(it->second)) return icon;
    const std::string low = lower(program);
    if (const auto it = byWmClass_.find(low); it != byWmClass_.end())
        if (const std::string* icon = iconForId(it->second)) return icon;
    if (const std::string* icon = iconForId(program)) return icon;
    return iconForId(low);
}

LinuxProcessIconReader::LinuxProcessIconReader(std::string procRoot, std::vector<std::string> applicationDirs,
                                               Clock clock, std::chrono::seconds recheck)
    : procRoot_(std::move(procRoot)), dirs_(std::move(applicationDirs)), clock_(std::move(clock)), recheck_(recheck) {}

std::optional<uint64_t> LinuxProcessIconReader::startTime(int32_t pid) {
    if (pid < 0) return std::nullopt;
    PidStat st;
    if (!linux_fs::readFile(procRoot_ + "/" + std::to_string(pid) + "/stat", buf_, 4096) ||
        !parsePidStat(buf_, st))
        return std::nullopt;
    return st.starttime;
}

void LinuxProcessIconReader::refreshIndex() {
    const auto now = clock_();
    if (checkedAt_ && now - *checkedAt_ < recheck_) return;
    checkedAt_ = now;
    // Installing or removing an application rewrites its folder, which changes its time.
    std::vector<int64_t> stamps;
    stamps.reserve(dirs_.size());
    for (const std::string& dir : dirs_) {
        struct stat st {};
        stamps.push_back(::stat(dir.c_str(), &st) == 0
                             ? static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec
                             : -1);
    }
    if (builds_ > 0 && stamps == dirStamps_) return;
    dirStamps_ = std::move(stamps);
    index_.build(dirs_);
    ++builds_;
}

ProcessIconSource LinuxProcessIconReader::sourceOf(const std::string& icon) {
    if (icon.starts_with('/')) return {ProcessIconSource::Kind::file, icon};
    // Theme names carry no extension, though entries sometimes write one.
    std::string name = icon;
    for (const char* ext : {".png", ".svg", ".xpm"})
        if (name.ends_with(ext)) name.resize(name.size() - 4);
    return {ProcessIconSource::Kind::themeName, name};
}

ProcessIconSource LinuxProcessIconReader::iconSource(int32_t pid) {
    if (pid < 0) return {};
    refreshIndex();
    const std::string dir = procRoot_ + "/" + std::to_string(pid);
    if (linux_fs::readFile(dir + "/cgroup", buf_, 64 << 10))
        for (const std::string& id : desktopIdsFromCgroup(buf_))
            if (const std::string* icon = index_.iconForId(id)) return sourceOf(*icon);
    if (std::optional<std::string> exe = linux_fs::linkBasename(dir + "/exe")) {
        if (exe->ends_with(" (deleted)")) exe->resize(exe->size() - 10);
        if (const std::string* icon = index_.iconForProgram(*exe)) return sourceOf(*icon);
    }
    if (std::optional<std::string> comm = linux_fs::readTrimmed(dir + "/comm"))
        if (const std::string* icon = index_.iconForProgram(*comm)) return sourceOf(*icon);
    return {};
}

std::unique_ptr<ProcessIconReader> makeProcessIconReader() {
    auto env = [](const char* name) {
        const char* v = std::getenv(name);
        return std::string(v ? v : "");
    };
    return std::make_unique<LinuxProcessIconReader>(
        "/proc", applicationDirs(env("XDG_DATA_HOME"), env("XDG_DATA_DIRS"), env("HOME")));
}

}  // namespace velmora::platform
