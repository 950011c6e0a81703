#include "live/live_series.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using veltra::live::LiveSeries;
using veltra::live::SeriesPoint;

namespace {

bool keysAscending(const std::vector<SeriesPoint>& points) {
    return std::is_sorted(points.begin(), points.end(),
                          [](const SeriesPoint& a, const SeriesPoint& b) { return a.key < b.key; });
}

} // namespace

TEST(LiveSeries, KeepsTimeOrderWhateverTheArrivalOrder) {
    LiveSeries series(8);
    for (const double key : {10.0, 20.0, 5.0, 20.0, 15.0}) {
        series.add(key, key / 10);
    }
    const std::vector<SeriesPoint> expected = {
        {5, 0.5}, {10, 1.0}, {15, 1.5}, {20, 2.0}, {20, 2.0}};
    EXPECT_EQ(series.points(), expected);
    EXPECT_EQ(series.drawPoints(), expected); // few points: all of them are drawn
}

TEST(LiveSeries, ManyPointsDrawAsEnvelopeKeepingEveryPeak) {
    LiveSeries series(64);
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0.12, 0.02);
    for (int i = 0; i < 100000; ++i) {
        series.add(i, noise(rng));
    }
    series.add(31337.5, 50.0); // a spike
    series.add(70000.5, -1.0); // a dip
    series.add(-10.0, 0.1);    // earlier than everything: rebuilds

    const auto drawn = series.drawPoints();
    EXPECT_LE(drawn.size(), 2U * 64U + 2U);
    EXPECT_TRUE(keysAscending(drawn));
    const auto [low, high] = std::minmax_element(
        drawn.begin(), drawn.end(),
        [](const SeriesPoint& a, const SeriesPoint& b) { return a.value < b.value; });
    EXPECT_EQ(high->value, 50.0);
    EXPECT_EQ(low->value, -1.0);
    EXPECT_EQ(drawn.front().key, -10.0);
    EXPECT_EQ(drawn.back().key, 99999.0);
}

TEST(LiveSeries, ZoomedViewIsExactWhenFewAndBoundedWhenMany) {
    LiveSeries series(16);
    for (int i = 0; i < 1000; ++i) {
        series.add(i, i % 7);
    }
    const auto narrow = series.drawPoints(100, 110, 16);
    ASSERT_EQ(narrow.size(), 13U); // 100..110 and one neighbour on each side
    EXPECT_EQ(narrow.front().key, 99.0);
    EXPECT_EQ(narrow.back().key, 111.0);

    const auto wide = series.drawPoints(0, 999, 16);
    EXPECT_LE(wide.size(), 2U * 16U + 2U);
    EXPECT_TRUE(keysAscending(wide));
}

TEST(LiveSeries, ClearEmptiesEverything) {
    LiveSeries series(4);
    for (int i = 0; i < 100; ++i) {
        series.add(i, 1);
    }
    series.clear();
    EXPECT_TRUE(series.empty());
    EXPECT_TRUE(series.drawPoints().empty());
    series.add(1, 2);
    EXPECT_EQ(series.drawPoints().size(), 1U);
}
