#pragma once

#include "bridge/Arguments.h"
#include "bridge/CallResult.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

class NativeObjects;

// One function of a module: the name the page calls it by and what it does.
struct NativeFunction {
    const char* name;
    std::function<void(const Args& args, CallResult& result)> handler;
};

// Base of every bridge module. A module declares its functions once, as a table; a
// function's number is its place in that table, and call() runs it by number.
class NativeCall {
public:
    explicit NativeCall(NativeObjects* objects) : objects_(objects) {}
    NativeCall(const NativeCall&) = delete;
    NativeCall& operator=(const NativeCall&) = delete;
    virtual ~NativeCall() = default;

    // Runs one function and returns its tagged result text ("v" for an unknown name).
    virtual std::string invoke(const std::string& function, const Args& args);
    virtual std::string moduleName() const = 0;
    // Runs the function with this number from the table (nothing for a number outside it).
    virtual void call(int function, const Args& args, CallResult& result);
    // The function names the module answers, in name order: its function table (modules
    // that dispatch by name list theirs). For tools that walk every call.
    virtual std::vector<std::string> functionNames() const;

    // Inserts into the name index; a name already present keeps its first number.
    void addFunction(const std::string& name, int number) { functions_.emplace(name, number); }
    // Indexes the names with numbers 0, 1, 2, ... in the order given, for a module that
    // overrides call() and dispatches on the numbers itself.
    void addFunctions(std::initializer_list<const char*> names);

    NativeObjects* objects() const { return objects_; }

protected:
    // The module's function table, numbered 0, 1, 2, ... in the order given.
    void setFunctions(std::vector<NativeFunction> table);

    // Runs body with a CallResult on text; turns exceptions into "e" results.
    template <class Body>
    static std::string guarded(Body&& body);

    NativeObjects* objects_;
    std::map<std::string, int> functions_;

private:
    std::vector<NativeFunction> table_;
};

// A variant of the base that hands every call to the module by function name.
class NativeCall_extention : public NativeCall {
public:
    NativeCall_extention(NativeObjects* objects, const char* name) : NativeCall(objects), name_(name) {}

    std::string invoke(const std::string& function, const Args& args) override;
    std::string moduleName() const override { return name_; }
    void call(int, const Args&, CallResult&) override {}
    virtual void handle(const std::string& function, const Args& args, CallResult& result) = 0;

private:
    const char* name_;
};
