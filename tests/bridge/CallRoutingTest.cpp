#include "bridge/HostObject.h"
#include "base/NativeException.h"
#include "modules/NativeCall_trnUtil.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace {

// A module whose functions exercise every result tag and failure path.
class ProbeModule : public NativeCall {
public:
    ProbeModule() : NativeCall(nullptr) {
        addFunctions({"text", "number", "half", "yes", "no", "fail", "boom", "args", "nothing"});
        addFunction("text", 99);  // a name already present keeps its first number
    }
    std::string moduleName() const override { return "probe"; }
    void call(int function, const Args& args, CallResult& result) override {
        switch (function) {
        case 0: result.setString(args.empty() ? "" : args[0]); break;
        case 1: result.setInt(-5); break;
        case 2: result.setFloat(0.5f); break;
        case 3: result.setBool(true); break;
        case 4: result.setBool(false); break;
        case 5:
            result.setString("partial");
            throw NativeException("Permission denied");
        case 6: result.setString("partial"); throw std::out_of_range("x");
        case 7: result.setString(std::to_string(args.size()) + ":" + (args.size() > 1 ? args[1] : "")); break;
        case 8: break;
        }
    }
};

class CallRoutingTest : public ::testing::Test {
protected:
    CallRoutingTest() {
        registry.registerModule(std::make_unique<ProbeModule>());
        registry.registerModule(std::make_unique<NativeCall_trnUtil>(nullptr, "trnUtil"));
    }
    std::string call(std::vector<std::string> pageArgs) { return HostObject(registry.table()).invoke(pageArgs); }
    ModuleRegistry registry;
};

TEST_F(CallRoutingTest, EveryTagIsEncodedAsThePageDecodesIt) {
    EXPECT_EQ(call({"$$probe_text", "hello"}), "shello");
    EXPECT_EQ(call({"$$probe_text"}), "s");
    EXPECT_EQ(call({"$$probe_number"}), "d-5");
    EXPECT_EQ(call({"$$probe_half"}), "f0.500000");
    EXPECT_EQ(call({"$$probe_yes"}), "b1");
    EXPECT_EQ(call({"$$probe_no"}), "b");
    EXPECT_EQ(call({"$$probe_nothing"}), "v");
}

TEST_F(CallRoutingTest, ErrorsReplaceWhateverTheCallHadStored) {
    EXPECT_EQ(call({"$$probe_fail"}), "ePermission denied");
    EXPECT_EQ(call({"$$probe_boom"}), "esystem exception");
}

TEST_F(CallRoutingTest, NamesSplitAtTheFirstUnderscoreAndCompareExactly) {
    EXPECT_EQ(call({"$$probe"}), "v");
    EXPECT_EQ(call({"$$Probe_text", "x"}), "v");
    EXPECT_EQ(call({"$$probe_Text", "x"}), "v");
    EXPECT_EQ(call({"$$probe_text_x", "x"}), "v");
    EXPECT_EQ(call({""}), "v");
    EXPECT_EQ(call({}), "v");
    std::string module, function;
    HostObject::splitCallName("$$fs_readData_x", module, function);
    EXPECT_EQ(module, "$$fs");
    EXPECT_EQ(function, "readData_x");
}

TEST_F(CallRoutingTest, AThirdArgumentIsIgnored) {
    EXPECT_EQ(call({"$$probe_args", "a", "b", "c"}), "s2:b");
}

TEST_F(CallRoutingTest, TheFirstRegisteredModuleKeepsItsKey) {
    EXPECT_FALSE(registry.registerModule(std::make_unique<NativeCall_trnUtil>(nullptr, "probe")));
    EXPECT_EQ(call({"$$probe_number"}), "d-5");
}

TEST_F(CallRoutingTest, ExtensionModulesAnswerByName) {
    EXPECT_EQ(call({"$$trnUtil_trnLttcVer"}), "s2.1.0");
    EXPECT_EQ(call({"$$trnUtil_other"}), "v");
    EXPECT_EQ(call({"$$trnDevice_orientation"}), "v");
}

TEST(ToBoolTest, ReadsTheLettersAndDigitsOfTruth) {
    for (const char* yes : {"true", "TRUE", "yes", "1", "10", "t"}) EXPECT_TRUE(toBool(yes)) << yes;
    for (const char* no : {"false", "0", "", "undefined", "null", "no", "off", "on"}) EXPECT_FALSE(toBool(no)) << no;
}

TEST(ArgumentTest, NumbersFollowTheStandardConversions) {
    EXPECT_EQ(toInt("  -12xyz"), -12);
    EXPECT_THROW(toInt("abc"), std::invalid_argument);
    EXPECT_THROW(toInt("99999999999"), std::out_of_range);
    EXPECT_DOUBLE_EQ(toDouble("2.5s"), 2.5);
}

}  // namespace
