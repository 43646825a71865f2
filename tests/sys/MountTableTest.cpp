// Volumes from mount tables (captured texts) and their labels.
#include "support/TempHome.h"
#include "sys/FileIO.h"
#include "sys/MountTable.h"
#include "sys/Paths.h"
#include "sys/VolumeLabels.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

std::vector<MountEntry> fixture(const std::string& name) {
    std::string text;
    EXPECT_TRUE(readWholeFile(std::string(SYS_FIXTURES) + "/" + name, text)) << name;
    return parseMountInfo(text);
}

std::vector<std::string> mountPointsOf(const std::vector<MountEntry>& entries) {
    std::vector<std::string> points;
    for (const MountEntry& entry : entries) points.push_back(entry.mountPoint);
    return points;
}

TEST(MountTableTest, DesktopWithUsbMediaListsDisksStickAndImage) {
    std::vector<MountEntry> table = fixture("desktop-usb-mountinfo.txt");
    ASSERT_EQ(table.size(), 25u);
    std::vector<MountEntry> volumes = userVolumes(table);
    EXPECT_EQ(mountPointsOf(volumes), (std::vector<std::string>{"/", "/home", "/media/anna/LOOPER",
                                                               "/media/anna/Debian 12.4.0 amd64 1", "/media/anna/3C1A-0F2E"}));
    EXPECT_EQ(volumes[2].source, "/dev/sdb1");
    EXPECT_EQ(volumes[2].fsType, "vfat");
    EXPECT_EQ(volumes[3].source, "/dev/loop5");
    EXPECT_EQ(volumes[2].major, 8u);
    EXPECT_EQ(volumes[2].minor, 17u);
}

TEST(MountTableTest, ContainerKeepsSubvolumesAndDropsBindsAndRepeats) {
    std::vector<MountEntry> volumes = userVolumes(fixture("container-btrfs-mountinfo.txt"));
    // /work is a folder inside a subvolume, /etc/resolv.conf a single file: neither is a volume.
    EXPECT_EQ(mountPointsOf(volumes), (std::vector<std::string>{"/mnt/root", "/media/usb", "/srv/data"}));
}

TEST(MountTableTest, VirtualMachineHasItsRootDiskOnly) {
    std::vector<MountEntry> table = fixture("vm-mountinfo.txt");
    EXPECT_EQ(mountPointsOf(userVolumes(table)), std::vector<std::string>{"/"});
    const MountEntry* holder = mountHolding(table, "/dev/shm/some/file");
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(holder->mountPoint, "/dev/shm");
    EXPECT_EQ(holder->fsType, "tmpfs");
    EXPECT_EQ(mountHolding(table, "/devices")->mountPoint, "/");
}

TEST(VolumeLabelTest, LabelsComeFromByLabelLinks) {
    TempHome home;
    std::string links = home.file("dev/disk/by-label");
    makeFolders(links);
    writeFile(home.file("dev/sdb1"), "");
    ASSERT_EQ(symlink("../../sdb1", (links + "/LOOPER").c_str()), 0);
    ASSERT_EQ(symlink("../../sdc1", (links + "/My\\x20Stick").c_str()), 0);
    ASSERT_EQ(symlink("../../dm-0", (links + "/Private").c_str()), 0);
    makeFolders(home.file("dev/mapper"));
    ASSERT_EQ(symlink("../dm-0", home.file("dev/mapper/vault").c_str()), 0);
    writeFile(home.file("dev/dm-0"), "");

    EXPECT_EQ(labelFromLinkFolder(links, home.file("dev/sdb1")), "LOOPER");
    EXPECT_EQ(labelFromLinkFolder(links, home.file("dev/sdc1")), "My Stick");
    EXPECT_EQ(labelFromLinkFolder(links, home.file("dev/mapper/vault")), "Private");
    EXPECT_EQ(labelFromLinkFolder(links, home.file("dev/sdd1")), "");
    EXPECT_EQ(labelFromLinkFolder(home.file("nowhere"), home.file("dev/sdb1")), "");
}

}  // namespace
