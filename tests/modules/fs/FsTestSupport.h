#pragma once

#include "support/TempHome.h"
#include "webview/TarnAppWebViewController.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

// Drives the fs module through the real bridge in a temporary home.
class FsModuleTest : public ::testing::Test {
protected:
    FsModuleTest();
    // call({"stat", path}) runs "$$fs_stat" with the arguments and returns the tagged result.
    std::string call(std::vector<std::string> args);
    // The next queued event, running the main loop meanwhile; "" after timeoutMs.
    std::string nextEvent(int timeoutMs = 5000);
    // Every event arriving within ms.
    std::vector<std::string> eventsWithin(int ms);
    std::string file(const std::string& relative) const { return home.file(relative); }

    TempHome home;
    TarnAppWebViewController controller;
};

// Event text as the page receives it.
std::string event(std::initializer_list<std::string> fields);
// Runs body in a child process and returns its exit status (0 = passed). As root the
// child first becomes "nobody", so that file permissions bind it.
int inChildProcess(const std::function<int()>& body, bool unprivileged);
