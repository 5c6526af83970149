#include "inspect/native_logic.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(NativeLogic, EndpointsAsTheConnectionListPrintsThem) {
    const uint8_t v4[4] = {10, 0, 0, 2};
    const uint8_t any4[4] = {};
    uint8_t v6[16] = {0x20, 0x01, 0x0d, 0xb8};
    v6[15] = 1;
    const uint8_t any6[16] = {};
    uint8_t mapped[16] = {};
    mapped[10] = mapped[11] = 0xff;
    mapped[12] = 127;
    mapped[15] = 1;
    EXPECT_EQ(endpointText(false, v4, 443), "10.0.0.2:443");
    EXPECT_EQ(endpointText(false, any4, 8080), "*:8080");
    EXPECT_EQ(endpointText(true, v6, 443), "[2001:db8::1]:443");
    EXPECT_EQ(endpointText(true, any6, 0), "*:0");
    EXPECT_EQ(endpointText(true, mapped, 80), "[::ffff:127.0.0.1]:80");
}

TEST(NativeLogic, TcpStatesByName) {
    EXPECT_EQ(tcpStateName(1), "ESTABLISHED");
    EXPECT_EQ(tcpStateName(10), "LISTEN");
    EXPECT_EQ(tcpStateName(6), "TIME_WAIT");
    EXPECT_EQ(tcpStateName(8), "CLOSE_WAIT");
    EXPECT_EQ(tcpStateName(0), "");
    EXPECT_EQ(tcpStateName(200), "");
}

TEST(NativeLogic, MappingsFallIntoCategories) {
    EXPECT_EQ(memCategoryName("[heap]", false), "[heap]");
    EXPECT_EQ(memCategoryName("[stack]", false), "[stack]");
    EXPECT_EQ(memCategoryName("[stack:1234]", false), "[stack]");
    EXPECT_EQ(memCategoryName("", false), "[anon]");
    EXPECT_EQ(memCategoryName("", true), "[shmem]");
    EXPECT_EQ(memCategoryName("/dev/zero (deleted)", true), "[shmem]");
    EXPECT_EQ(memCategoryName("/dev/shm/pulse-shm-1 (deleted)", true), "[shmem]");
    EXPECT_EQ(memCategoryName("/SYSV00000000 (deleted)", true), "[shmem]");
    EXPECT_EQ(memCategoryName("/memfd:wayland-shm (deleted)", true), "[shmem]");
    EXPECT_EQ(memCategoryName("[anon_shmem:buf]", true), "[shmem]");
    EXPECT_EQ(memCategoryName("[anon:glibc malloc]", false), "[anon:glibc malloc]");
    EXPECT_EQ(memCategoryName("[vdso]", false), "[vdso]");
    EXPECT_EQ(memCategoryName("/usr/lib/x86_64-linux-gnu/libc.so.6", false), "libc.so.6");
    EXPECT_EQ(memCategoryName("/opt/My App/bin/my app (deleted)", false), "my app") << "replaced on disk";
}

TEST(NativeLogic, FootprintSumsByCategoryLargestDirtyFirst) {
    FootprintBuilder b;
    EXPECT_FALSE(b.result().has_value()) << "nothing mapped";
    b.add("/usr/lib/libc.so.6", false, 8, 100, 0);
    b.add("[heap]", false, 50, 0, 4);
    b.add("/usr/lib/libc.so.6", false, 12, 300, 0);
    b.add("", false, 20, 0, 0);
    b.add("/usr/lib/other/libc.so.6 (deleted)", false, 0, 1, 0);
    b.add("[stack]", false, 20, 0, 0);
    const auto fp = b.result();
    ASSERT_TRUE(fp.has_value());
    EXPECT_EQ(fp->totalBytes, 110u);
    ASSERT_EQ(fp->categories.size(), 4u);
    EXPECT_EQ(fp->categories[0], (MemCategory{"[heap]", 50, 0, 4, 1}));
    EXPECT_EQ(fp->categories[1], (MemCategory{"libc.so.6", 20, 401, 0, 3})) << "one category per base name";
    EXPECT_EQ(fp->categories[2].name, "[anon]") << "ties keep the order of first appearance";
    EXPECT_EQ(fp->categories[3].name, "[stack]");
}
