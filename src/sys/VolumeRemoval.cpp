#include "sys/VolumeRemoval.h"

#include "sys/MountTable.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <gio/gio.h>
#include <map>
#include <mutex>
#include <sys/mount.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const kService = "org.freedesktop.UDisks2";
const char* const kBlock = "org.freedesktop.UDisks2.Block";
const char* const kFilesystem = "org.freedesktop.UDisks2.Filesystem";
const char* const kEncrypted = "org.freedesktop.UDisks2.Encrypted";
const char* const kDrive = "org.freedesktop.UDisks2.Drive";
const int kCallTimeoutMs = 120000;  // flushing a slow stick takes a while

// A reference to a GLib object or variant dropped at the end of the scope.
template <class T, void (*Unref)(T*)>
struct Held {
    T* p = nullptr;
    Held() = default;
    explicit Held(T* value) : p(value) {}
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() {
        if (p) Unref(p);
    }
};
void unrefObject(GDBusConnection* c) { g_object_unref(c); }
using Connection = Held<GDBusConnection, unrefObject>;
using Variant = Held<GVariant, g_variant_unref>;

// Failure with a reason text for the page; noService when the disk service itself
// could not be reached (no system bus, or nobody owns the service's name).
struct Refusal {
    std::string reason;
    bool noService = false;
};

std::string errorText(GError* error) {
    if (g_dbus_error_is_remote_error(error)) g_dbus_error_strip_remote_error(error);
    std::string text = error->message ? error->message : "unknown error";
    g_error_free(error);
    return text;
}

bool serviceMissing(const GError* error) {
    return g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SPAWN_EXEC_FAILED) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SPAWN_CHILD_EXITED);
}

Refusal unreachable(GError* error) {
    Refusal refusal;
    refusal.noService = true;
    refusal.reason = errorText(error);
    return refusal;
}

// The interfaces of one managed object: interface name -> its a{sv} properties.
using Interfaces = std::map<std::string, GVariant*>;

GVariant* property(const Interfaces& interfaces, const char* interface, const char* name) {
    auto found = interfaces.find(interface);
    if (found == interfaces.end()) return nullptr;
    return g_variant_lookup_value(found->second, name, nullptr);
}

bool boolProperty(const Interfaces& interfaces, const char* interface, const char* name) {
    Variant value(property(interfaces, interface, name));
    return value.p && g_variant_is_of_type(value.p, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value.p);
}

std::string pathProperty(const Interfaces& interfaces, const char* interface, const char* name) {
    Variant value(property(interfaces, interface, name));
    if (!value.p || !g_variant_is_of_type(value.p, G_VARIANT_TYPE_OBJECT_PATH)) return "/";
    return g_variant_get_string(value.p, nullptr);
}

std::vector<std::string> mountPoints(const Interfaces& interfaces) {
    std::vector<std::string> points;
    Variant value(property(interfaces, kFilesystem, "MountPoints"));
    if (!value.p || !g_variant_is_of_type(value.p, G_VARIANT_TYPE_BYTESTRING_ARRAY)) return points;
    GVariantIter iter;
    g_variant_iter_init(&iter, value.p);
    while (GVariant* child = g_variant_iter_next_value(&iter)) {
        points.emplace_back(g_variant_get_bytestring(child));
        g_variant_unref(child);
    }
    return points;
}

bool holds(const std::string& mountPoint, const std::string& path) {
    if (mountPoint == "/") return true;
    std::string point = mountPoint;
    while (point.size() > 1 && point.back() == '/') point.pop_back();
    return path == point || path.compare(0, point.size() + 1, point + "/") == 0;
}

// Everything the service manages, read in one call.
class ManagedObjects {
public:
    explicit ManagedObjects(GDBusConnection* bus) {
        GError* error = nullptr;
        reply_.p = g_dbus_connection_call_sync(bus, kService, "/org/freedesktop/UDisks2", "org.freedesktop.DBus.ObjectManager",
                                               "GetManagedObjects", nullptr, G_VARIANT_TYPE("(a{oa{sa{sv}}})"),
                                               G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &error);
        if (!reply_.p) {
            if (serviceMissing(error)) throw unreachable(error);
            throw Refusal{errorText(error)};
        }
        GVariant* objects = g_variant_get_child_value(reply_.p, 0);
        children_.push_back(objects);
        GVariantIter iter;
        g_variant_iter_init(&iter, objects);
        const char* path;
        GVariant* interfaces;
        while (g_variant_iter_next(&iter, "{&o@a{sa{sv}}}", &path, &interfaces)) {
            children_.push_back(interfaces);
            Interfaces& entry = objects_[path];
            GVariantIter inner;
            g_variant_iter_init(&inner, interfaces);
            const char* name;
            GVariant* props;
            while (g_variant_iter_next(&inner, "{&s@a{sv}}", &name, &props)) {
                children_.push_back(props);
                entry[name] = props;
            }
        }
    }
    ~ManagedObjects() {
        for (GVariant* child : children_) g_variant_unref(child);
    }
    ManagedObjects(const ManagedObjects&) = delete;
    ManagedObjects& operator=(const ManagedObjects&) = delete;

