#include "bridge/NativeCall.h"

#include "base/NativeException.h"

template <class Body>
std::string NativeCall::guarded(Body&& body) {
    std::string text = "v";
    CallResult result(text);
    try {
        body(result);
    } catch (const NativeException& e) {
        text = "e" + e.message();
    } catch (...) {
        text = "esystem exception";
    }
    return text;
}

void NativeCall::addFunctions(std::initializer_list<const char*> names) {
    int number = 0;
    for (const char* name : names) addFunction(name, number++);
}

void NativeCall::setFunctions(std::vector<NativeFunction> table) {
    table_ = std::move(table);
    for (size_t number = 0; number < table_.size(); ++number) addFunction(table_[number].name, static_cast<int>(number));
}

void NativeCall::call(int function, const Args& args, CallResult& result) {
    if (function < 0 || static_cast<size_t>(function) >= table_.size()) return;
    const auto& handler = table_[static_cast<size_t>(function)].handler;
    if (handler) handler(args, result);
}

std::vector<std::string> NativeCall::functionNames() const {
    std::vector<std::string> names;
    for (const auto& entry : functions_) names.push_back(entry.first);
    return names;
}

std::string NativeCall::invoke(const std::string& function, const Args& args) {
    auto found = functions_.find(function);
    if (found == functions_.end()) return "v";
    int number = found->second;
    return guarded([&](CallResult& result) { call(number, args, result); });
}

std::string NativeCall_extention::invoke(const std::string& function, const Args& args) {
    std::string name = function;
    return guarded([&](CallResult& result) { handle(name, args, result); });
}
