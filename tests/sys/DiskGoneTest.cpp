// A volume whose disk was pulled out: its input/output errors are told as "the device is gone".
#include "support/TempHome.h"
#include "sys/FreeSpace.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

TEST(DiskGoneTest, OnlyADiskMissingFromTheKernelsListIsGone) {
    TempHome home;
    const std::string listing = home.file("block");
    mkdir(listing.c_str(), 0700);
    writeFile(listing + "/8:0", "");  // sysfs has links there; any entry will do
    EXPECT_FALSE(diskGone(makedev(8, 0), listing));
    mkdir((listing + "/8:32").c_str(), 0700);
    mkdir((listing + "/8:32/device").c_str(), 0700);
    writeFile(listing + "/8:32/device/state", "running\n");
    EXPECT_FALSE(diskGone(makedev(8, 32), listing));
    writeFile(listing + "/8:32/device/state", "cancel\n");
    EXPECT_TRUE(diskGone(makedev(8, 32), listing)) << "on its way out";
    mkdir((listing + "/8:32/sdc1").c_str(), 0700);
    ASSERT_EQ(symlink((listing + "/8:32/sdc1").c_str(), (listing + "/8:33").c_str()), 0);
    EXPECT_TRUE(diskGone(makedev(8, 33), listing)) << "a partition of that disk";
    EXPECT_TRUE(diskGone(makedev(8, 16), listing)) << "the second USB disk left";
    EXPECT_FALSE(diskGone(makedev(0, 52), listing)) << "FUSE and tmpfs have no disk behind them";
    EXPECT_FALSE(diskGone(makedev(8, 16), home.file("no-sysfs"))) << "without the list nothing is called gone";

    // The disk under this test's own folder is there: its errors are told as they are.
    EXPECT_EQ(pathFailure(home.file("missing/deeper"), EIO), EIO);
    EXPECT_EQ(pathFailure(home.file("missing/deeper"), ENOENT), ENOENT);
    EXPECT_EQ(pathFailure(home.path(), EACCES), EACCES);
}

}  // namespace
