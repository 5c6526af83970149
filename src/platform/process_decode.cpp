#include "platform/process_facts.h"

#include <cstring>

namespace velmora::platform {

bool isValidUtf8(std::string_view text) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        int extra;
        uint32_t cp;
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (n - i <= static_cast<size_t>(extra)) return false;  // truncated sequence
        for (int k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past the last code point are invalid.
        static constexpr uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += static_cast<size_t>(extra) + 1;
    }
    return true;
}

std::string joinArguments(std::string_view data, int maxCount) {
    std::string out;
    int seen = 0;
    size_t pos = 0;
    while (pos < data.size() && (maxCount < 0 || seen < maxCount)) {
        size_t end = data.find('\0', pos);
        if (end == std::string_view::npos) end = data.size();
        const std::string_view arg = data.substr(pos, end - pos);
        ++seen;
        if (!arg.empty() && isValidUtf8(arg)) {
            if (!out.empty()) out += ' ';
            out += arg;
        }
        pos = end + 1;
    }
    return out;
}

std::string decodeAppleProcArgs(std::string_view buffer) {
    if (buffer.size() < 5) return {};
    int32_t argc = 0;
    std::memcpy(&argc, buffer.data(), sizeof argc);
    size_t pos = 4;
    // The executable path, then the NUL padding up to the first argument.
    while (pos < buffer.size() && buffer[pos] != '\0')
        ++pos;
    while (pos < buffer.size() && buffer[pos] == '\0')
        ++pos;
    if (pos >= buffer.size() || argc <= 0) return {};
    return joinArguments(buffer.substr(pos), argc);
}

std::string appleArchText(std::optional<int64_t> executableArchitecture) {
    // The bundle's executable architecture codes: CPU type plus the 64-bit ABI flag.
    constexpr int64_t kX86_64 = 0x01000007;
    constexpr int64_t kArm64 = 0x0100000C;
    if (executableArchitecture == kX86_64) return "x86_64 (Intel/Rosetta)";
    if (executableArchitecture == kArm64) return "arm64 (Apple Silicon)";
    return "-";
}

std::string elfArchText(std::string_view h) {
    // e_ident (16 bytes), e_type (2), e_machine (2).
    if (h.size() < 20 || h.substr(0, 4) !=
                             "\x7f"
                             "ELF")
        return "-";
    const auto cls = static_cast<unsigned char>(h[4]);   // 1: 32-bit, 2: 64-bit
    const auto data = static_cast<unsigned char>(h[5]);  // 1: little-endian, 2: big-endian
    if ((cls != 1 && cls != 2) || (data != 1 && data != 2)) return "-";
    const auto b0 = static_cast<unsigned char>(h[18]);
    const auto b1 = static_cast<unsigned char>(h[19]);
    const unsigned machine = data == 1 ? (b0 | (b1 << 8)) : ((b0 << 8) | b1);
    const bool is64 = cls == 2;
    switch (machine) {
        case 62:
            return is64 ? "x86_64" : "x32 (32-bit)";
        case 3:
            return "i386 (32-bit)";
        case 183:
            return "arm64";
        case 40:
            return "arm (32-bit)";
        case 243:
            return is64 ? "riscv64" : "riscv32 (32-bit)";
        case 21:
            return data == 1 ? "ppc64le" : "ppc64";
        case 20:
            return "ppc (32-bit)";
        case 22:
            return is64 ? "s390x" : "s390 (32-bit)";
        case 258:
            return "loongarch64";
        case 8:
            return is64 ? "mips64" : "mips (32-bit)";
        default:
            return "-";
    }
}

}  // namespace velmora::platform
