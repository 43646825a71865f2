// "unmount" against a UDisks2 stand-in on a private bus (see with_udisks_bus.sh, which
// points DBUS_SYSTEM_BUS_ADDRESS at that bus before these tests start).
#include "modules/fs/FsTestSupport.h"
#include "sys/Paths.h"

#include <cstdlib>
#include <gio/gio.h>
#include <map>

namespace {

const char* const kMock = "org.freedesktop.DBus.Mock";

class UnmountTest : public FsModuleTest {
protected:
    UnmountTest() {
        GError* error = nullptr;
        gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, &error);
        bus_ = g_dbus_connection_new_for_address_sync(
            address, GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &error);
        g_free(address);
        if (!bus_) ADD_FAILURE() << error->message;
        release(mockCall("/org/freedesktop/UDisks2", "Reset", nullptr));
        stick_ = file("media/LOOPER");
        makeFolders(stick_ + "/CORVANE");
    }
    ~UnmountTest() override {
        if (bus_) g_object_unref(bus_);
    }

    static void release(GVariant* reply) {
        if (reply) g_variant_unref(reply);
    }

    GVariant* mockCall(const std::string& object, const char* method, GVariant* parameters) {
        if (!bus_) return nullptr;
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_sync(bus_, "org.freedesktop.UDisks2", object.c_str(), kMock, method, parameters,
                                                      nullptr, G_DBUS_CALL_FLAGS_NONE, 10000, nullptr, &error);
        if (!reply) {
            ADD_FAILURE() << method << ": " << error->message;
            g_error_free(error);
        }
        return reply;
    }

    // A drive "sdb" with one partition mounted at mountPoint.
    void addVolume(const std::string& mountPoint, std::map<std::string, bool> drive,
                   std::map<std::string, std::string> failures = {}, bool encrypted = false) {
        GVariantBuilder props, fails;
        g_variant_builder_init(&props, G_VARIANT_TYPE("a{sv}"));
        for (const auto& p : drive) g_variant_builder_add(&props, "{sv}", p.first.c_str(), g_variant_new_boolean(p.second));
        g_variant_builder_init(&fails, G_VARIANT_TYPE("a{ss}"));
        for (const auto& f : failures) g_variant_builder_add(&fails, "{ss}", f.first.c_str(), f.second.c_str());
        release(mockCall("/org/freedesktop/UDisks2", "AddVolume",
                         g_variant_new("(ssa{sv}a{ss}b)", "sdb", mountPoint.c_str(), &props, &fails, encrypted)));
    }

    // How often the method was called on the object.
    size_t calls(const std::string& object, const char* method) {
        GVariant* reply = mockCall("/org/freedesktop/UDisks2/" + object, "GetMethodCalls", g_variant_new("(s)", method));
        if (!reply) return 0;
        GVariant* list = g_variant_get_child_value(reply, 0);
        size_t count = g_variant_n_children(list);
        g_variant_unref(list);
        g_variant_unref(reply);
        return count;
    }

    std::string unmount(const std::string& path) {
        EXPECT_EQ(call({"unmount", path}), "v");
        return nextEvent(20000);
    }

    std::string mount(const std::string& path) {
        EXPECT_EQ(call({"mount", path}), "v");
        return nextEvent(20000);
    }

    GDBusConnection* bus_ = nullptr;
    std::string stick_;
};

TEST_F(UnmountTest, AVolumeThatWasOnlyUnmountedIsMountedAgain) {
    // Neither power-off nor eject: the drive stays, as a card reader's slot does.
    addVolume(stick_, {{"Removable", true}});
    EXPECT_EQ(unmount(stick_ + "/"), event({"fs", "unmounted", stick_ + "/"}));
    EXPECT_EQ(mount(stick_), event({"fs", "mounted", stick_, stick_}));
    EXPECT_EQ(calls("block_devices/sdb1", "Mount"), 1u);
}

TEST_F(UnmountTest, APoweredOffOrUnknownVolumeAsksForAReplugWithoutMounting) {
    addVolume(stick_, {{"Removable", true}, {"CanPowerOff", true}});
    EXPECT_EQ(unmount(stick_), event({"fs", "unmounted", stick_}));
    EXPECT_EQ(mount(stick_), event({"fs", "mountfailed", stick_,
                                    "The looper's drive was switched off when it was disconnected. Unplug the looper "
                                    "and plug it in again."}));
    makeFolders(file("other"));
    EXPECT_EQ(mount(file("other")), event({"fs", "mountfailed", file("other"),
                                           "The volume cannot be mounted again from here. Unplug the looper and plug "
                                           "it in again."}));
    EXPECT_EQ(calls("block_devices/sdb1", "Mount"), 0u);
}

