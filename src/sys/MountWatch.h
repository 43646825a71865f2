#pragma once

#include <glib.h>

#include <functional>
#include <string>

// Tells when the user volumes of this process's mount table change (a stick mounted or
// released), at once: the kernel marks /proc/self/mountinfo when any mount changes, and
// the list of user volumes is compared with the last one so that other mounts stay
// quiet. Runs on the default main context; changed() is called there.
class MountWatch {
public:
    explicit MountWatch(std::function<void()> changed);
    ~MountWatch();
    MountWatch(const MountWatch&) = delete;
    MountWatch& operator=(const MountWatch&) = delete;

    bool running() const { return source_ != 0; }
    // Compares the table with the last one seen; true (and changed() called) when the
    // user volumes differ. The watch calls it itself.
    bool look();

private:
    static int onMarked(int fd, GIOCondition condition, void* self);

    std::function<void()> changed_;
    std::string last_;
    int fd_ = -1;
    unsigned source_ = 0;
};

// The user volumes of a mount table as one text (mount points and sources), to compare.
std::string userVolumesKey();
