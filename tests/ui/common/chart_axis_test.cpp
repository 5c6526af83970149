#include "ui/common/chart_axis.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace velmora;

namespace {

constexpr double KiB = 1024, MiB = 1024 * KiB, GiB = 1024 * MiB;

const ChartAxis::TimeMarkTexts words{QStringLiteral("now"), QStringLiteral("−{0} s"), QStringLiteral("−{0} min"),
                                     QStringLiteral("−{0} h")};

}  // namespace

TEST(ChartAxis, AutomaticTopRoundsWithinEachUnit) {
    struct Case {
        AxisUnit unit;
        double value;
        double floor;
        double top;
    };
    const Case cases[] = {
        // Byte rates round in the binary unit the formatter writes them in.
        {AxisUnit::bytesPerSecond, 0, KiB, KiB},
        {AxisUnit::bytesPerSecond, NAN, KiB, KiB},
        {AxisUnit::bytesPerSecond, -5, KiB, KiB},
        {AxisUnit::bytesPerSecond, 300, 1, 500},
        {AxisUnit::bytesPerSecond, 500, 1, 500},
        {AxisUnit::bytesPerSecond, 501, 1, 1000},
        {AxisUnit::bytesPerSecond, 1000, 1, 1000},
        {AxisUnit::bytesPerSecond, 1001, 1, KiB},  // not 2000 B, which reads "2.0 KB" yet is less
        {AxisUnit::bytesPerSecond, 1023, 1, KiB},
        {AxisUnit::bytesPerSecond, KiB, 1, KiB},
        {AxisUnit::bytesPerSecond, KiB + 1, 1, 2 * KiB},
        {AxisUnit::bytesPerSecond, 1.5 * MiB, 1, 2 * MiB},
        {AxisUnit::bytesPerSecond, 2 * MiB, 1, 2 * MiB},
        {AxisUnit::bytesPerSecond, 2 * MiB + 1, 1, 5 * MiB},
        {AxisUnit::bytesPerSecond, MiB - 1, 1, MiB},
        {AxisUnit::bytesPerSecond, 700 * MiB, 1, 1000 * MiB},
        {AxisUnit::bytesPerSecond, 1020 * MiB, 1, GiB},
        {AxisUnit::bytesPerSecond, 3 * GiB, 1, 5 * GiB},
        {AxisUnit::bytesPerSecond, 10, MiB, MiB},  // a quiet disk keeps its floor
        {AxisUnit::bytesPerSecond, MiB + 1, MiB, 2 * MiB},
        // Other units round by powers of ten.
        {AxisUnit::percent, 42, 1, 50},
        {AxisUnit::celsius, 61, 1, 100},
        {AxisUnit::none, 0.3, 1, 1},
        {AxisUnit::none, 1.1, 1, 2},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(ChartAxis::niceTop(c.unit, c.value, c.floor), c.top)
            << static_cast<int>(c.unit) << " value " << c.value << " floor " << c.floor;
}

TEST(ChartAxis, TopTextNamesTheUnit) {
    struct Case {
        AxisUnit unit;
        double top;
        const char* text;
    };
    const Case cases[] = {
        {AxisUnit::percent, 100, "100%"},
        {AxisUnit::percent, 50, "50%"},
        {AxisUnit::percent, 2.5, "2.5%"},
        {AxisUnit::bytesPerSecond, 500, "500 B/s"},
        {AxisUnit::bytesPerSecond, 1023, "1023 B/s"},
        {AxisUnit::bytesPerSecond, KiB, "1.0 KB/s"},
        {AxisUnit::bytesPerSecond, 2 * MiB, "2.0 MB/s"},
        {AxisUnit::bytesPerSecond, 100 * MiB, "100 MB/s"},
        {AxisUnit::bytesPerSecond, 5 * GiB, "5.0 GB/s"},
        {AxisUnit::celsius, 100, "100°C"},
        {AxisUnit::celsius, 107.8, "108°C"},
        {AxisUnit::none, 20, "20"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChartAxis::topText(c.unit, c.top), QString::fromUtf8(c.text)) << c.text;
}

TEST(ChartAxis, TimeStepFitsTheSpanAndPrefersAMarkOnTheLeftEdge) {
    struct Case {
        double span;
        int maxIntervals;
        double step;
    };
    const Case cases[] = {
        {300, 4, 150},    // −5, −2.5 min, now
        {300, 2, 150},
        {300, 1, 300},    // too narrow for a middle mark
        {60, 4, 15},
        {60, 2, 30},
        {600, 4, 150},
        {600, 2, 300},
        {3600, 4, 900},
        {3600, 2, 1800},
        {86400, 4, 21600},
        {90, 4, 30},      // 3 gaps of 30 s
        {100, 4, 30},     // nothing divides it into 2 to 4: the smallest step that fits
        {7, 4, 2},
        {300, 0, 300},    // no room reads as room for one gap
        {0, 4, 86400},
        {NAN, 4, 86400},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(ChartAxis::timeStep(c.span, c.maxIntervals), c.step)
            << "span " << c.span << " gaps " << c.maxIntervals;
}

TEST(ChartAxis, TimeMarkTextsTakeTheUnitOfTheirStep) {
    struct Case {
        double ago;
        double step;
        const char* text;
    };
    const Case cases[] = {
        {0, 150, "now"},
        {0.4, 15, "now"},
        {NAN, 15, "now"},
        // Steps below half a minute count seconds, however far back.
        {15, 15, "−15 s"},
        {60, 15, "−60 s"},
        {7005, 15, "−7005 s"},
        {29, 29, "−29 s"},
        // From half a minute to below half an hour: minutes.
        {30, 30, "−0.5 min"},
        {150, 150, "−2.5 min"},
        {300, 150, "−5 min"},
        {3600, 900, "−60 min"},
        {7020, 1799, "−117 min"},
        // From half an hour: hours.
        {1800, 1800, "−0.5 h"},
        {5400, 1800, "−1.5 h"},
        {86400, 21600, "−24 h"},
        {-150, 150, "−2.5 min"},  // a clock step back reads as the same distance
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChartAxis::timeMarkText(c.ago, c.step, words), QString::fromUtf8(c.text)) << c.ago << " by " << c.step;
}