TEST_F(UnmountTest, AUsbStickIsUnmountedAndPoweredOff) {
    addVolume(stick_, {{"Removable", true}, {"CanPowerOff", true}, {"Ejectable", true}});
    EXPECT_EQ(unmount(stick_ + "/CORVANE"), event({"fs", "unmounted", stick_ + "/CORVANE"}));
    EXPECT_EQ(calls("block_devices/sdb1", "Unmount"), 1u);
    EXPECT_EQ(calls("drives/sdb", "PowerOff"), 1u);
    EXPECT_EQ(calls("drives/sdb", "Eject"), 0u);
}

TEST_F(UnmountTest, MediaThatCannotBePoweredOffIsEjected) {
    addVolume(stick_, {{"MediaRemovable", true}, {"Ejectable", true}});
    EXPECT_EQ(unmount(stick_ + "/"), event({"fs", "unmounted", stick_ + "/"}));
    EXPECT_EQ(calls("drives/sdb", "Eject"), 1u);
}

TEST_F(UnmountTest, AnEncryptedStickIsLockedBeforePowerOff) {
    addVolume(stick_, {{"Removable", true}, {"CanPowerOff", true}}, {}, true);
    EXPECT_EQ(unmount(stick_), event({"fs", "unmounted", stick_}));
    EXPECT_EQ(calls("block_devices/dm_0", "Unmount"), 1u);
    EXPECT_EQ(calls("block_devices/sdb1", "Lock"), 1u);
    EXPECT_EQ(calls("drives/sdb", "PowerOff"), 1u);
}

TEST_F(UnmountTest, ABusyFilesystemFailsWithTheServicesReason) {
    addVolume(stick_, {{"Removable", true}, {"CanPowerOff", true}},
              {{"Unmount", "org.freedesktop.UDisks2.Error.DeviceBusy:Error unmounting /dev/sdb1: target is busy"}});
    EXPECT_EQ(unmount(stick_), event({"fs", "unmountfailed", stick_, "Error unmounting /dev/sdb1: target is busy"}));
    EXPECT_EQ(calls("drives/sdb", "PowerOff"), 0u);
}

TEST_F(UnmountTest, AFailedPowerOffIsAFailureNotASuccess) {
    addVolume(stick_, {{"Removable", true}, {"CanPowerOff", true}},
              {{"PowerOff", "org.freedesktop.UDisks2.Error.Failed:Error powering off drive: device busy"}});
    EXPECT_EQ(unmount(stick_), event({"fs", "unmountfailed", stick_, "Error powering off drive: device busy"}));
    EXPECT_EQ(calls("block_devices/sdb1", "Unmount"), 1u);
}

TEST_F(UnmountTest, AFailedEjectIsAFailure) {
    addVolume(stick_, {{"MediaRemovable", true}, {"Ejectable", true}},
              {{"Eject", "org.freedesktop.UDisks2.Error.Failed:Error ejecting /dev/sdb: no medium"}});
    EXPECT_EQ(unmount(stick_), event({"fs", "unmountfailed", stick_, "Error ejecting /dev/sdb: no medium"}));
}

TEST_F(UnmountTest, AFixedDiskIsRefusedWithoutUnmounting) {
    addVolume(stick_, {{"Removable", false}, {"CanPowerOff", false}});
    EXPECT_EQ(unmount(stick_), event({"fs", "unmountfailed", stick_, stick_ + " is not on a removable drive"}));
    EXPECT_EQ(calls("block_devices/sdb1", "Unmount"), 0u);
}

TEST_F(UnmountTest, PathsOutsideAnyVolumeOrMissingFail) {
    addVolume(stick_, {{"Removable", true}, {"CanPowerOff", true}});
    makeFolders(file("elsewhere"));
    EXPECT_EQ(unmount(file("elsewhere")),
              event({"fs", "unmountfailed", file("elsewhere"), "No removable volume holds " + file("elsewhere")}));
    EXPECT_EQ(unmount(file("gone")), event({"fs", "unmountfailed", file("gone"), "No such file or directory"}));
    EXPECT_EQ(calls("block_devices/sdb1", "Unmount"), 0u);
}

TEST_F(UnmountTest, NoSystemBusIsAFailureWithGiosReason) {
    std::string saved = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + file("no-bus")).c_str(), 1);
    std::string text = unmount(stick_);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", saved.c_str(), 1);
    std::string prefix = event({"fs", "unmountfailed", stick_, ""});
    EXPECT_EQ(text.rfind(prefix, 0), 0u) << text;
    EXPECT_GT(text.size(), prefix.size());
}

}  // namespace
