#include "webview/WebView2Controller.h"

#include "base/Text.h"
#include "modules/NativeCall_app.h"
#include "modules/NativeCall_ble.h"
#include "modules/NativeCall_netservice.h"
#include "modules/NativeCall_store.h"
#include "modules/NativeCall_tcpip.h"
#include "modules/NativeCall_ulink.h"
#include "modules/NativeCall_audio.h"
#include "modules/NativeCall_player.h"
#include "modules/NativeCall_recorder.h"
#include "modules/NativeCall_sampler.h"
#include "modules/NativeCall_fs.h"
#include "modules/NativeCall_http.h"
#include "modules/NativeCall_midi.h"
#include "modules/NativeCall_midix.h"
#include "modules/NativeCall_security.h"
#include "modules/NativeCall_seq.h"
#include "modules/NativeCall_sh.h"
#include "modules/NativeCall_tgif.h"
#include "modules/NativeCall_util.h"
#include "sys/Desktop.h"
#include "sys/Paths.h"
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

WebView2Controller::WebView2Controller() : objects_(std::make_unique<NativeObjects>(this)) {
    NativeObjects* objects = objects_.get();
    registerModule(std::make_unique<NativeCall_app>(objects));
    registerModule(std::make_unique<NativeCall_midi>(objects));
    registerModule(std::make_unique<NativeCall_midix>(objects));
    registerModule(std::make_unique<NativeCall_tgif>(objects));
    registerModule(std::make_unique<NativeCall_seq>(objects));
    registerModule(std::make_unique<NativeCall_audio>(objects));
    registerModule(std::make_unique<NativeCall_player>(objects));
    registerModule(std::make_unique<NativeCall_recorder>(objects));
    registerModule(std::make_unique<NativeCall_sampler>(objects));
    registerModule(std::make_unique<NativeCall_ulink>(objects));
    registerModule(std::make_unique<NativeCall_http>(objects));
    registerModule(std::make_unique<NativeCall_tcpip>(objects));
    registerModule(std::make_unique<NativeCall_netservice>(objects));
    registerModule(std::make_unique<NativeCall_fs>(objects));
    registerModule(std::make_unique<NativeCall_security>(objects));
    registerModule(std::make_unique<NativeCall_ble>(objects));
    registerModule(std::make_unique<NativeCall_store>(objects));
    registerModule(std::make_unique<NativeCall_sh>(objects));
    registerModule(std::make_unique<NativeCall_util>(objects));
}

WebView2Controller::~WebView2Controller() {
    closeWebView();
    host_.reset();
    modules_.clear();
    objects_.reset();
}

const HostObject& WebView2Controller::hostObject() {
    if (!host_) host_ = std::make_unique<HostObject>(modules_.table());
    return *host_;
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

void WebView2Controller::openURL(const std::string& url, const std::string& scheme) {
    if (!scheme.empty()) registerUrlScheme(appName(), scheme, executablePath());
    openWithDefaultHandler(url);
}

void WebView2Controller::navigate(const std::string& url) {
    if (view_) view_->navigate(url);
}

void WebView2Controller::processEvent() {
    if (!view_) return;  // no view: the page pulls its events
    std::string event;
    while (nextEventToDeliver(event)) view_->runScript(dispatchScript(event));
}

void WebView2Controller::closeWindow() {
    if (window_) window_->close();
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
        if (!dragDropEnabled()) postEvent(makeEvent({"app", "command", "open", path}));
        return;
    }
    if (!address.empty()) openWithDefaultHandler(address);
}

void WebView2Controller::onDownloadStarted(const std::string& address) {
    postEvent(makeEvent({"app", "command", "download", address}));
}

void WebView2Controller::onFrameMessage(const std::string& frameName, const std::string& text) {
    postEvent(makeEvent({"app", "iframe", frameName, text}));
}

bool WebView2Controller::permissionAllowed(const std::string& documentAddress) {
    return AppScheme::isOwnAddress(documentAddress);
}

void WebView2Controller::onDragEntered(const std::vector<std::string>& paths) {
    if (!dragDropEnabled()) return;
    objects_->droppedFiles = paths;
}
