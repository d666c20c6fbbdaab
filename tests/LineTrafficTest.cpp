#include <gtest/gtest.h>

#include "monitor/link/LineTraffic.h"

using Change = LineTraffic::Change;

// Counts are the link's running totals, so a reopened line starts from wherever the
// last connection left them.
TEST(LineTraffic, FirstGoodSentenceAfterAReopenIsToldOnceAndEarlierOnesDoNotCount) {
    LineTraffic traffic;
    traffic.Start(5000, 40);
    EXPECT_EQ(traffic.Look(5000, 40), Change::kNone);
    EXPECT_EQ(traffic.Look(5300, 40), Change::kNone);  // a part sentence so far
    EXPECT_EQ(traffic.Look(5400, 41), Change::kFirstNmea);
    EXPECT_EQ(traffic.Look(5900, 48), Change::kNone);
    traffic.Start(5900, 48);
    EXPECT_EQ(traffic.Look(5980, 49), Change::kFirstNmea);
}

TEST(LineTraffic, BytesWithoutAGoodSentenceAreToldOnceAfterEnoughLooksThenNmeaEndsIt) {
    LineTraffic traffic;
    traffic.Start(100, 7);
    for (int look = 0; look < 20; ++look) ASSERT_EQ(traffic.Look(100, 7), Change::kNone) << "a silent line is no noise";
    for (int look = 1; look < LineTraffic::kNoNmeaLooks; ++look)
        ASSERT_EQ(traffic.Look(100 + 50 * look, 7), Change::kNone) << look;
    EXPECT_EQ(traffic.Look(800, 7), Change::kNoNmea);
    EXPECT_EQ(traffic.BytesSinceStart(800), 700u);
    EXPECT_EQ(traffic.Look(900, 7), Change::kNone);  // said once
    EXPECT_EQ(traffic.Look(990, 8), Change::kNmeaAfterNoise);
    EXPECT_EQ(traffic.Look(1990, 8), Change::kNone);
}
