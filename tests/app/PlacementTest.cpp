// Window sizes and the placement kept in the settings file.
#include "app/WindowPlacement.h"
#include "support/TempHome.h"
#include "sys/Settings.h"

#include <gtest/gtest.h>

TEST(PlacementTest, DefaultAndMinimumSizesScaleAndFitTheWorkArea) {
    WindowSize big{3840, 2100};
    EXPECT_EQ(defaultWindowSize(1.0, big).width, 1000);
    EXPECT_EQ(defaultWindowSize(1.0, big).height, 768);
    EXPECT_EQ(defaultWindowSize(1.25, big).width, 1250);
    EXPECT_EQ(defaultWindowSize(1.25, big).height, 960);
    EXPECT_EQ(defaultWindowSize(1.1, big).width, 1100);  // no rounding up of 1100.0000001
    EXPECT_EQ(defaultWindowSize(1.333, big).height, 1024);  // ceil(1023.744)
    EXPECT_EQ(minimumWindowSize(1.5, big).width, 900);
    EXPECT_EQ(minimumWindowSize(1.5, big).height, 900);
    WindowSize small{1024, 700};
    EXPECT_EQ(defaultWindowSize(1.0, small).width, 1000);
    EXPECT_EQ(defaultWindowSize(1.0, small).height, 700);
    EXPECT_EQ(minimumWindowSize(2.0, small).width, 1024);
    EXPECT_EQ(minimumWindowSize(2.0, small).height, 700);
}

TEST(PlacementTest, SavedPlacementComesBackIncludingNegativePositions) {
    TempHome home;
    EXPECT_FALSE(WindowPlacement::load("tarn").x.has_value());
    EXPECT_FALSE(WindowPlacement::load("tarn").maximized);
    ASSERT_TRUE(WindowPlacement::save("tarn", -1200, 40, 5000, 3000, true));
    WindowPlacement p = WindowPlacement::load("tarn");
    EXPECT_EQ(p.x, -1200);
    EXPECT_EQ(p.y, 40);
    EXPECT_EQ(p.width, 5000);  // larger than any monitor: used as stored
    EXPECT_EQ(p.height, 3000);
    EXPECT_TRUE(p.maximized);
    EXPECT_FALSE(WindowPlacement::load("other").x.has_value());
}

TEST(PlacementTest, ValuesOfTheWrongTypeOrSizeCountAsMissing) {
    TempHome home;
    Settings settings("tarn");
    settings.setString("x", "10");
    settings.setNumber("y", 20);
    settings.setNumber("width", 0);
    WindowPlacement p = WindowPlacement::load("tarn");
    EXPECT_FALSE(p.x.has_value());
    EXPECT_EQ(p.y, 20);
    EXPECT_FALSE(p.width.has_value());
}
