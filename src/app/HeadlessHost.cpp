#include "app/HeadlessHost.h"

#include "app/Bundle.h"
#include "app/EditModeExit.h"
#include "app/PageScripts.h"
#include "app/SignalQuit.h"
#include "app/SingleInstance.h"
#include "sys/TokenFile.h"
#include "webview/LoopbackServer.h"
#include "assembly/AppBridge.h"

#include <cstdio>
#include <functional>
#include <glib.h>
#include <memory>

namespace {

// $$app_exit, a signal the page did not answer in time: every way out ends here.
class HeadlessWindow : public HostWindow {
public:
    explicit HeadlessWindow(std::function<void()> quit) : quit_(std::move(quit)) {}
    void close() override { quit_(); }

private:
    std::function<void()> quit_;
};

}  // namespace

int runHeadless(const std::string& appName, const Options& options) {
    // Held while it runs, so that a command-line run does not drive the same looper. Taken
    // by another start (a window, another host, a command), this one does not start: two
    // hosts would drive the same looper against each other.
    SingleInstance instance(appName);
    if (!instance.acquire()) {
        std::fprintf(stderr, "%s: Tarn is already running (%s); close it first.\n", appName.c_str(),
                     instance.commandRunning() ? "a tarn command" : "a window or a headless host");
        return 1;
    }

    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    auto bridge = std::make_unique<AppBridge>();
    bridge->setAppName(appName);

    Bundle bundle(appName);
    std::string root = bundle.dataFolder() + "html/";
    if (!bundle.extract(builtInBundle())) std::fprintf(stderr, "%s: the page bundle could not be unpacked\n", appName.c_str());

    // Whatever the browser does (no tab, a throttled one, two), the host ends only after it
    // told every looper whose ports it holds to leave edit mode, with the page's own step.
    PageScriptList scripts;
    std::string scriptError;
    if (!readPageScripts(root, scripts, scriptError))
        std::fprintf(stderr, "%s: %s; edit mode is left only by the page\n", appName.c_str(), scriptError.c_str());
    auto leave = std::make_unique<EditModeExit>(*bridge, std::move(scripts));
    HeadlessWindow window([&] {
        if (leave->started())
            g_main_loop_quit(loop);
        else
            leave->start([loop] { g_main_loop_quit(loop); });
    });
    bridge->setWindow(&window);

    LoopbackServer server(root, [&](const std::vector<std::string>& args) {
        // Leaving in process, the host alone drives the loopers (and takes the events).
        if (leave->started()) return std::string("eTarn is closing");
        return bridge->invokeNative(args);
    });
    std::string error;
    if (!options.tokenFile.empty()) {
        std::string token;
        if (!keptToken(options.tokenFile, &LoopbackServer::newToken, token, error)) {
            std::fprintf(stderr, "%s: --token-file %s\n", appName.c_str(), error.c_str());
            bridge.reset();
            g_main_loop_unref(loop);
            return 1;
        }
        server.setToken(token);
    }
    if (!server.start(options.port, error)) {
        std::fprintf(stderr, "%s: cannot serve the page: %s\n", appName.c_str(), error.c_str());
        bridge.reset();
        g_main_loop_unref(loop);
        return 1;
    }
    bridge->setStartAddress(server.pageAddress());
    // The process's own command line waits in the queue until the page starts delivery.
    for (const auto& event : commandLineEvents(options.pageArgs)) bridge->postEvent(event);

    std::printf("%s\n", server.pageAddress().c_str());
    std::fflush(stdout);

    {
        SignalQuit signals(*bridge, [&window] { window.close(); });
        g_main_loop_run(loop);
    }

    leave.reset();
    bridge.reset();
    g_main_loop_unref(loop);
    return 0;
}
