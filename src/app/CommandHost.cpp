#include "app/CommandHost.h"

#include <algorithm>

#include "app/Bundle.h"
#include "app/InterruptSignals.h"
#include "app/PageScripts.h"
#include "app/ScriptContext.h"
#include "app/ScriptPageView.h"
#include "app/SingleInstance.h"
#include "base/Json.h"
#include "sys/Paths.h"
#include "sys/Terminal.h"
#include "webview/NativeRequest.h"
#include "assembly/AppBridge.h"

#include <cstdio>
#include <cstdlib>
#include <glib.h>
#include <jsc/jsc.h>
#include <memory>
#include <unistd.h>

namespace {

class CommandRun;

// $$app_exit asks the window to close: here, the command ends with 0.
class CommandWindow : public HostWindow {
public:
    explicit CommandWindow(CommandRun& run) : run_(run) {}
    void close() override;

private:
    CommandRun& run_;
};

class CommandRun {
public:
    CommandRun(const std::string& appName, const std::vector<std::string>& args)
        : appName_(appName), args_(args), loop_(g_main_loop_new(nullptr, FALSE)), window_(*this),
          signals_([this](int signal) { onInterrupt(signal); }) {}

    ~CommandRun() {
        if (host_) g_object_unref(host_);
        g_main_loop_unref(loop_);
    }

    int run(const PageScriptList& scripts) {
        context_.setErrorHandler([this](const std::string& message, const std::string& file, unsigned line) {
            std::fprintf(stderr, "%s: internal error: %s (%s:%u)\n", appName_.c_str(), message.c_str(), file.c_str(),
                         line);
            std::fflush(stderr);
            requestExit(1);
        });
        bridge_ = std::make_unique<AppBridge>();
        bridge_->setAppName(appName_);
        bridge_->setWindow(&window_);
        view_ = std::make_unique<ScriptPageView>(context_);
        bridge_->setView(view_.get());
        bridge_->hostObject();
        defineHost();

        for (const auto& script : scripts) {
            if (exitRequested_) break;
            context_.evaluate(script.second, script.first);
        }
        if (!exitRequested_) runEntry();
        if (!exitRequested_) g_main_loop_run(loop_);

        // The end: no script runs any more; the native objects go (their threads joined, so
        // what they were still sending leaves) while a second signal may still end it at once.
        signals_.cancelGrace();
        context_.stop();
        bridge_->setView(nullptr);
        bridge_->setWindow(nullptr);
        bridge_.reset();
        view_.reset();
        int signal = signals_.received();
        if (signal && code_ == 128 + signal) InterruptSignals::endBySignal(signal);
        return code_;
    }

    void requestExit(int code) {
        if (exitRequested_) return;
        exitRequested_ = true;
        code_ = code;
        context_.stop();
        signals_.cancelGrace();
        g_main_loop_quit(loop_);
    }

private:
    void runEntry() {
        JSCValue* result = nullptr;
        if (!context_.evaluate("Tarn.cli.run()", "tarn-cli-run", &result) || !result) return;
        // An asynchronous run: its rejection is an internal error as well.
        if (jsc_value_is_object(result) && jsc_value_object_has_property(result, "then")) {
            JSCValue* then = jsc_value_object_get_property(result, "then");
            if (jsc_value_is_function(then)) {
                JSCValue* onRejected = context_.makeFunction("onRejected", [this](const std::vector<JSCValue*>& args) {
                    reportRejection(args.empty() ? nullptr : args[0]);
                    return static_cast<JSCValue*>(nullptr);
                });
                JSCValue* none = jsc_value_new_undefined(context_.context());
                JSCValue* params[] = {none, onRejected};
                JSCValue* chained = jsc_value_object_invoke_methodv(result, "then", 2, params);
                if (chained) g_object_unref(chained);
                jsc_context_clear_exception(context_.context());
                g_object_unref(none);
                g_object_unref(onRejected);
            }
            g_object_unref(then);
        }
        g_object_unref(result);
    }

    void reportRejection(JSCValue* reason) {
        std::string message = reason ? ScriptContext::text(reason) : "rejected";
        std::string file = "tarn-cli-run";
        unsigned line = 0;
        if (reason && jsc_value_is_object(reason)) {
            JSCValue* source = jsc_value_object_get_property(reason, "sourceURL");
            if (jsc_value_is_string(source)) file = ScriptContext::text(source);
            g_object_unref(source);
            JSCValue* number = jsc_value_object_get_property(reason, "line");
            if (jsc_value_is_number(number)) line = static_cast<unsigned>(jsc_value_to_int32(number));
            g_object_unref(number);
        }
        jsc_context_clear_exception(context_.context());
        std::fprintf(stderr, "%s: internal error: %s (%s:%u)\n", appName_.c_str(), message.c_str(), file.c_str(), line);
        std::fflush(stderr);
        requestExit(1);
    }

    void onInterrupt(int signal) {
        if (exitRequested_) return;  // ending already
        JSCValue* handler = jsc_value_object_get_property(host_, "onInterrupt");
        if (!jsc_value_is_function(handler)) InterruptSignals::endBySignal(signal);
        context_.call(handler, {}, "onInterrupt");
        g_object_unref(handler);
    }

    int fdArgument(const std::vector<JSCValue*>& args) {
        return args.empty() || !jsc_value_is_number(args[0]) ? -1 : jsc_value_to_int32(args[0]);
    }

