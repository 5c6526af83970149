#pragma once

#include <QString>

#include <cstdint>

namespace velmora::platform {

// What a crash log or problem report says about the machine.
struct SystemFacts {
    QString osText;            // e.g. "Debian GNU/Linux 12 (bookworm), kernel 6.1.0-18-amd64"
    uint64_t memoryBytes = 0;  // physical memory
    int processors = 0;        // logical processors
};

SystemFacts systemFacts();

// The folder for crash logs and copies of problem reports: $XDG_STATE_HOME/velmora/logs on
// Linux (~/.local/state when unset), Application Support/Velmora/logs on macOS. Not created.
QString logFolder();
// The folder of what Velmora keeps between runs besides its settings (the remembered record):
// $XDG_STATE_HOME/velmora on Linux, Application Support/Velmora on macOS. Not created.
QString stateFolder();

}  // namespace velmora::platform
