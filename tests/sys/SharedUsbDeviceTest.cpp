// A looper's storage is ejected, not powered off, when its USB device also carries its
// MIDI ports: the kernel's device tree tells which.
#include "support/TempHome.h"
#include "sys/VolumeRemoval.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

void folders(const std::string& path) {
    for (size_t at = 1; (at = path.find('/', at)) != std::string::npos; ++at) mkdir(path.substr(0, at).c_str(), 0700);
    mkdir(path.c_str(), 0700);
}

// A USB device (as sysfs lays it out) with one interface per class given, the first a
// mass-storage interface holding disk sda with partition sda1, listed as 8:0 and 8:1.
std::string usbDevice(const TempHome& home, const std::string& name, std::initializer_list<const char*> classes) {
    const std::string device = home.file("devices/" + name + "/1-1");
    int number = 0;
    for (const char* value : classes) {
        const std::string interface = device + "/1-1:1." + std::to_string(number++);
        folders(interface);
        writeFile(interface + "/bInterfaceClass", std::string(value) + "\n");
    }
    const std::string disk = device + "/1-1:1.0/host0/target0:0:0/0:0:0:0/block/sda";
    folders(disk + "/sda1");
    writeFile(device + "/bNumInterfaces", " " + std::to_string(number) + "\n");
    folders(home.file(name + "-block"));
    symlink(disk.c_str(), home.file(name + "-block/8:0").c_str());
    symlink((disk + "/sda1").c_str(), home.file(name + "-block/8:1").c_str());
    return home.file(name + "-block");
}

TEST(SharedUsbDeviceTest, OnlyAStorageBesideOtherFunctionsIsShared) {
    TempHome home;
    const std::string looper = usbDevice(home, "looper", {"08", "01", "01"});  // storage, audio control, MIDI
    EXPECT_TRUE(sharesUsbDevice(makedev(8, 0), looper));
    EXPECT_TRUE(sharesUsbDevice(makedev(8, 1), looper)) << "a partition of that disk";
    const std::string stick = usbDevice(home, "stick", {"08"});
    EXPECT_FALSE(sharesUsbDevice(makedev(8, 0), stick));
    EXPECT_FALSE(sharesUsbDevice(makedev(8, 1), stick));
    EXPECT_FALSE(sharesUsbDevice(makedev(8, 16), stick)) << "a disk the list does not have";
    // A disk on no USB interface (SATA, virtio) has nothing to share.
    folders(home.file("devices/pci/0000:00:1f.2/ata1/host0/block/sdb"));
    folders(home.file("sata-block"));
    symlink(home.file("devices/pci/0000:00:1f.2/ata1/host0/block/sdb").c_str(), home.file("sata-block/8:16").c_str());
    EXPECT_FALSE(sharesUsbDevice(makedev(8, 16), home.file("sata-block")));
}

}  // namespace
