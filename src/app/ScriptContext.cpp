#include "app/ScriptContext.h"

#include "base/Text.h"
#include "sys/Terminal.h"

#include <cmath>
#include <jsc/jsc.h>

namespace {

// The longest timer delay: what a 32-bit signed millisecond count holds.
const double maxDelayMs = 2147483647.0;

struct TimerSource {
    GSource base;
    ScriptContext* owner;
};

JSCValue* callFunction(GPtrArray* args, gpointer data) {
    std::vector<JSCValue*> values;
    values.reserve(args ? args->len : 0);
    for (guint i = 0; args && i < args->len; ++i) values.push_back(static_cast<JSCValue*>(args->pdata[i]));
    return (*static_cast<ScriptContext::Function*>(data))(values);
}

void deleteFunction(gpointer data) { delete static_cast<ScriptContext::Function*>(data); }

void unrefAll(std::vector<JSCValue*>& values) {
    for (JSCValue* value : values) g_object_unref(value);
    values.clear();
}

}  // namespace

ScriptContext::ScriptContext() : context_(jsc_context_new()) {
    static GSourceFuncs funcs = {nullptr, nullptr, &ScriptContext::dispatchTimers, nullptr, nullptr, nullptr};
    source_ = g_source_new(&funcs, sizeof(TimerSource));
    reinterpret_cast<TimerSource*>(source_)->owner = this;
    g_source_set_priority(source_, G_PRIORITY_DEFAULT);
    g_source_set_ready_time(source_, -1);
    g_source_attach(source_, g_main_context_default());
    installGlobals();
}

ScriptContext::~ScriptContext() {
    stop();
    g_source_destroy(source_);
    g_source_unref(source_);
    g_object_unref(context_);
}

void ScriptContext::stop() {
    stopped_ = true;
    while (!timers_.empty()) dropTimer(timers_.begin()->first);
    g_source_set_ready_time(source_, -1);
}

std::string ScriptContext::text(JSCValue* value) {
    GBytes* bytes = jsc_value_to_string_as_bytes(value);
    if (!bytes) return std::string();
    gsize size = 0;
    const char* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    std::string out(data ? data : "", data ? size : 0);
    g_bytes_unref(bytes);
    return out;
}

JSCValue* ScriptContext::string(const std::string& text) const {
    std::string valid = utf8Sanitize(text);
    GBytes* bytes = g_bytes_new(valid.data(), valid.size());
    JSCValue* value = jsc_value_new_string_from_bytes(context_, bytes);
    g_bytes_unref(bytes);
    return value;
}

JSCValue* ScriptContext::makeFunction(const char* name, Function function) {
    return jsc_value_new_function_variadic(context_, name, G_CALLBACK(callFunction), new Function(std::move(function)),
                                           deleteFunction, JSC_TYPE_VALUE);
}

void ScriptContext::setFunction(JSCValue* object, const char* name, Function function) {
    JSCValue* fn = makeFunction(name, std::move(function));
    jsc_value_object_set_property(object, name, fn);
    g_object_unref(fn);
}

void ScriptContext::throwError(const std::string& message) { jsc_context_throw(context_, message.c_str()); }

bool ScriptContext::takeException(const std::string& uri) {
    JSCException* exception = jsc_context_get_exception(context_);
    if (!exception) return false;
    g_object_ref(exception);
    jsc_context_clear_exception(context_);
    std::string message;
    const char* name = jsc_exception_get_name(exception);
    const char* what = jsc_exception_get_message(exception);
    if (what) {
        message = name && *name ? std::string(name) + ": " + what : what;
    } else {
        char* whole = jsc_exception_to_string(exception);
        message = whole ? whole : "an exception without a message";
        g_free(whole);
    }
    const char* source = jsc_exception_get_source_uri(exception);
    std::string file = source && *source ? source : uri;
    unsigned line = jsc_exception_get_line_number(exception);
    g_object_unref(exception);
    if (onError_) onError_(message, file, line);
    return true;
}

bool ScriptContext::evaluate(const std::string& code, const std::string& uri, JSCValue** result) {
    if (result) *result = nullptr;
    if (stopped_) return false;
    JSCValue* value = jsc_context_evaluate_with_source_uri(context_, code.data(), static_cast<gssize>(code.size()),
                                                           uri.c_str(), 1);
    return settle(value, uri, result);
}

bool ScriptContext::call(JSCValue* fn, const std::vector<JSCValue*>& args, const std::string& uri, JSCValue** result) {
    if (result) *result = nullptr;
    if (stopped_ || !jsc_value_is_function(fn)) return false;
    JSCValue* value = jsc_value_function_callv(fn, static_cast<guint>(args.size()),
                                               const_cast<JSCValue**>(args.data()));
    return settle(value, uri, result);
}

bool ScriptContext::settle(JSCValue* value, const std::string& uri, JSCValue** result) {
    const bool failed = takeException(uri);
    if (result && !failed) {
        *result = value;
        return true;
    }
    if (value) g_object_unref(value);
    return !failed;
}

// --- globals ------------------------------------------------------------------------------

