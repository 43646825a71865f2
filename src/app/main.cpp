#include "app/CatalogueBuilder.h"
#include "app/CommandHost.h"
#include "app/CommandLine.h"
#include "app/HeadlessHost.h"
#include "app/WindowHost.h"
#include "sys/SystemInfo.h"

#include <cstdio>
#include <unistd.h>
#include <gtk/gtk.h>

namespace {

void printHelp(const std::string& name) {
    std::printf(
        "Usage: %s [--headless [--port N] [--token-file PATH]] [FILE...] [-url ADDRESS...]\n"
        "       %s --make-catalogue FOLDER\n"
        "       %s COMMAND [ARGS...]\n"
        "Companion for Corvane loopers: lists, imports, exports and previews the tracks of a connected device.\n\n"
        "Shows its page in a window; another start hands its arguments to the running window.\n"
        "Without a display it runs headless.\n\n"
        "  --headless   run without a window; serve the page on 127.0.0.1 and print its address\n"
        "  --port N     the port of the headless page (default: any free port)\n"
        "  --token-file PATH  keep the headless page's token in PATH (made private if new), so\n"
        "               its address stays the same from run to run (with a fixed --port)\n"
        "  --make-catalogue FOLDER  write FOLDER/tracksets.json from its track sets and exit\n"
        "  --version    print the version and exit\n"
        "  --help       print this help and exit\n"
        "FILE arguments reach the page as \"open\" commands, addresses after -url as \"url\" commands.\n\n"
        "Commands (no window or display needed; '%s COMMAND --help' for each):\n"
        "  devices      list the connected loopers\n"
        "  ls           list the tracks of a looper\n"
        "  import       import audio files into tracks\n"
        "  export       export a track to a WAV file\n"
        "  rm           delete a track (a copy is kept for 30 days)\n"
        "  deleted      list the recently deleted tracks\n"
        "  undelete     put a recently deleted track back\n"
        "  backup       copy every track and a manifest into a folder\n"
        "  restore      write a backup back onto a looper\n",
        name.c_str(), name.c_str(), name.c_str(), name.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    std::string appName = applicationName(argc > 0 ? argv[0] : "tarn");
    if (argc > 1 && isCommandName(argv[1])) {
        int status = runCommand(appName, std::vector<std::string>(argv + 1, argv + argc));
        // A fire-and-forget worker (a child process's reader, say) may still be ending its
        // thread: leaving through exit() would run the libraries' destructors under it, and the
        // thread's own clean-up then met freed memory (a double free, now and then). What the
        // command wrote is flushed, then the process ends at once.
        std::fflush(nullptr);
        _exit(status);
    }
    Options options = parseOptions(argc, argv);
    if (!options.error.empty()) {
        std::fprintf(stderr, "%s: %s\n", appName.c_str(), options.error.c_str());
        return 2;
    }
    // A mistyped command or a missing file is not opened as a page argument: that would
    // start a window or a headless server for nothing.
    std::string unusable = options.help || options.version ? std::string() : unusableFirstArgument(options.pageArgs);
    if (!unusable.empty()) {
        bool looksLikeOption = unusable.size() > 1 && unusable[0] == '-';
        std::fprintf(stderr, "%s: '%s' is not a %s %s. See '%s --help'.\n", appName.c_str(), unusable.c_str(),
                     appName.c_str(), looksLikeOption ? "option" : "command", appName.c_str());
        std::string nearest = nearestCommandName(unusable);
        if (!nearest.empty()) std::fprintf(stderr, "Did you mean '%s %s'?\n", appName.c_str(), nearest.c_str());
        return 2;
    }
    absoluteFileArguments(options.pageArgs);
    if (options.help) {
        printHelp(appName);
        return 0;
    }
    if (options.version) {
        std::printf("%s %s\n", appName.c_str(), programVersion().c_str());
        return 0;
    }
    if (options.makeCatalogue) {
        CatalogueResult made = makeCatalogue(options.catalogueFolder);
        std::fprintf(made.ok ? stdout : stderr, "%s%s\n", made.ok ? "" : (appName + ": ").c_str(), made.message.c_str());
        return made.ok ? 0 : 1;
    }
    if (!options.headless) {
        // The window's class (X11) and application id (Wayland) are the desktop entry's name,
        // so the launcher shows the window under its entry and icon.
        g_set_prgname(applicationId().c_str());
        gdk_set_program_class(applicationId().c_str());
        g_set_application_name("Tarn");
        if (gtk_init_check(nullptr, nullptr)) {
            gtk_window_set_default_icon_name(applicationId().c_str());
            return runWindow(appName, options);
        }
        std::fprintf(stderr, "%s: no display available; running headless\n", appName.c_str());
    }
    return runHeadless(appName, options);
}
