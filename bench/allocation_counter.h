#pragma once
// Counts heap allocations, so a benchmark can show how many one tick or one read makes.
// Replaces the global allocation functions: include it from one file of a benchmark
// executable only.

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

static std::atomic<uint64_t> allocations{0};

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
