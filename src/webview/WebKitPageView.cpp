#include "webview/WebKitPageView.h"

#include "sys/Paths.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

namespace {

// Frames other than the page itself get chrome.webview.postMessage, which hands the
// frame's name and the message to the host; the page's own messages are not wanted.
const char* const frameMessageScript = R"JS(
(function () {
  if (window.top === window) return;
  var handlers = window.webkit && window.webkit.messageHandlers;
  var handler = handlers && handlers.tarnFrame;
  if (!handler) return;
  var post = handler.postMessage.bind(handler);
  var chrome = window.chrome = window.chrome || {};
  chrome.webview = chrome.webview || {};
  chrome.webview.postMessage = function (message) { post([String(window.name), message]); };
})();
)JS";

const char* const frameMessageHandler = "tarnFrame";

// Memory limits of the engine's processes (MB) for one local page: the web process idles
// near 90 MB, the network process (storage only: the page comes over tarn://) near 25.
constexpr unsigned pageMemoryLimitMB = 512;
constexpr unsigned networkMemoryLimitMB = 128;

// Caches go at 40 % of the limit, everything that can go at 60 %.
WebKitMemoryPressureSettings* pressureSettings(unsigned limitMB) {
    WebKitMemoryPressureSettings* settings = webkit_memory_pressure_settings_new();
    webkit_memory_pressure_settings_set_memory_limit(settings, limitMB);
    webkit_memory_pressure_settings_set_conservative_threshold(settings, 0.4);
    webkit_memory_pressure_settings_set_strict_threshold(settings, 0.6);
    webkit_memory_pressure_settings_set_kill_threshold(settings, 0);
    return settings;
}

// Applies to network processes started later: must come before the first data manager.
void limitNetworkProcessMemory() {
    static bool done = false;
    if (done) return;
    done = true;
    WebKitMemoryPressureSettings* settings = pressureSettings(networkMemoryLimitMB);
    webkit_website_data_manager_set_memory_pressure_settings(settings);
    webkit_memory_pressure_settings_free(settings);
}

std::string readAll(GInputStream* stream) {
    std::string bytes;
    if (!stream) return bytes;
    char buffer[16384];
    for (;;) {
        gssize n = g_input_stream_read(stream, buffer, sizeof buffer, nullptr, nullptr);
        if (n <= 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
}

std::string textOf(const char* text) { return text ? text : ""; }

PageViewListener& listenerOf(gpointer data) { return *static_cast<PageViewListener*>(data); }

void onUriChanged(WebKitWebView* view, GParamSpec*, gpointer data) {
    listenerOf(data).onSourceChanged(textOf(webkit_web_view_get_uri(view)));
}

void onTitleChanged(WebKitWebView* view, GParamSpec*, gpointer data) {
    listenerOf(data).onTitleChanged(textOf(webkit_web_view_get_title(view)));
}

gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type, gpointer data) {
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION)
        return FALSE;
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    WebKitURIRequest* request = webkit_navigation_action_get_request(action);
    std::string address = textOf(webkit_uri_request_get_uri(request));
    // A local file never replaces the page (that is how the engine shows a dropped
    // file): it is reported like a request for a new window.
    bool localFile = address.compare(0, 8, "file:///") == 0;
    if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && !localFile) return FALSE;
    webkit_policy_decision_ignore(decision);
    listenerOf(data).onNewWindowRequested(address);
    return TRUE;
}

void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
    if (event == WEBKIT_LOAD_FINISHED) listenerOf(data).onPageLoaded();
}

GtkWidget* onCreate(WebKitWebView*, WebKitNavigationAction*, gpointer) { return nullptr; }

gboolean onPermissionRequest(WebKitWebView* view, WebKitPermissionRequest* request, gpointer data) {
    if (listenerOf(data).permissionAllowed(textOf(webkit_web_view_get_uri(view))))
        webkit_permission_request_allow(request);
    else
        webkit_permission_request_deny(request);
    return TRUE;
}

gboolean onContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*, gpointer) {
    return TRUE;
}

void onDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer data) {
    WebKitURIRequest* request = webkit_download_get_request(download);
    std::string address = request ? textOf(webkit_uri_request_get_uri(request)) : std::string();
    webkit_download_cancel(download);
    listenerOf(data).onDownloadStarted(address);
}

void onFrameMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    if (!jsc_value_is_array(value)) return;
    JSCValue* name = jsc_value_object_get_property_at_index(value, 0);
    JSCValue* text = jsc_value_object_get_property_at_index(value, 1);
    if (jsc_value_is_string(name) && jsc_value_is_string(text)) {
        char* nameText = jsc_value_to_string(name);
        char* messageText = jsc_value_to_string(text);
        listenerOf(data).onFrameMessage(textOf(nameText), textOf(messageText));
        g_free(nameText);
        g_free(messageText);
    }
    g_object_unref(name);
    g_object_unref(text);
}

void onDragDataReceived(GtkWidget*, GdkDragContext*, gint, gint, GtkSelectionData* selection, guint, guint,
                        gpointer data) {
    gchar** uris = gtk_selection_data_get_uris(selection);
    if (!uris) return;
    std::vector<std::string> paths;
    for (gchar** uri = uris; *uri; ++uri) {
        gchar* path = g_filename_from_uri(*uri, nullptr, nullptr);
        if (path) paths.emplace_back(path);
        g_free(path);
    }
    g_strfreev(uris);
    if (!paths.empty()) listenerOf(data).onDragEntered(paths);
}

}  // namespace

WebKitPageView::WebKitPageView(PageViewListener& listener, const std::string& dataFolder, const std::string& pageRoot)
    : listener_(listener),
      scheme_(pageRoot, [this](const std::vector<std::string>& args) { return listener_.invokeNative(args); }) {
    limitNetworkProcessMemory();
    std::string data = withSlash(dataFolder) + "webkit";
    std::string cache = withSlash(dataFolder) + "webkit-cache";
    WebKitWebsiteDataManager* manager = webkit_website_data_manager_new(
        "base-data-directory", data.c_str(), "base-cache-directory", cache.c_str(), nullptr);
    // The page and the bridge never go through a network proxy.
    webkit_website_data_manager_set_network_proxy_settings(manager, WEBKIT_NETWORK_PROXY_MODE_NO_PROXY, nullptr);
    // Caches are given back once the page grows well past what it needs (about 90 MB at
    // idle, a few hundred with a large catalogue), not at WebKit's default of a third of
    // the machine's memory; the page is never killed for its size.
    WebKitMemoryPressureSettings* pressure = pressureSettings(pageMemoryLimitMB);
    context_ = WEBKIT_WEB_CONTEXT(g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "website-data-manager", manager,
                                               "memory-pressure-settings", pressure, nullptr));
    webkit_memory_pressure_settings_free(pressure);
    g_object_unref(manager);
    // One local page, never navigated away from: no back-forward page cache and no memory
    // cache of resources that are read from memory anyway.
    webkit_web_context_set_cache_model(context_, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    content_ = webkit_user_content_manager_new();
    configure();
    connectSignals();
}

WebKitPageView::~WebKitPageView() {
    if (view_) {
        g_signal_handlers_disconnect_by_data(view_, &listener_);
        g_signal_handlers_disconnect_by_data(content_, &listener_);
        g_signal_handlers_disconnect_by_data(context_, &listener_);
        webkit_web_view_try_close(view_);
        gtk_widget_destroy(GTK_WIDGET(view_));
        g_object_unref(view_);
    }
    webkit_user_content_manager_unregister_script_message_handler(content_, frameMessageHandler);
    g_object_unref(content_);
    g_object_unref(context_);
}

void WebKitPageView::configure() {
    webkit_web_context_register_uri_scheme(context_, AppScheme::scheme, &WebKitPageView::handleSchemeRequest, this,
                                           nullptr);
    WebKitSecurityManager* security = webkit_web_context_get_security_manager(context_);
    webkit_security_manager_register_uri_scheme_as_secure(security, AppScheme::scheme);
    webkit_security_manager_register_uri_scheme_as_cors_enabled(security, AppScheme::scheme);

    WebKitUserScript* script = webkit_user_script_new(frameMessageScript, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                                      WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content_, script);
    webkit_user_script_unref(script);
    webkit_user_content_manager_register_script_message_handler(content_, frameMessageHandler);

    WebKitSettings* settings = webkit_settings_new();
    webkit_settings_set_enable_javascript(settings, TRUE);
    webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    webkit_settings_set_media_playback_requires_user_gesture(settings, FALSE);
    webkit_settings_set_enable_back_forward_navigation_gestures(settings, FALSE);
    webkit_settings_set_allow_file_access_from_file_urls(settings, FALSE);
    webkit_settings_set_allow_universal_access_from_file_urls(settings, FALSE);
    // The page is a toolbar, dialogs and a grid: painted in software it shows sooner (no GL
    // context and shader set-up in the web process before the first frame) and the web
    // process needs about half the memory.
    webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    webkit_settings_set_user_agent(settings, userAgent(textOf(webkit_settings_get_user_agent(settings))).c_str());

    view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context_, "user-content-manager",
                                         content_, "settings", settings, nullptr));
    g_object_ref_sink(view_);
    g_object_unref(settings);
}

