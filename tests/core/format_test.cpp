#include "core/format.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <clocale>
#include <cmath>
#include <limits>

using namespace velmora;

TEST(FormatBytes, UnitsAndDecimals) {
    EXPECT_EQ(Format::bytes(0), "0 B");
    EXPECT_EQ(Format::bytes(1023), "1023 B");
    EXPECT_EQ(Format::bytes(1024), "1.0 KB");
    EXPECT_EQ(Format::bytes(1536), "1.5 KB");
    EXPECT_EQ(Format::bytes(102400), "100 KB");
    EXPECT_EQ(Format::bytes(1048575), "1024 KB") << "just under 1 MiB stays in KB and rounds up";
    EXPECT_EQ(Format::bytes(5ull << 30), "5.0 GB");
    EXPECT_EQ(Format::bytes(250ull << 30), "250 GB");
    EXPECT_EQ(Format::bytes(1ull << 60), "1048576 TB") << "at most four divisions";
    EXPECT_EQ(Format::bytes(std::numeric_limits<uint64_t>::max()), "16777216 TB");
}

TEST(FormatBytes, DecimalPointIgnoresTheProcessLocale) {
    // Both locales a comma could come from: Qt's default locale (always settable) and the C
    // library's numeric locale (only where a comma locale is installed).
    const QLocale savedQt;
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string savedC = old ? old : "C";
    struct Restore {
        const QLocale& qt;
        const std::string& c;
        ~Restore() {
            QLocale::setDefault(qt);
            std::setlocale(LC_NUMERIC, c.c_str());
        }
    } restore{savedQt, savedC};

    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) std::setlocale(LC_NUMERIC, "fr_FR.UTF-8");
    EXPECT_EQ(Format::bytes(1536), "1.5 KB");
    EXPECT_EQ(Format::bps(1.25 * 1048576), "1.2 MB/s");
    EXPECT_EQ(Format::fixed(0.125, 2), "0.12");
    EXPECT_EQ(Format::fixed(-1234.5, 1), "-1234.5") << "no grouping either";
}

TEST(FormatFixed, RoundsTheExactBinaryValueHalfToEven) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        int decimals;
        const char* text;
    } cases[] = {
        // Exact ties go to the even digit; values stored just below a tie round down.
        {0.5, 0, "0"},
        {1.5, 0, "2"},
        {2.5, 0, "2"},
        {0.125, 2, "0.12"},
        {0.375, 2, "0.38"},
        {-0.25, 1, "-0.2"},
        {2.675, 2, "2.67"},
        {1.005, 2, "1.00"},
        // Carries into a new digit, and no exponent form for large values.
        {99.95, 1, "100.0"},
        {1023.95, 0, "1024"},
        {1e21, 0, "1000000000000000000000"},
        // Signs and values that are no numbers.
        {-0.0, 1, "-0.0"},
        {std::nan(""), 1, "nan"},
        {inf, 0, "inf"},
        {-inf, 2, "-inf"},
        // The smallest value; a negative count means six; 401 characters are past the limit.
        {5e-324, 3, "0.000"},
        {12.5, -1, "12.500000"},
        {1e300, 99, "0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Format::fixed(c.value, c.decimals), c.text) << c.value << " with " << c.decimals;
}

TEST(FormatRates, BpsAndShortRate) {
    EXPECT_EQ(Format::bps(-5), "0 B/s");
    EXPECT_EQ(Format::bps(std::nan("")), "0 B/s");
    EXPECT_EQ(Format::bps(std::numeric_limits<double>::infinity()), "0 B/s");
    EXPECT_EQ(Format::bps(1023.9), "1023 B/s");
    EXPECT_EQ(Format::bps(512), "512 B/s");
    EXPECT_EQ(Format::bps(1.25 * 1048576), "1.2 MB/s");
    EXPECT_EQ(Format::bps(1e30), "16777216 TB/s") << "beyond 2^64 clamps";

    EXPECT_EQ(Format::shortRate(1048575), "1024K");
    EXPECT_EQ(Format::shortRate(1048576), "1M");
    EXPECT_EQ(Format::shortRate(1023.9), "1023B");
    EXPECT_EQ(Format::shortRate(0), "0B");
    EXPECT_EQ(Format::shortRate(340 * 1024), "340K");
    EXPECT_EQ(Format::shortRate(5.0 * 1073741824), "5120M") << "no step beyond M";
    EXPECT_EQ(Format::shortRate(-1), "0B");
    EXPECT_EQ(Format::shortRate(std::nan("")), "0B");
}

TEST(FormatDuration, FormsAndBoundaries) {
    EXPECT_EQ(Format::duration(59.9), "59초");
    EXPECT_EQ(Format::duration(60), "1분 0초");
    EXPECT_EQ(Format::duration(307), "5분 7초");
    EXPECT_EQ(Format::duration(3599), "59분 59초");
    EXPECT_EQ(Format::duration(3600), "1시간 0분");
    EXPECT_EQ(Format::duration(86399), "23시간 59분");
    EXPECT_EQ(Format::duration(86400), "1일 0시간 0분");
    EXPECT_EQ(Format::duration(86400 + 300), "1일 0시간 5분");
    EXPECT_EQ(Format::duration(3 * 86400 + 4 * 3600 + 12 * 60 + 59), "3일 4시간 12분");
    EXPECT_EQ(Format::duration(-3), "0초");
    EXPECT_EQ(Format::duration(std::nan("")), "0초");
    EXPECT_FALSE(Format::duration(std::numeric_limits<double>::infinity()).isEmpty());
}
