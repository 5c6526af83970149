#pragma once

#include <cstdint>
#include <optional>

namespace velmora::platform {

// The executable architecture code of the running application with this pid; absent when
// the process is no application (daemons, shells, command-line tools).
std::optional<int64_t> runningApplicationArchitecture(int32_t pid);

}  // namespace velmora::platform
