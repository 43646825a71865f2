#include "audio/AudioTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// Processes in the group that still run (a zombie has ended: only its parent has not looked).
int liveProcessesIn(int group) {
    int live = 0;
    DIR* proc = opendir("/proc");
    if (!proc) return -1;
    while (dirent* entry = readdir(proc)) {
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) continue;
        // "pid (name) state ppid pgrp ..."; the name may hold spaces and parentheses.
        std::istringstream rest(line.substr(line.rfind(')') + 2));
        char state = 0;
        int parent = 0, pgrp = 0;
        rest >> state >> parent >> pgrp;
        if (pgrp == group && state != 'Z' && state != 'X') ++live;
    }
    closedir(proc);
    return live;
}

// A test program that is killed (a crash, CTest's timeout) runs no destructor: its private
// sound server must still end, not linger on a machine where CI runs every day.
TEST(SoundServerLifetimeTest, TheServerEndsWhenTheTestProgramIsKilled) {
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(report[0]);
        PulseServer server("tarn_lifetime");
        const int group = server.processGroup();
        (void)!write(report[1], &group, sizeof group);
        (void)!write(report[1], server.folder().data(), server.folder().size());
        raise(SIGKILL);
    }
    close(report[1]);
    int group = -1;
    const bool reported = read(report[0], &group, sizeof group) == sizeof group;
    char folder[256] = {};
    (void)!read(report[0], folder, sizeof folder - 1);
    close(report[0]);
    waitpid(child, nullptr, 0);
    ASSERT_TRUE(reported) << "the sound server did not start in the child";
    // PipeWire's script removes its folder as it ends; PulseAudio's is the caller's to remove.
    struct RemoveFolder {
        std::string path;
        ~RemoveFolder() {
            if (path.rfind("/tmp/tarn-pulse-", 0) == 0) shell("rm -rf '" + path + "'");
        }
    } removeFolder{folder};
    ASSERT_GT(group, 0);
    int live = liveProcessesIn(group);
    for (int i = 0; i < 200 && live > 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        live = liveProcessesIn(group);
    }
    EXPECT_EQ(live, 0) << "processes of the sound server outlived the program that started it";
}

}  // namespace
