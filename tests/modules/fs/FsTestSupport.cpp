#include "modules/fs/FsTestSupport.h"

#include "base/Text.h"

#include <algorithm>
#include <chrono>
#include <glib.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

FsModuleTest::FsModuleTest() { controller.setAppName("tarn"); }

std::string FsModuleTest::call(std::vector<std::string> args) {
    args[0] = "$$fs_" + args[0];
    return controller.invokeNative(args);
}

std::string FsModuleTest::nextEvent(int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        while (g_main_context_iteration(nullptr, FALSE)) {}
        std::string text = controller.takeEvent();
        if (!text.empty()) return text;
        if (std::chrono::steady_clock::now() >= deadline) return std::string();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::vector<std::string> FsModuleTest::eventsWithin(int ms) {
    std::vector<std::string> events;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < deadline) {
        std::string text = nextEvent(20);
        if (!text.empty()) events.push_back(text);
    }
    return events;
}

std::string event(std::initializer_list<std::string> fields) { return makeEvent(fields); }

int inChildProcess(const std::function<int()>& body, bool unprivileged) {
    pid_t child = fork();
    if (child == 0) {
        if (unprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(90);
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}
