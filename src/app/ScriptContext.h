#pragma once

#include <glib.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

typedef struct _JSCContext JSCContext;
typedef struct _JSCValue JSCValue;

// A JavaScriptCore context for the page's DOM-free scripts, run from the GLib main loop:
// the global object is also self, window and globalThis; setTimeout, setInterval and their
// clear functions run callbacks from the main loop in deadline order (equal deadlines in the
// order they were set; a 0 ms timer on the next loop turn); console writes one line per call
// to standard error. Promise continuations run after each evaluation and callback.
// Main thread only.
class ScriptContext {
public:
    // A script's exception: message, and where it was thrown (the source URI and line).
    using ErrorHandler = std::function<void(const std::string& message, const std::string& file, unsigned line)>;
    using Function = std::function<JSCValue*(const std::vector<JSCValue*>& args)>;

    ScriptContext();
    ~ScriptContext();
    ScriptContext(const ScriptContext&) = delete;
    ScriptContext& operator=(const ScriptContext&) = delete;

    JSCContext* context() const { return context_; }
    // Called for every exception that escapes an evaluation or a callback.
    void setErrorHandler(ErrorHandler handler) { onError_ = std::move(handler); }

    // Runs code with uri as its source name; false (after the error handler ran) when it threw.
    // result, when given, takes the completion value (a new reference).
    bool evaluate(const std::string& code, const std::string& uri, JSCValue** result = nullptr);
    // Calls fn with args; false (after the error handler ran) when it threw. uri names the
    // caller for an exception that carries no position.
    bool call(JSCValue* fn, const std::vector<JSCValue*>& args, const std::string& uri, JSCValue** result = nullptr);

    // A native function; it returns a new reference (or null for undefined). It throws
    // into the script with throwError.
    JSCValue* makeFunction(const char* name, Function function);
    void setFunction(JSCValue* object, const char* name, Function function);
    void throwError(const std::string& message);

    // No callback runs any more (timers are dropped); evaluate and call refuse.
    void stop();
    bool stopped() const { return stopped_; }
    size_t pendingTimers() const { return timers_.size(); }

    // The UTF-8 text of a value (its toString()), bytes as they are, zero bytes included.
    static std::string text(JSCValue* value);
    // A string value holding the bytes (invalid UTF-8 becomes U+FFFD).
    JSCValue* string(const std::string& text) const;

private:
    struct Timer {
        JSCValue* fn = nullptr;
        std::vector<JSCValue*> args;
        gint64 deadline = 0;
        uint64_t order = 0;
        gint64 interval = -1;  // microseconds; -1 for a one-shot timer
    };
    using QueueKey = std::pair<gint64, uint64_t>;

    void installGlobals();
    JSCValue* addTimer(const std::vector<JSCValue*>& args, bool repeat);
    void clearTimer(const std::vector<JSCValue*>& args);
    void schedule(unsigned id, Timer& timer, gint64 delay);
    void dropTimer(unsigned id);
    void armSource();
    static gboolean dispatchTimers(GSource* source, GSourceFunc, gpointer self);
    void runDueTimers();
    bool takeException(const std::string& uri);
    // After an evaluation or call: false when it threw (reported); the value goes to result
    // when asked for and it did not throw, else it is released.
    bool settle(JSCValue* value, const std::string& uri, JSCValue** result);
    std::string consoleLine(const std::vector<JSCValue*>& args) const;

    JSCContext* context_ = nullptr;
    ErrorHandler onError_;
    bool stopped_ = false;
    std::map<unsigned, Timer> timers_;
    std::map<QueueKey, unsigned> queue_;
    unsigned nextId_ = 1;
    uint64_t nextOrder_ = 1;
    GSource* source_ = nullptr;
};
