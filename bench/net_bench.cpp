// Throughput of the transfer and child-process paths, end to end through the bridge:
// a loopback download and upload of 256 MiB, and 64 MiB of command output as events.
// Prints the numbers; not part of the test suite.
#include "support/EventCollector.h"
#include "net/HttpTestServer.h"
#include "support/TempHome.h"
#include "webview/TarnAppWebViewController.h"

#include <chrono>
#include <cstdio>

namespace {
using Clock = std::chrono::steady_clock;
constexpr size_t kTransferSize = 256u << 20;
constexpr size_t kOutputSize = 64u << 20;

double mibPerSecond(size_t bytes, Clock::time_point start) {
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return bytes / 1048576.0 / seconds;
}

std::string startCall(TarnAppWebViewController& controller, std::vector<std::string> args) {
    return controller.invokeNative(args).substr(1);
}
}

int main() {
    TempHome home;
    setenv("no_proxy", "127.0.0.1", 1);
    HttpTestServer server(home.path());
    TarnAppWebViewController controller;
    EventCollector events(controller);

    auto start = Clock::now();
    std::string id = startCall(controller, {"$$http_download", server.url("/data/" + std::to_string(kTransferSize)),
                                            home.file("download")});
    if (!events.waitFor("http", "completed", id, std::chrono::minutes(5))) return 1;
    std::printf("download %zu MiB: %.0f MiB/s (%zu progress events)\n", kTransferSize >> 20,
                mibPerSecond(kTransferSize, start), events.of("http", id).size() - 1);

    start = Clock::now();
    id = startCall(controller, {"$$http_upload", server.url("/put/201/upload"), home.file("download")});
    if (!events.waitFor("http", "completed", id, std::chrono::minutes(5))) return 1;
    std::printf("upload %zu MiB: %.0f MiB/s\n", kTransferSize >> 20, mibPerSecond(kTransferSize, start));

    start = Clock::now();
    std::string command = "[\"head\",\"-c\",\"" + std::to_string(kOutputSize) + "\",\"/dev/zero\",\"|\",\"tr\",\"'\\\\\\\\0'\",\"x\"]";
    id = startCall(controller, {"$$sh_exec", command});
    if (!events.waitFor([&](const EventCollector::Event& e) { return e.size() == 4 && e[2] == id && e[3].empty(); },
                        std::chrono::minutes(5)))
        return 1;
    size_t bytes = 0;
    for (const auto& e : events.of("sh", id)) bytes += e[3].size();
    std::printf("sh output %zu MiB: %.0f MiB/s (%zu events)\n", bytes >> 20, mibPerSecond(bytes, start),
                events.of("sh", id).size());
    return 0;
}
