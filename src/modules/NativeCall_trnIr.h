#pragma once

#include "bridge/NativeCall.h"
#include "ir/IRConvertWorker.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

// Impulse-response conversion for the device: "convert" starts a job and answers its
// process identifier; "cancel" stops one. Jobs report "onProgress" and exactly one
// "onResult"; their notices reach this module on the UI thread through the main loop.
class NativeCall_trnIr : public NativeCall_extention {
public:
    NativeCall_trnIr(NativeObjects* objects, const char* name);
    // Cancels and joins every job still running; their results are not sent any more.
    ~NativeCall_trnIr() override;

    void handle(const std::string& function, const Args& args, CallResult& result) override;
    std::vector<std::string> functionNames() const override { return {"convert", "cancel"}; }

    // The notices (UI thread).
    void progressNotice(const std::string& procId);
    void resultNotice(const std::string& procId);

    size_t jobCount() const { return jobs_.size(); }

private:
    std::string convert(const std::string& argument);
    void cancel(const std::string& procId);

    std::map<std::string, std::unique_ptr<wav::IRConvertWorker>> jobs_;
    std::shared_ptr<NativeCall_trnIr*> alive_;
};