void WebKitPageView::connectSignals() {
    gpointer data = &listener_;
    g_signal_connect(view_, "notify::uri", G_CALLBACK(onUriChanged), data);
    g_signal_connect(view_, "notify::title", G_CALLBACK(onTitleChanged), data);
    g_signal_connect(view_, "decide-policy", G_CALLBACK(onDecidePolicy), data);
    g_signal_connect(view_, "load-changed", G_CALLBACK(onLoadChanged), data);
    g_signal_connect(view_, "create", G_CALLBACK(onCreate), data);
    g_signal_connect(view_, "permission-request", G_CALLBACK(onPermissionRequest), data);
    g_signal_connect(view_, "context-menu", G_CALLBACK(onContextMenu), data);
    g_signal_connect(view_, "drag-data-received", G_CALLBACK(onDragDataReceived), data);
    g_signal_connect(context_, "download-started", G_CALLBACK(onDownloadStarted), data);
    g_signal_connect(content_, "script-message-received::tarnFrame", G_CALLBACK(onFrameMessage), data);
}

GtkWidget* WebKitPageView::widget() const { return GTK_WIDGET(view_); }

void WebKitPageView::navigate(const std::string& url) { webkit_web_view_load_uri(view_, url.c_str()); }

void WebKitPageView::runScript(const std::string& script) {
    webkit_web_view_evaluate_javascript(view_, script.data(), static_cast<gssize>(script.size()), nullptr, nullptr,
                                        nullptr, nullptr, nullptr);
}

std::string WebKitPageView::userAgent(const std::string& engineDefault) {
    return engineDefault + " corvane.lattice(Linux)";
}

void WebKitPageView::handleSchemeRequest(WebKitURISchemeRequest* request, void* self) {
    auto* view = static_cast<WebKitPageView*>(self);
    AppScheme::Request in;
    in.method = textOf(webkit_uri_scheme_request_get_http_method(request));
    if (in.method.empty()) in.method = "GET";
    std::string address = textOf(webkit_uri_scheme_request_get_uri(request));
    AppScheme::Reply out;
    if (!AppScheme::isOwnAddress(address)) {
        out.status = 404;
        out.type = "text/plain; charset=utf-8";
        out.body = "not found";
    } else {
        char* path = g_uri_unescape_string(webkit_uri_scheme_request_get_path(request), nullptr);
        in.path = textOf(path);
        g_free(path);
        if (SoupMessageHeaders* headers = webkit_uri_scheme_request_get_http_headers(request)) {
            if (const char* origin = soup_message_headers_get_one(headers, "Origin")) {
                in.hasOrigin = true;
                in.origin = origin;
            }
            if (const char* type = soup_message_headers_get_one(headers, "Content-Type")) in.contentType = type;
        }
        if (in.method == "POST") {
            GInputStream* body = webkit_uri_scheme_request_get_http_body(request);
            in.body = readAll(body);
            if (body) g_object_unref(body);
        }
        out = view->scheme_.answer(in);
    }
    GBytes* bytes = g_bytes_new(out.body.data(), out.body.size());
    GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
    WebKitURISchemeResponse* response = webkit_uri_scheme_response_new(stream, static_cast<gint64>(out.body.size()));
    webkit_uri_scheme_response_set_status(response, out.status, nullptr);
    // The engine takes a bare MIME type here; the page's texts are all UTF-8.
    std::string mime = out.type.substr(0, out.type.find(';'));
    webkit_uri_scheme_response_set_content_type(response, mime.c_str());
    SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
    soup_message_headers_append(headers, "Content-Type", out.type.c_str());
    soup_message_headers_append(headers, "Cache-Control", "no-store");
    soup_message_headers_append(headers, "X-Content-Type-Options", "nosniff");
    webkit_uri_scheme_response_set_http_headers(response, headers);
    webkit_uri_scheme_request_finish_with_response(request, response);
    g_object_unref(response);
    g_object_unref(stream);
    g_bytes_unref(bytes);
}
