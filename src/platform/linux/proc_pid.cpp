#include "platform/linux/proc_pid.h"

#include "platform/linux/file_util.h"

#include <charconv>

namespace velmora::platform {

namespace {

// Reads the next space-separated field of `rest` as an integer.
template <typename T>
bool next(std::string_view& rest, T& out) {
    while (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
    const auto [p, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), out);
    if (ec != std::errc()) return false;
    rest.remove_prefix(static_cast<size_t>(p - rest.data()));
    return rest.empty() || rest.front() == ' ' || rest.front() == '\n';
}

bool skip(std::string_view& rest, int fields) {
    for (int i = 0; i < fields; ++i) {
        while (!rest.empty() && rest.front() == ' ')
            rest.remove_prefix(1);
        const size_t end = rest.find(' ');
        if (end == std::string_view::npos) return false;
        rest.remove_prefix(end);
    }
    return true;
}

}  // namespace

bool parsePidStat(std::string_view text, PidStat& out) {
    const size_t open = text.find('(');
    const size_t close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) return false;
    const auto pid = linux_fs::parseInt(text.substr(0, open));
    if (!pid || *pid < 0 || *pid > INT32_MAX) return false;
    out.pid = static_cast<int32_t>(*pid);
    out.comm = text.substr(open + 1, close - open - 1);

    std::string_view rest = text.substr(close + 1);
    while (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
    if (rest.empty()) return false;
    out.state = rest.front();
    rest.remove_prefix(1);
    // Fields after the state: ppid pgrp session tty_nr tpgid flags minflt cminflt majflt
    // cmajflt utime stime cutime cstime priority nice num_threads itrealvalue starttime
    // vsize rss.
    return next(rest, out.ppid) && skip(rest, 4) && next(rest, out.flags) && next(rest, out.minflt) &&
           skip(rest, 1) && next(rest, out.majflt) && skip(rest, 1) && next(rest, out.utime) &&
           next(rest, out.stime) && next(rest, out.cutime) && next(rest, out.cstime) && next(rest, out.priority) && next(rest, out.nice) &&
           next(rest, out.numThreads) && skip(rest, 1) && next(rest, out.starttime) &&
           next(rest, out.vsize) && next(rest, out.rssPages);
}

}  // namespace velmora::platform