    void defineHost() {
        JSCContext* ctx = context_.context();
        host_ = jsc_value_new_object(ctx, nullptr, nullptr);

        std::vector<const char*> argv;
        for (const auto& arg : args_) argv.push_back(arg.c_str());
        argv.push_back(nullptr);
        JSCValue* array = jsc_value_new_array_from_strv(ctx, argv.data());
        jsc_value_object_set_property(host_, "args", array);
        g_object_unref(array);

        gchar* cwd = g_get_current_dir();
        JSCValue* folder = context_.string(cwd);
        g_free(cwd);
        jsc_value_object_set_property(host_, "cwd", folder);
        g_object_unref(folder);

        JSCValue* none = jsc_value_new_null(ctx);
        jsc_value_object_set_property(host_, "onInterrupt", none);
        g_object_unref(none);

        context_.setFunction(host_, "call", [this](const std::vector<JSCValue*>& args) -> JSCValue* {
            std::vector<std::string> call;
            if (args.empty() || !jsc_value_is_string(args[0]) || !parseNativeCall(ScriptContext::text(args[0]), call)) {
                context_.throwError("$host.call needs a JSON array of strings");
                return nullptr;
            }
            try {
                return context_.string(bridge_->invokeNative(call));
            } catch (const std::exception& e) {
                context_.throwError(std::string("bridge unavailable (") + e.what() + ")");
                return nullptr;
            }
        });
        context_.setFunction(host_, "write", [this](const std::vector<JSCValue*>& args) -> JSCValue* {
            int fd = fdArgument(args);
            if (fd != 1 && fd != 2) {
                context_.throwError("$host.write writes to 1 or 2 only");
                return nullptr;
            }
            std::string text = args.size() > 1 ? ScriptContext::text(args[1]) : std::string();
            return jsc_value_new_boolean(context_.context(), writeAll(fd, text));
        });
        context_.setFunction(host_, "isatty", [this](const std::vector<JSCValue*>& args) {
            int fd = fdArgument(args);
            return jsc_value_new_boolean(context_.context(), fd >= 0 && isatty(fd));
        });
        context_.setFunction(host_, "columns", [this](const std::vector<JSCValue*>&) {
            return jsc_value_new_number(context_.context(), terminalColumns(2));
        });
        context_.setFunction(host_, "readLine", [this](const std::vector<JSCValue*>&) {
            std::string line;
            if (readLine(0, line, signals_.wakeFd())) return context_.string(line);
            // Interrupted: the script hears of it before it sees the end of the input.
            signals_.deliver();
            return jsc_value_new_null(context_.context());
        });
        context_.setFunction(host_, "env", [this](const std::vector<JSCValue*>& args) {
            std::string name = args.empty() ? std::string() : ScriptContext::text(args[0]);
            const char* value = name.empty() ? nullptr : getenv(name.c_str());
            return context_.string(value ? value : "");
        });
        context_.setFunction(host_, "exit", [this](const std::vector<JSCValue*>& args) -> JSCValue* {
            int code = 0;
            if (!args.empty() && !jsc_value_is_undefined(args[0])) {
                double value = jsc_value_to_double(args[0]);
                // A status the shell cannot see (negative, over 255, not a number) is a failure.
                code = value >= 0 && value <= 255 && value == static_cast<int>(value) ? static_cast<int>(value) : 1;
            }
            requestExit(code);
            return nullptr;
        });
        jsc_context_set_value(ctx, "$host", host_);
    }

    std::string appName_;
    std::vector<std::string> args_;
    GMainLoop* loop_;
    CommandWindow window_;
    InterruptSignals signals_;
    ScriptContext context_;
    std::unique_ptr<ScriptPageView> view_;
    std::unique_ptr<AppBridge> bridge_;
    JSCValue* host_ = nullptr;
    bool exitRequested_ = false;
    int code_ = 0;
};

void CommandWindow::close() { run_.requestExit(0); }

}  // namespace

namespace {
const char* const kCommands[] = {"devices", "ls", "import", "export", "rm", "deleted", "undelete", "backup", "restore"};

// Edits (insert, delete, replace, swap of neighbours) that turn a into b.
size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}
}  // namespace

bool isCommandName(const std::string& name) {
    for (const char* command : kCommands)
        if (name == command) return true;
    return false;
}

std::string nearestCommandName(const std::string& name) {
    std::string best;
    size_t bestDistance = 3;
    for (const char* command : kCommands) {
        size_t distance = editDistance(name, command);
        // Two edits turn any two-letter word into "ls" or "rm": short names need a closer match.
        size_t allowed = std::string(command).size() <= 2 ? 1 : 2;
        if (distance <= allowed && distance < bestDistance) {
            best = command;
            bestDistance = distance;
        }
    }
    return best;
}

int runCommand(const std::string& appName, const std::vector<std::string>& args) {
    ignorePipeSignal();
    SingleInstance instance(appName);
    if (!instance.acquireForCommand()) {
        std::fprintf(stderr, "%s: Tarn is already running (a window or another tarn command); close it first.\n",
                     appName.c_str());
        return 1;
    }
    std::string error;
    std::string root = pageScriptRoot(appName, error);
    PageScriptList scripts;
    if (root.empty() || !readPageScripts(root, scripts, error)) {
        std::fprintf(stderr, "%s: %s\n", appName.c_str(), error.c_str());
        return 1;
    }
    CommandRun run(appName, args);
    return run.run(scripts);
}
