#include "app/WindowHost.h"

#include "app/Bundle.h"
#include "app/MainWindow.h"
#include "app/SignalQuit.h"
#include "app/SingleInstance.h"
#include "sys/ColorScheme.h"
#include "webview/AppScheme.h"
#include "webview/TarnAppWebViewController.h"

#include <cstdio>
#include <cstdlib>
#include <gtk/gtk.h>
#include <memory>

std::string startPage() {
    const char* page = getenv("TARN_START_PAGE");
    if (!page || !*page || page[0] == '/' || std::string(page).find(':') != std::string::npos) return "index.html";
    return page;
}

int runWindow(const std::string& appName, const Options& options) {
    SingleInstance instance(appName);
    if (!instance.acquire()) {
        // A command-line run has no window to take the command line: say so.
        if (instance.commandRunning()) {
            std::fprintf(stderr, "%s: a tarn command is running; start Tarn again when it has finished.\n",
                         appName.c_str());
            return 1;
        }
        // Another start owns the window: hand the command line over (when it can take
        // it) and end.
        if (instance.handOver(options.pageArgs)) return 0;
        // A headless host (or a window still starting) takes no command line.
        std::fprintf(stderr, "%s: Tarn is already running without a window (headless, or still starting); close it first.\n",
                     appName.c_str());
        return 1;
    }

    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    auto controller = std::make_unique<TarnAppWebViewController>();
    controller->setAppName(appName);

    Bundle bundle(appName);
    std::string root = bundle.dataFolder() + "html/";
    std::string start = "about:blank";
    if (bundle.extract(builtInBundle()))
        start = AppScheme::address(startPage());
    else
        std::fprintf(stderr, "%s: the page bundle could not be unpacked\n", appName.c_str());

    // The desktop's light or dark preference from the settings portal, which GTK 3 does not
    // read itself; the web view's prefers-color-scheme follows GTK's dark-theme setting. A
    // theme asked for by name (GTK_THEME) stays as asked.
    ColorSchemeWatch colorScheme;
    const char* theme = getenv("GTK_THEME");
    if (!theme || !*theme) {
        bool followed = false;
        colorScheme.start([followed](ColorSchemeWatch::Scheme scheme) mutable {
            // No preference at start: the user's own GTK settings decide.
            if (scheme == ColorSchemeWatch::NoPreference && !followed) return;
            followed = true;
            g_object_set(gtk_settings_get_default(), "gtk-application-prefer-dark-theme",
                         scheme == ColorSchemeWatch::PreferDark ? TRUE : FALSE, nullptr);
        });
    }

    int code = 0;
    {
        MainWindow window(*controller, appName, loop);
        controller->setWindow(&window);
        if (window.create(start, bundle.dataFolder(), root)) {
            WebView2Controller* events = controller.get();
            instance.listen([&window, events](const std::vector<std::string>& args) {
                window.activate();
                for (const auto& event : commandLineEvents(args)) events->postEvent(event);
            });
            // The process's own command line waits in the queue until the page starts delivery.
            for (const auto& event : commandLineEvents(options.pageArgs)) controller->postEvent(event);
            SignalQuit signals(*controller, [&window] { window.close(); });
            g_main_loop_run(loop);
        } else {
            code = 1;
        }
        controller->setWindow(nullptr);
    }
    controller.reset();
    g_main_loop_unref(loop);
    return code;
}
