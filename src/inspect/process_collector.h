#pragma once

#include "inspect/process_types.h"
#include "platform/process_facts.h"

#include <memory>
#include <optional>
#include <vector>

namespace velmora {

// Everything the inspector gathers about one process. One instance per owner; its calls
// block (they read the system or run tools), so owners call it off the GUI thread.
class ProcessCollector {
  public:
    virtual ~ProcessCollector() = default;
    // `statusText` is left empty: localize on the GUI thread (ProcessDetailFetcher::localize).
    virtual std::optional<ProcessStaticInfo> fetchStatic(int32_t pid) = 0;
    virtual std::optional<ProcessLiveInfo> fetchLive(int32_t pid) = 0;
    virtual std::optional<MemoryFootprint> memory(int32_t pid) = 0;
    virtual std::vector<NetConnection> connections(int32_t pid) = 0;
    virtual std::optional<OpenFilesResult> openFiles(int32_t pid) = 0;
};

// The collector of the running system: native readers on Linux, the inspection tools on
// Apple systems.
std::unique_ptr<ProcessCollector> makeSystemCollector();

// Per-process facts, from any thread.
class ProcessDetailFetcher {
  public:
    // Facts without the localized state text (callable from any thread).
    static std::optional<ProcessStaticInfo> fetchStaticRaw(
        int32_t pid, platform::ProcessFactsSource& source = platform::systemProcessFacts());
    // Facts with the state localized: for the GUI thread.
    static std::optional<ProcessStaticInfo> fetchStatic(int32_t pid);
    static std::optional<ProcessLiveInfo> fetchLive(
        int32_t pid, platform::ProcessFactsSource& source = platform::systemProcessFacts());

    static ProcessStaticInfo fromFacts(const platform::ProcFacts& facts);
    // Fills statusText from statusKey through the localizer (GUI thread).
    static void localize(ProcessStaticInfo& info);
    // "psIdle", "psRunning", "psSleeping", "psStopped", "psZombie", or "-".
    static QString statusKey(platform::ProcRunState state);
    // The login name of `uid`, or the uid in decimal when there is none. Cached.
    static QString userName(uint32_t uid);
};

}  // namespace velmora
