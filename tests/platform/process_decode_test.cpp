// The portable decoders of process data the Apple system hands out, fed with hand-built bytes.
#include "platform/process_facts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace velmora::platform;

namespace {

std::string nul(std::initializer_list<std::string_view> parts) {
    std::string s;
    for (auto p : parts) {
        s += p;
        s += '\0';
    }
    return s;
}

}  // namespace

TEST(ProcessDecode, JoinsArgumentsSkippingEmptyAndMalformedOnes) {
    EXPECT_EQ(joinArguments(nul({"/usr/bin/app", "--flag", "", "two words"})),
              "/usr/bin/app --flag two words");
    EXPECT_EQ(joinArguments(nul({"a", "\xff\xfe", "b"})), "a b") << "not UTF-8: dropped";
    EXPECT_EQ(joinArguments(nul({"a", "", "b", "c"}), 3), "a b") << "empty and bad ones still count";
    EXPECT_EQ(joinArguments(nul({"한글", "ü"})), "한글 ü");
    EXPECT_EQ(joinArguments(""), "");
    EXPECT_EQ(joinArguments("no-terminator"), "no-terminator");
}

TEST(ProcessDecode, ValidUtf8RejectsOverlongSurrogatesAndTruncation) {
    EXPECT_TRUE(isValidUtf8("plain ascii"));
    EXPECT_TRUE(isValidUtf8("\xf0\x9f\x98\x80"));   // U+1F600
    EXPECT_FALSE(isValidUtf8("\xc0\xaf"));          // overlong "/"
    EXPECT_FALSE(isValidUtf8("\xed\xa0\x80"));      // surrogate
    EXPECT_FALSE(isValidUtf8("\xe2\x82"));          // cut short
    EXPECT_FALSE(isValidUtf8("\xf4\x90\x80\x80"));  // past U+10FFFF
}

TEST(ProcessDecode, AppleArchitectureOnlyForApplications) {
    EXPECT_EQ(appleArchText(0x01000007), "x86_64 (Intel/Rosetta)");
    EXPECT_EQ(appleArchText(0x0100000C), "arm64 (Apple Silicon)");
    EXPECT_EQ(appleArchText(std::nullopt), "-") << "a command-line process is no application";
    EXPECT_EQ(appleArchText(0x00000007), "-") << "i386";
    EXPECT_EQ(appleArchText(0x00000012), "-") << "ppc";
}

TEST(ProcessDecode, AppleArgumentBufferReadsOnlyTheArguments) {
    auto withArgc = [](int32_t argc, const std::string& rest) {
        std::string b(4, '\0');
        std::memcpy(b.data(), &argc, 4);
        return b + rest;
    };
    const std::string buf = withArgc(3, std::string("/Applications/X.app/X") + std::string(7, '\0') +
                                            nul({"X", "-psn", "a b"}) + nul({"HOME=/Users/me", "PATH=/bin"}));
    EXPECT_EQ(decodeAppleProcArgs(buf), "X -psn a b") << "the environment after argc strings is never read";
    EXPECT_EQ(decodeAppleProcArgs(withArgc(2, std::string("/bin/x") + '\0' + nul({"x", "", "y"}))), "x")
        << "an empty argument counts towards argc";
    EXPECT_EQ(decodeAppleProcArgs(withArgc(2, std::string("/bin/x") + std::string(4, '\0'))), "")
        << "padding up to the end";
    EXPECT_EQ(decodeAppleProcArgs(std::string("\x01\x00", 2)), "") << "shorter than 5 bytes";
    EXPECT_EQ(decodeAppleProcArgs(withArgc(5, std::string("/bin/x") + '\0' + "a")), "a")
        << "stops at the end";
}
