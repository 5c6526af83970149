#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace velmora::logs {

// One piece of a file's content.
struct Chunk {
    const char* data;
    size_t size;
};

// Writes a new file "<prefix>-<seconds>.log" in `dir`, or "<prefix>-<seconds>-<n>.log"
// (n = 2, 3, ...) when that name is taken: an existing log is never replaced. The content
// goes to a hidden temporary file first and appears under its name only once complete;
// it is readable and writable by its owner alone (it may hold what the user wrote).
// `more`, when given, writes further content to the open descriptor after `chunks`.
// Uses only async-signal-safe calls and no allocation, so a signal handler may call it.
// True on success, with the file's path in `pathOut` (cut short when it does not fit).
bool writeNewLog(const char* dir, const char* prefix, int64_t seconds, std::span<const Chunk> chunks,
                 void (*more)(int fd), char* pathOut, size_t pathCapacity);

// A text built in a fixed buffer, as a signal handler needs: never allocates; what does
// not fit is dropped and `ok()` turns false.
class FixedText {
  public:
    FixedText(char* buffer, size_t capacity);
    FixedText& add(const char* text);
    FixedText& add(const char* text, size_t size);
    FixedText& addNumber(int64_t value);
    // "0x" and lowercase hexadecimal digits, no leading zeros.
    FixedText& addHex(uint64_t value);
    const char* data() const { return buffer_; }
    size_t size() const { return size_; }
    bool ok() const { return ok_; }

  private:
    char* buffer_;
    size_t capacity_;
    size_t size_ = 0;
    bool ok_ = true;
};

}  // namespace velmora::logs
