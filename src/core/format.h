#pragma once

#include <QString>

#include <cstdint>

namespace velmora::Format {

// Binary units (1 KB = 1024 B), at most four steps: "0 B", "1.5 KB", "250 GB".
QString bytes(uint64_t n);
// bytes() of a rate followed by "/s"; negative or non-finite rates read as 0.
QString bps(double bytesPerSecond);
// Compact rate for the status item: "512B", "340K", "12M".
QString shortRate(double bytesPerSecond);
// Whole seconds with fixed Korean unit words: "45초", "5분 7초", "2시간 0분", "3일 4시간 12분".
QString duration(double seconds);

// printf-style "%.<decimals>f" that always uses a point, whatever the process locale.
QString fixed(double value, int decimals);

}  // namespace velmora::Format
