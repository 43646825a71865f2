// A module's function table: the one place its names and bodies are declared.
#include "bridge/HostObject.h"

#include <gtest/gtest.h>

namespace {

class TableModule : public NativeCall {
public:
    TableModule() : NativeCall(nullptr) {
        setFunctions({
            {"first", [this](const Args&, CallResult& result) { result.setString("first " + std::to_string(++calls)); }},
            {"echo", [](const Args& args, CallResult& result) { result.setString(args.empty() ? "-" : args[0]); }},
            {"first", [](const Args&, CallResult& result) { result.setString("shadowed"); }},
            {"empty", nullptr},
        });
    }
    std::string moduleName() const override { return "table"; }
    int calls = 0;
};

TEST(FunctionTableTest, NamesRouteToTheirBodiesAndNumbersFollowTheTable) {
    ModuleRegistry registry;
    auto module = std::make_unique<TableModule>();
    TableModule& table = *module;
    registry.registerModule(std::move(module));
    HostObject host(registry.table());

    // A name given twice keeps its first body.
    EXPECT_EQ(host.invoke({"$$table_first"}), "sfirst 1");
    EXPECT_EQ(host.invoke({"$$table_echo", "a", "b"}), "sa");
    EXPECT_EQ(host.invoke({"$$table_empty"}), "v");
    EXPECT_EQ(host.invoke({"$$table_missing"}), "v");
    EXPECT_EQ(table.functionNames(), (std::vector<std::string>{"echo", "empty", "first"}));

    // By number, as the table lists them; a number outside the table does nothing.
    std::string text = "v";
    CallResult result(text);
    table.call(1, {"x"}, result);
    EXPECT_EQ(text, "sx");
    table.call(2, {}, result);
    EXPECT_EQ(text, "sshadowed");
    text = "v";
    table.call(4, {}, result);
    table.call(-1, {}, result);
    EXPECT_EQ(text, "v");
    EXPECT_EQ(table.calls, 1);
}

}  // namespace