    const std::map<std::string, Interfaces>& objects() const { return objects_; }
    const Interfaces* find(const std::string& path) const {
        auto found = objects_.find(path);
        return found == objects_.end() ? nullptr : &found->second;
    }

private:
    Variant reply_;
    std::vector<GVariant*> children_;
    std::map<std::string, Interfaces> objects_;
};

void callWithOptions(GDBusConnection* bus, const std::string& object, const char* interface, const char* method) {
    GError* error = nullptr;
    Variant reply(g_dbus_connection_call_sync(bus, kService, object.c_str(), interface, method,
                                              g_variant_new("(@a{sv})", g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0)),
                                              nullptr, G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &error));
    if (!reply.p) throw Refusal{errorText(error)};
}

std::string resolvedPath(const std::string& path) {
    char buffer[PATH_MAX];
    if (!realpath(path.c_str(), buffer)) throw Refusal{std::strerror(errno)};
    return buffer;
}

// What releaseVolume did, by the path it was given (no trailing '/'): the filesystem's
// object, and whether the drive went with it (powered off, or its media ejected).
struct Released {
    std::string filesystem;
    bool driveGone = false;
};
std::mutex releasedMutex;
std::map<std::string, Released> released;

std::string withoutSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

void remember(const std::string& path, Released what) {
    std::lock_guard<std::mutex> lock(releasedMutex);
    released[withoutSlash(path)] = std::move(what);
}

GDBusConnection* systemBus() {
    GError* error = nullptr;
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, &error);
    if (!address) throw unreachable(error);
    Connection bus(g_dbus_connection_new_for_address_sync(
        address, GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error));
    g_free(address);
    if (!bus.p) throw unreachable(error);
    GDBusConnection* connection = bus.p;
    bus.p = nullptr;
    return connection;
}

void release(const std::string& path) {
    std::string target = resolvedPath(path);
    Connection bus(systemBus());

    ManagedObjects managed(bus.p);
    // The filesystem with the longest mount point holding the path.
    std::string filesystem, holder;
    for (const auto& object : managed.objects()) {
        for (const std::string& point : mountPoints(object.second)) {
            if (holds(point, target) && point.size() > holder.size()) {
                holder = point;
                filesystem = object.first;
            }
        }
    }
    if (filesystem.empty()) throw Refusal{"No removable volume holds " + path};
    const Interfaces& block = *managed.find(filesystem);
    // An unlocked encrypted container: the drive is the container's.
    std::string container = pathProperty(block, kBlock, "CryptoBackingDevice");
    const Interfaces* driveOwner = container != "/" && managed.find(container) ? managed.find(container) : &block;
    std::string drivePath = pathProperty(*driveOwner, kBlock, "Drive");
    const Interfaces* drive = managed.find(drivePath);
    if (!drive || drive->find(kDrive) == drive->end()) throw Refusal{holder + " is not on a removable drive"};
    bool removable = boolProperty(*drive, kDrive, "Removable") || boolProperty(*drive, kDrive, "MediaRemovable") ||
                     boolProperty(*drive, kDrive, "Ejectable");
    if (!removable) throw Refusal{holder + " is not on a removable drive"};

    callWithOptions(bus.p, filesystem, kFilesystem, "Unmount");
    // Locked, an encrypted container would need its passphrase again: counted as gone.
    Released what{filesystem, container != "/"};
    remember(path, what);
    if (container != "/") callWithOptions(bus.p, container, kEncrypted, "Lock");
    what.driveGone = true;
    // Powering off a looper's USB device would take its MIDI ports with it, and the page
    // could no longer take the looper out of edit mode: only its media are ejected then.
    Variant number(property(*driveOwner, kBlock, "DeviceNumber"));
    bool shared = number.p && g_variant_is_of_type(number.p, G_VARIANT_TYPE_UINT64) &&
                  sharesUsbDevice(g_variant_get_uint64(number.p));
    if (shared) {
        // Unmounted, the volume is safe to unplug already: media that will not eject
        // (no eject tool, say) stay, and Connect can mount them again.
        try {
            if (!boolProperty(*drive, kDrive, "Ejectable")) throw Refusal{};
            callWithOptions(bus.p, drivePath, kDrive, "Eject");
        } catch (const Refusal&) {
            what.driveGone = false;
        }
    } else if (boolProperty(*drive, kDrive, "CanPowerOff"))
        callWithOptions(bus.p, drivePath, kDrive, "PowerOff");
    else if (boolProperty(*drive, kDrive, "Ejectable"))
        callWithOptions(bus.p, drivePath, kDrive, "Eject");
    else
        what.driveGone = false;
    remember(path, what);
}

const char* const kReplug = "Unplug the looper and plug it in again.";

