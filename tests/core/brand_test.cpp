#include "core/brand.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(Brand, OnlyAWebAddressReplacesTheFallback) {
    const QUrl fallback("https://fallback.example/help");
    EXPECT_EQ(Brand::url("https://help.example/ko/monitor", fallback),
              QUrl("https://help.example/ko/monitor"));
    EXPECT_EQ(Brand::url("http://help.example", fallback), QUrl("http://help.example"));
    EXPECT_EQ(Brand::url(" HTTPS://help.example/x ", fallback), QUrl("https://help.example/x"))
        << "a translator's stray spaces and capitals do not lose the link";

    EXPECT_EQ(Brand::url("helpMonitor", fallback), fallback) << "a missing text comes back as its key";
    EXPECT_EQ(Brand::url("", fallback), fallback);
    EXPECT_EQ(Brand::url("ftp://files.example/help", fallback), fallback);
    EXPECT_EQ(Brand::url("file:///etc/passwd", fallback), fallback);
    EXPECT_EQ(Brand::url("javascript:alert(1)", fallback), fallback);
    EXPECT_EQ(Brand::url("https://bad host.example/", fallback), fallback) << "does not parse";
    EXPECT_EQ(Brand::url("https://fallback.example/help", fallback), fallback);
}
