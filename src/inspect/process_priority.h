#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace velmora {

// The scheduling priority (nice value) of one process.
class ProcessPriority {
  public:
    using Reader = std::function<std::optional<int>(int32_t pid)>;
    using Writer = std::function<bool(int32_t pid, int value)>;

    // The system's getpriority and setpriority.
    ProcessPriority();
    ProcessPriority(Reader reader, Writer writer);

    // Nothing when the process is gone or pid names no single process (0 and below).
    std::optional<int> read(int32_t pid) const;
    // Sets the value clamped to the system's range; false for pids below 2, when refused (raising the priority
    // of any process, or touching another user's, needs privileges) or the process is gone.
    bool write(int32_t pid, int value) const;
    static int clamp(int value);
    static int minimum();
    static int maximum();

  private:
    Reader reader_;
    Writer writer_;
};

}  // namespace velmora