std::string remount(const std::string& path) {
    Released what;
    {
        std::lock_guard<std::mutex> lock(releasedMutex);
        auto found = released.find(withoutSlash(path));
        if (found == released.end()) throw Refusal{std::string("The volume cannot be mounted again from here. ") + kReplug};
        what = found->second;
    }
    if (what.driveGone) throw Refusal{std::string("The looper's drive was switched off when it was disconnected. ") + kReplug};
    Connection bus(systemBus());
    ManagedObjects managed(bus.p);
    if (!managed.find(what.filesystem)) throw Refusal{std::string("The looper's volume is no longer there. ") + kReplug};
    GError* error = nullptr;
    Variant reply(g_dbus_connection_call_sync(bus.p, kService, what.filesystem.c_str(), kFilesystem, "Mount",
                                              g_variant_new("(@a{sv})", g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0)),
                                              G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &error));
    if (!reply.p) throw Refusal{errorText(error)};
    const char* point = nullptr;
    g_variant_get(reply.p, "(&s)", &point);
    std::string mounted = point ? point : "";
    std::lock_guard<std::mutex> lock(releasedMutex);
    released.erase(withoutSlash(path));
    return mounted;
}

// Runs umount(8) on a mount point, quietly: it may unmount what the mount table lets
// users unmount ("user" mounts) even when this process may not.
bool runUmount(const std::string& point) {
    pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, STDIN_FILENO);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
        execl("/bin/umount", "umount", point.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

const int kBusyAttempts = 20;         // tries after the first, for a volume found busy
const useconds_t kBusyPauseUs = 100000;  // between them: two seconds in all

const char* const kEjectAdvice = " Eject it from the file manager before unplugging it.";

// Without the disk service: unmount the filesystem holding path where this user may.
std::string plainUnmount(const std::string& path) {
    char buffer[PATH_MAX];
    if (!realpath(path.c_str(), buffer)) return std::string("The volume is no longer there: ") + std::strerror(errno) + ".";
    std::vector<MountEntry> table;
    readMountTable(table);
    const MountEntry* mount = mountHolding(table, buffer);
    if (!mount || mount->mountPoint == "/" || !isUserVolume(*mount))
        return std::string("The disk service (UDisks2) is not running, and this folder is not on a volume that can be "
                           "released.") + kEjectAdvice;
    // A volume is often busy for a moment only: a folder being listed or watched as the
    // release begins, a desktop indexer passing by. Only one that stays busy is refused.
    int error = 0;
    for (int attempt = 0;; ++attempt) {
        if (umount2(mount->mountPoint.c_str(), 0) == 0) return std::string();
        error = errno;
        if (error != EBUSY || attempt == kBusyAttempts) break;
        usleep(kBusyPauseUs);
    }
    if (error == EBUSY)
        return std::string("The volume is still in use by another program, and the disk service (UDisks2) that could "
                           "release it is not running. Close the program using it (") + std::strerror(error) + ")." +
               kEjectAdvice;
    if (runUmount(mount->mountPoint)) return std::string();
    return std::string("The disk service (UDisks2) that releases volumes is not running, and this user may not "
                       "unmount the volume directly.") + kEjectAdvice;
}

}  // namespace

bool sharesUsbDevice(uint64_t device, const std::string& sysBlock) {
    const dev_t dev = static_cast<dev_t>(device);
    char resolved[PATH_MAX];
    std::string node = sysBlock + "/" + std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
    if (!realpath(node.c_str(), resolved)) return false;
    // Up from the disk (or partition) to the USB interface it hangs from; its parent is
    // the USB device, whose other interfaces are its siblings.
    std::string at = resolved;
    auto classOf = [](const std::string& folder) {
        std::ifstream file(folder + "/bInterfaceClass");
        std::string value;
        return file >> value ? value : std::string();
    };
    while (!at.empty() && classOf(at).empty()) at.erase(at.rfind('/') == std::string::npos ? 0 : at.rfind('/'));
    if (at.empty()) return false;
    const std::string usbDevice = at.substr(0, at.rfind('/'));
    DIR* folder = opendir(usbDevice.c_str());
    if (!folder) return false;
    bool shared = false;
    while (dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        const std::string value = name.find(':') == std::string::npos ? std::string() : classOf(usbDevice + "/" + name);
        // 08: mass storage.
        if (!value.empty() && value != "08") shared = true;
    }
    closedir(folder);
    return shared;
}

std::string releaseVolume(const std::string& path) {
    try {
        release(path);
        return std::string();
    } catch (const Refusal& refusal) {
        if (refusal.noService) return plainUnmount(path);
        return refusal.reason.empty() ? std::string("unknown error") : refusal.reason;
    }
}

std::string remountVolume(const std::string& path, std::string& mountPoint) {
    try {
        mountPoint = remount(path);
        return std::string();
    } catch (const Refusal& refusal) {
        return refusal.reason.empty() ? std::string("unknown error") : refusal.reason;
    }
}
