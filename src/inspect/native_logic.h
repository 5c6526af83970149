#pragma once

#include "inspect/process_types.h"

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velmora {

// Turning the kernel's raw socket and memory records into what the views show.

// "10.0.0.2:443", "[2001:db8::1]:443", "*:8080" for an unspecified address. `addr` holds
// 4 (IPv4) or 16 (IPv6) bytes in network order.
QString endpointText(bool ipv6, const uint8_t* addr, uint16_t port);
bool isUnspecified(bool ipv6, const uint8_t* addr);

// TCP state numbers as the connection list names them ("ESTABLISHED", "LISTEN", ...);
// empty for a number outside the TCP states.
QString tcpStateName(uint8_t state);

// The footprint category of one memory mapping, from the path the kernel prints for it:
//   "[heap]"          the program break heap
//   "[stack]"         the main stack (and the old per-thread "[stack:tid]" form)
//   "[anon]"          private anonymous memory: allocator arenas, thread stacks, JIT code
//   "[shmem]"         shared memory: shared anonymous mappings, /dev/shm, System V
//                     segments, memfd buffers
//   "[anon:NAME]", "[vdso]", ...  other bracketed names as the kernel prints them
//   a file's base name  every mapping of one file or library together, " (deleted)" dropped
std::string memCategoryName(std::string_view path, bool shared);

// Sums mappings into categories. A category's dirty figure is its private and shared dirty
// pages plus what was swapped out, clean its clean pages, reclaimable the pages the program
// released lazily (MADV_FREE); the total is the sum of the dirty figures.
class FootprintBuilder {
  public:
    void add(std::string_view path, bool shared, uint64_t dirty, uint64_t clean, uint64_t reclaimable);
    // Absent when nothing was added (kernel threads map nothing).
    std::optional<MemoryFootprint> result() const;

  private:
    struct Sum {
        std::string name;
        uint64_t dirty = 0, clean = 0, reclaimable = 0;
        int regions = 0;
    };
    std::unordered_map<std::string, size_t> index_;
    std::vector<Sum> sums_;  // first appearance order, kept for ties
};

}  // namespace velmora
