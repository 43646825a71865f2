#include "webview/WebView2Controller.h"

#include "modules/NativeCall_app.h"
#include "sys/Desktop.h"
#include "webview/AppScheme.h"
#include "webview/FileAddress.h"
#include "webview/RuntimeVersion.h"
#include "webview/WebKitPageView.h"

#include <gtk/gtk.h>

namespace {

// Tells the user the web engine is missing or too old (modal, owned by the window).
void showRuntimeMissing(GtkWindow* window, const std::string& appName) {
    GtkWidget* dialog = gtk_message_dialog_new(window, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "%s",
                                               "Please download and install \"WebKitGTK\".");
    gtk_window_set_title(GTK_WINDOW(dialog), appName.c_str());
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    openWithDefaultHandler("https://webkitgtk.org/");
}

}  // namespace

// How long after its page has loaded the window starts the MIDI and sound-server watchers:
// the page's first frame comes first, and a call that needs them makes them at once.
constexpr unsigned watchersDelayMs = 1000;

WebView2Controller::WebView2Controller() : AppBridge(false) {}

WebView2Controller::~WebView2Controller() {
    closeWebView();
    if (watchersTimer_) g_source_remove(watchersTimer_);
}

bool WebView2Controller::createEnvironment(GtkWindow* window, const std::string& appName,
                                           const std::string& startAddress, const std::string& dataFolder,
                                           const std::string& pageRoot) {
    setAppName(appName);
    setStartAddress(startAddress);
    if (!versionAccepted(runningWebKitVersion(), minimumWebKitVersion)) {
        showRuntimeMissing(window, appName);
        return false;
    }
    gtkWindow_ = window;
    hostObject();  // the module table is complete: the page may call from now on
    webView_ = std::make_unique<WebKitPageView>(*this, dataFolder, pageRoot);
    setView(webView_.get());
    gtk_container_add(GTK_CONTAINER(window), webView_->widget());
    gtk_widget_show(webView_->widget());
    gtk_widget_grab_focus(webView_->widget());
    webView_->navigate(startAddress);
    onWebViewCreated(true);
    return true;
}

void WebView2Controller::closeWebView() {
    gtkWindow_ = nullptr;  // the window goes next: no dialog may take it as owner any more
    if (!webView_) return;
    setView(nullptr);
    GtkWidget* widget = webView_->widget();
    if (GtkWidget* parent = gtk_widget_get_parent(widget)) gtk_container_remove(GTK_CONTAINER(parent), widget);
    webView_.reset();
}

void WebView2Controller::onWebViewCreated(bool) {}

std::string WebView2Controller::pagePath(const std::string& address) {
    return address.substr(0, address.find_first_of(";?#"));
}

void WebView2Controller::onSourceChanged(const std::string& address) {
    std::string path = pagePath(address);
    if (path == currentPagePath_) return;
    currentPagePath_ = path;
    clearStarted();
}

void WebView2Controller::onTitleChanged(const std::string& title) {
    if (gtkWindow_) gtk_window_set_title(gtkWindow_, title.c_str());
}

void WebView2Controller::onNewWindowRequested(const std::string& address) {
    std::string path;
    if (localPathOfFileAddress(address, path)) {
        if (!dragDropEnabled()) postEvent(NativeCall_app::commandEvent("open", path));
        return;
    }
    if (!address.empty()) openWithDefaultHandler(address);
}

void WebView2Controller::onDownloadStarted(const std::string& address) {
    postEvent(NativeCall_app::commandEvent("download", address));
}

void WebView2Controller::onFrameMessage(const std::string& frameName, const std::string& text) {
    postEvent(NativeCall_app::frameMessageEvent(frameName, text));
}

bool WebView2Controller::permissionAllowed(const std::string& documentAddress) {
    return AppScheme::isOwnAddress(documentAddress);
}

void WebView2Controller::onPageLoaded() {
    if (watchersTimer_) return;
    watchersTimer_ = g_timeout_add_full(
        G_PRIORITY_LOW, watchersDelayMs,
        [](gpointer self) -> gboolean {
            auto* controller = static_cast<WebView2Controller*>(self);
            controller->watchersTimer_ = 0;
            controller->nativeObjects().startWatchers();  // once: later loads find them made
            return G_SOURCE_REMOVE;
        },
        this, nullptr);
}

void WebView2Controller::onDragEntered(const std::vector<std::string>& paths) {
    if (!dragDropEnabled()) return;
    nativeObjects().droppedFiles = paths;
}
