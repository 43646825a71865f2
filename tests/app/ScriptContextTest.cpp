// The command line's script context in-process: timers that clear themselves and each other,
// a stop from inside a callback, and where an exception is reported from.
#include "app/ScriptContext.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <jsc/jsc.h>

namespace {

struct Error {
    std::string message, file;
    unsigned line = 0;
};

class ScriptContextTest : public ::testing::Test {
protected:
    ScriptContextTest() {
        script.setErrorHandler([this](const std::string& message, const std::string& file, unsigned line) {
            errors.push_back({message, file, line});
        });
        // done(text): what the script reports, and the end of the run.
        global("done", [this](const std::vector<JSCValue*>& args) -> JSCValue* {
            result = args.empty() ? "" : ScriptContext::text(args[0]);
            finished = true;
            return nullptr;
        });
    }

    void global(const char* name, ScriptContext::Function function) {
        JSCValue* object = jsc_context_get_global_object(script.context());
        script.setFunction(object, name, std::move(function));
        g_object_unref(object);
    }

    // Runs the main loop until done() or an error, at most two seconds.
    void runLoop() {
        gint64 until = g_get_monotonic_time() + 2 * G_USEC_PER_SEC;
        while (!finished && errors.empty() && g_get_monotonic_time() < until) g_main_context_iteration(nullptr, FALSE);
    }

    ScriptContext script;
    std::vector<Error> errors;
    std::string result;
    bool finished = false;
};

TEST_F(ScriptContextTest, TimersClearThemselvesAndEachOtherFromTheirCallbacks) {
    ASSERT_TRUE(script.evaluate(R"(
        var seen = [];
        var later = setTimeout(function () { seen.push('later'); }, 30);
        setTimeout(function () { seen.push('first'); clearTimeout(later); }, 5);
        var n = 0;
        var every = setInterval(function () {
            seen.push('tick' + (++n));
            if (n === 2) { clearInterval(every); clearInterval(every); }
        }, 1);
        clearTimeout(12345); clearTimeout('x'); clearTimeout();
        setTimeout(function () { done(seen.sort().join(' ')); }, 60);
    )", "timers.js"));
    runLoop();
    ASSERT_TRUE(errors.empty()) << errors[0].message;
    EXPECT_EQ(result, "first tick1 tick2");
    EXPECT_EQ(script.pendingTimers(), 0u);
}

TEST_F(ScriptContextTest, AStopInsideACallbackRunsNothingMore) {
    global("stop", [this](const std::vector<JSCValue*>&) -> JSCValue* {
        script.stop();
        return nullptr;
    });
    ASSERT_TRUE(script.evaluate(R"(
        setTimeout(function () { setTimeout(function () { done('after stop'); }, 0); stop(); }, 0);
        setTimeout(function () { done('same turn'); }, 0);
        setInterval(function () { done('interval'); }, 1);
    )", "stop.js"));
    gint64 until = g_get_monotonic_time() + 100000;
    while (g_get_monotonic_time() < until) g_main_context_iteration(nullptr, FALSE);
    EXPECT_TRUE(script.stopped());
    EXPECT_FALSE(finished) << result;
    EXPECT_EQ(script.pendingTimers(), 0u);
    EXPECT_FALSE(script.evaluate("done('evaluated')", "late.js"));
    EXPECT_FALSE(finished);
}

TEST_F(ScriptContextTest, ExceptionsNameTheirSourceAndLine) {
    EXPECT_FALSE(script.evaluate("var a = 1;\nnoSuchFunction();", "js/tarn/a.js"));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].message, "ReferenceError: Can't find variable: noSuchFunction");
    EXPECT_EQ(errors[0].file, "js/tarn/a.js");
    EXPECT_EQ(errors[0].line, 2u);
    EXPECT_FALSE(script.evaluate("throw 'just text';", "b.js"));
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[1].message, "just text");
    EXPECT_EQ(errors[1].file, "b.js");
    EXPECT_FALSE(script.evaluate("setTimeout('not a function', 0)", "c.js"));
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[2].message, "Error: setTimeout needs a function");
    // The context goes on after a failed evaluation.
    EXPECT_TRUE(script.evaluate("done('still here')", "d.js"));
    EXPECT_EQ(result, "still here");
}

}  // namespace
