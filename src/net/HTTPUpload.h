#pragma once

#include "net/HTTPTask.h"

// PUT of a file with its length; redirects are not followed and the answer must be 200 or 201.
// The source file is only ever read.
class HTTPUpload : public HTTPTask {
public:
    using HTTPTask::HTTPTask;

private:
    bool transfer() override;
    void finish(bool succeeded) override;
    size_t send(char* out, size_t room);
    static size_t onRead(char* out, size_t size, size_t count, void* self);

    int fd_ = -1;
    long size_ = 0;
    long amount_ = 0;
    size_t used_ = 0;
    size_t sent_ = 0;
    bool readFailed_ = false;
};
