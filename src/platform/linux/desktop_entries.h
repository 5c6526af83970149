#pragma once

#include "platform/process_icons.h"

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velmora::platform {

// Desktop ids a systemd unit name in a cgroup path may stand for, most likely first:
// "app-gnome-org.gnome.Terminal-1234.scope" gives "gnome-org.gnome.Terminal" and
// "org.gnome.Terminal"; "app-org.kde.konsole@ab12.service" gives "org.kde.konsole";
// "snap.firefox.firefox-<uuid>.scope" gives "firefox_firefox" and "firefox". Nothing for
// other units (sessions, services, slices).
std::vector<std::string> desktopIdsFromUnit(std::string_view unit);
// The candidates of the innermost application unit in a /proc/PID/cgroup text.
std::vector<std::string> desktopIdsFromCgroup(std::string_view cgroupText);

// The program an Exec line starts: the base name of its first word, past quotes, "env" and
// its variable assignments. Empty when there is none.
std::string execProgram(std::string_view exec);

// What one desktop entry says about its icon.
struct DesktopEntry {
    std::string icon;
    std::string exec;          // base name of the program
    std::string wmClass;       // lower-case
    bool hidden = false;       // Hidden=true: the entry is deleted
};
// The "Desktop Entry" group of a desktop file; nothing when it has none.
std::optional<DesktopEntry> parseDesktopEntry(std::string_view text);

// The applications folders of the XDG base directories, in precedence order: the data
// home's first, then each data dir's. Empty variables take the standard defaults.
std::vector<std::string> applicationDirs(const std::string& dataHome, const std::string& dataDirs,
                                         const std::string& home);

// Installed desktop entries by id, program and window class. An entry earlier in the folder
// order hides one of the same id further on.
class DesktopIndex {
  public:
    static constexpr size_t kMaxFileBytes = 256 << 10;  // larger files are no desktop entries

    void build(const std::vector<std::string>& dirs);
    // The icon of the entry with this id ("org.gnome.Terminal", without ".desktop").
    const std::string* iconForId(const std::string& id) const;
    // The icon of the entry that starts `program`, or whose window class or id is `program`.
    const std::string* iconForProgram(const std::string& program) const;
    size_t size() const { return byId_.size(); }

  private:
    void scan(const std::string& dir, const std::string& prefix, int depth);
    std::unordered_map<std::string, DesktopEntry> byId_;
    std::unordered_map<std::string, std::string> byExec_;     // program → id
    std::unordered_map<std::string, std::string> byWmClass_;  // lower-case class → id
    std::vector<std::string> order_;                          // ids in precedence order
};

// The Linux reader: the cgroup's application unit first, then the executable's name, over an
// index of desktop entries rebuilt when a folder changes (looked at every `recheck`).
class LinuxProcessIconReader : public ProcessIconReader {
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    LinuxProcessIconReader(std::string procRoot, std::vector<std::string> applicationDirs,
                           Clock clock = std::chrono::steady_clock::now,
                           std::chrono::seconds recheck = std::chrono::seconds(60));

    std::optional<uint64_t> startTime(int32_t pid) override;
    ProcessIconSource iconSource(int32_t pid) override;
    int builds() const { return builds_; }

  private:
    void refreshIndex();
    static ProcessIconSource sourceOf(const std::string& icon);

    std::string procRoot_;
    std::vector<std::string> dirs_;
    Clock clock_;
    std::chrono::seconds recheck_;
    std::optional<std::chrono::steady_clock::time_point> checkedAt_;
    std::vector<int64_t> dirStamps_;
    DesktopIndex index_;
    int builds_ = 0;
    std::string buf_;
};

}  // namespace velmora::platform
