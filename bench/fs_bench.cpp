// fs module speed: copying a large file without replacing, a folder listing of many
// entries, a large hex read through the bridge. Prints the numbers; asserts nothing.
#include "sys/FileOperations.h"
#include "sys/Paths.h"
#include "support/TempHome.h"
#include "webview/TarnAppWebViewController.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

template <class Body>
double millis(Body&& body) {
    auto start = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    TempHome home;
    TarnAppWebViewController controller;
    controller.setAppName("tarn");

    const size_t copySize = size_t(256) << 20;
    writeFile(home.file("big.wav"), std::string(copySize, '\x5a'));
    double copyMs = millis([&] { copyFileNoReplace(home.file("big.wav"), home.file("copy.wav")); });
    double cpMs = millis([&] { std::system(("cp '" + home.file("big.wav") + "' '" + home.file("cp.wav") + "'").c_str()); });
    std::printf("copy 256 MiB (no-replace, fsync): %.0f ms, %.0f MiB/s; cp: %.0f ms\n", copyMs, 256000.0 / copyMs, cpMs);

    makeFolders(home.file("many"));
    for (int i = 0; i < 10000; ++i) writeFile(home.file("many/track" + std::to_string(i) + ".wav"), "RIFF");
    std::string listing;
    double listMs = millis([&] { listing = controller.invokeNative({"$$fs_contents", home.file("many")}); });
    double filteredMs = millis([&] { controller.invokeNative({"$$fs_contents", home.file("many"), "wav"}); });
    std::printf("contents of 10000 files: %.1f ms (%zu bytes of JSON); with extension filter: %.1f ms\n", listMs,
                listing.size(), filteredMs);

    writeFile(home.file("data.bin"), std::string(size_t(8) << 20, '\x07'));
    std::string hex;
    double readMs = millis([&] { hex = controller.invokeNative({"$$fs_readData", home.file("data.bin")}); });
    double writeMs = millis([&] { controller.invokeNative({"$$fs_writeData", home.file("out.bin"), hex.substr(1)}); });
    std::printf("readData 8 MiB: %.1f ms; writeData 8 MiB: %.1f ms\n", readMs, writeMs);
    return 0;
}
