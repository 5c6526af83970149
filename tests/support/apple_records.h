#pragma once

// Kernel records of the Apple system as they arrive from the kernel (64-bit, little-endian
// machine), built by byte offset, and a record source that answers from a table of them.

#include "platform/apple_records.h"

#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velmora::test {

// A zeroed record of `size` bytes to be filled field by field.
class RecordBytes {
  public:
    explicit RecordBytes(size_t size) : bytes_(size, '\0') {}
    template <typename T>
    RecordBytes& put(size_t offset, T value) {
        std::memcpy(bytes_.data() + offset, &value, sizeof value);
        return *this;
    }
    RecordBytes& text(size_t offset, const std::string& s) {
        std::memcpy(bytes_.data() + offset, s.data(), s.size());
        return *this;
    }
    operator std::string() const { return bytes_; }

  private:
    std::string bytes_;
};

struct RecordedProcess {
    std::string name;  // the long name of the full record, the command name in the others
    uint32_t uid = 0;
    int32_t ppid = 1;
    uint32_t status = 2;  // running
    int64_t startSec = 0;
};

// proc_bsdinfo: status 4, ppid 16, uid 20, comm 48 (16), name 64 (32), start 120.
inline std::string bsdInfoRecord(const RecordedProcess& p, const std::string& comm = {}) {
    return RecordBytes(136)
        .put<uint32_t>(4, p.status)
        .put<int32_t>(16, p.ppid)
        .put<uint32_t>(20, p.uid)
        .text(48, comm.substr(0, 15))
        .text(64, p.name.substr(0, 31))
        .put<uint64_t>(120, static_cast<uint64_t>(p.startSec));
}

// proc_bsdshortinfo: ppid 4, status 12, comm 16 (at most 15 characters kept), uid 36.
inline std::string shortBsdInfoRecord(const RecordedProcess& p) {
    return RecordBytes(64)
        .put<int32_t>(4, p.ppid)
        .put<uint32_t>(12, p.status)
        .text(16, p.name.substr(0, 15))
        .put<uint32_t>(36, p.uid);
}

// kinfo_proc: start seconds 0, state 36 (one byte), comm 243 (17), uid 420, ppid 560.
inline std::string kinfoRecord(const RecordedProcess& p) {
    return RecordBytes(648)
        .put<int64_t>(0, p.startSec)
        .put<uint8_t>(36, static_cast<uint8_t>(p.status))
        .text(243, p.name.substr(0, 16))
        .put<uint32_t>(420, p.uid)
        .put<int32_t>(560, p.ppid);
}

// Answers from tables filled by the test; a missing entry is a refusal. Every call is logged.
class FakeAppleRecords : public platform::AppleFactRecords {
  public:
    std::map<int32_t, std::string> full, brief, entries, paths;
    std::vector<std::string> calls;

    std::optional<std::string> bsdInfo(int32_t pid) override { return answer("full", full, pid); }
    std::optional<std::string> shortBsdInfo(int32_t pid) override { return answer("short", brief, pid); }
    std::optional<std::string> kinfoProc(int32_t pid) override { return answer("kinfo", entries, pid); }
    std::string executablePath(int32_t pid) override { return answer("path", paths, pid).value_or(""); }

  private:
    std::optional<std::string> answer(const char* what, const std::map<int32_t, std::string>& table,
                                      int32_t pid) {
        calls.push_back(what);
        const auto it = table.find(pid);
        if (it == table.end()) return std::nullopt;
        return it->second;
    }
};

}  // namespace velmora::test