void ScriptContext::installGlobals() {
    JSCValue* global = jsc_context_get_global_object(context_);
    jsc_value_object_set_property(global, "self", global);
    jsc_value_object_set_property(global, "window", global);
    jsc_value_object_set_property(global, "globalThis", global);

    setFunction(global, "setTimeout", [this](const std::vector<JSCValue*>& args) { return addTimer(args, false); });
    setFunction(global, "setInterval", [this](const std::vector<JSCValue*>& args) { return addTimer(args, true); });
    auto clear = [this](const std::vector<JSCValue*>& args) -> JSCValue* {
        clearTimer(args);
        return nullptr;
    };
    setFunction(global, "clearTimeout", clear);
    setFunction(global, "clearInterval", clear);

    JSCValue* console = jsc_value_new_object(context_, nullptr, nullptr);
    for (const char* name : {"log", "info", "warn", "error", "debug"}) {
        setFunction(console, name, [this](const std::vector<JSCValue*>& args) -> JSCValue* {
            writeAll(2, consoleLine(args) + "\n");
            return nullptr;
        });
    }
    jsc_value_object_set_property(global, "console", console);
    g_object_unref(console);
    g_object_unref(global);
}

std::string ScriptContext::consoleLine(const std::vector<JSCValue*>& args) const {
    std::string line;
    for (size_t i = 0; i < args.size(); ++i) {
        JSCValue* value = args[i];
        if (i) line += ' ';
        // Plain objects and arrays as JSON; errors, functions and the rest as their text.
        if (jsc_value_is_object(value) && !jsc_value_is_function(value) &&
            !jsc_value_object_is_instance_of(value, "Error")) {
            char* json = jsc_value_to_json(value, 0);
            jsc_context_clear_exception(context_);  // a cycle: the text below instead
            if (json) {
                line += json;
                g_free(json);
                continue;
            }
        }
        line += text(value);
        jsc_context_clear_exception(context_);
    }
    return line;
}

// --- timers -------------------------------------------------------------------------------

JSCValue* ScriptContext::addTimer(const std::vector<JSCValue*>& args, bool repeat) {
    if (args.empty() || !jsc_value_is_function(args[0])) {
        throwError(repeat ? "setInterval needs a function" : "setTimeout needs a function");
        return nullptr;
    }
    double ms = args.size() > 1 ? jsc_value_to_double(args[1]) : 0;
    if (std::isnan(ms) || ms < 0) ms = 0;
    if (ms > maxDelayMs) ms = maxDelayMs;
    gint64 delay = static_cast<gint64>(ms * 1000);
    unsigned id = nextId_++;
    Timer& timer = timers_[id];
    timer.fn = static_cast<JSCValue*>(g_object_ref(args[0]));
    for (size_t i = 2; i < args.size(); ++i) timer.args.push_back(static_cast<JSCValue*>(g_object_ref(args[i])));
    // An interval of 0 would run on every loop turn: 1 ms at least.
    if (repeat) timer.interval = delay < 1000 ? 1000 : delay;
    schedule(id, timer, delay);
    armSource();
    return jsc_value_new_number(context_, id);
}

void ScriptContext::clearTimer(const std::vector<JSCValue*>& args) {
    if (args.empty() || !jsc_value_is_number(args[0])) return;
    double id = jsc_value_to_double(args[0]);
    if (!(id >= 1 && id < 4294967296.0)) return;
    dropTimer(static_cast<unsigned>(id));
    armSource();
}

void ScriptContext::schedule(unsigned id, Timer& timer, gint64 delay) {
    timer.deadline = g_get_monotonic_time() + delay;
    timer.order = nextOrder_++;
    queue_[QueueKey(timer.deadline, timer.order)] = id;
}

void ScriptContext::dropTimer(unsigned id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    queue_.erase(QueueKey(it->second.deadline, it->second.order));
    g_object_unref(it->second.fn);
    unrefAll(it->second.args);
    timers_.erase(it);
}

void ScriptContext::armSource() {
    if (stopped_ || queue_.empty())
        g_source_set_ready_time(source_, -1);
    else
        g_source_set_ready_time(source_, queue_.begin()->first.first);
}

gboolean ScriptContext::dispatchTimers(GSource* source, GSourceFunc, gpointer) {
    reinterpret_cast<TimerSource*>(source)->owner->runDueTimers();
    return G_SOURCE_CONTINUE;
}

void ScriptContext::runDueTimers() {
    // The timers due now, in deadline order; those set by these callbacks wait for the next turn.
    gint64 now = g_get_monotonic_time();
    uint64_t limit = nextOrder_;
    while (!stopped_ && !queue_.empty()) {
        auto front = queue_.begin();
        if (front->first.first > now || front->first.second >= limit) break;
        unsigned id = front->second;
        queue_.erase(front);
        Timer& timer = timers_[id];
        JSCValue* fn = static_cast<JSCValue*>(g_object_ref(timer.fn));
        std::vector<JSCValue*> args;
        for (JSCValue* arg : timer.args) args.push_back(static_cast<JSCValue*>(g_object_ref(arg)));
        if (timer.interval >= 0) {
            schedule(id, timer, timer.interval);  // clearInterval in the callback drops it again
        } else {
            g_object_unref(timer.fn);
            unrefAll(timer.args);
            timers_.erase(id);
        }
        call(fn, args, "timer");
        g_object_unref(fn);
        unrefAll(args);
    }
    armSource();
}
