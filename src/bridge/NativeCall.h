#pragma once

#include "bridge/Arguments.h"
#include "bridge/CallResult.h"

#include <map>
#include <string>
#include <vector>

class NativeObjects;

// Base of every bridge module. A module maps its function names to numbers in
// registration order and dispatches on the number in call().
class NativeCall {
public:
    explicit NativeCall(NativeObjects* objects) : objects_(objects) {}
    NativeCall(const NativeCall&) = delete;
    NativeCall& operator=(const NativeCall&) = delete;
    virtual ~NativeCall() = default;

    // Runs one function and returns its tagged result text ("v" for an unknown name).
    virtual std::string invoke(const std::string& function, const Args& args);
    virtual std::string moduleName() const = 0;
    virtual void call(int function, const Args& args, CallResult& result) = 0;
    // The function names the module answers, in name order: its function table (modules
    // that dispatch by name list theirs). For tools that walk every call.
    virtual std::vector<std::string> functionNames() const;

    // Inserts into the function table; a name already present keeps its first number.
    void addFunction(const std::string& name, int number) { functions_.emplace(name, number); }
    // Adds the names with numbers 0, 1, 2, ... in the order given.
    void addFunctions(std::initializer_list<const char*> names);

    NativeObjects* objects() const { return objects_; }

protected:
    // Runs body with a CallResult on text; turns exceptions into "e" results.
    template <class Body>
    static std::string guarded(Body&& body);

    NativeObjects* objects_;
    std::map<std::string, int> functions_;
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
