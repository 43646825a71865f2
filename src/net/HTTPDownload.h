#pragma once

#include "net/HTTPTask.h"

// GET into a file. The body goes into a hidden file beside the destination, which is
// renamed over the destination only once everything arrived: a failed or cancelled
// download never leaves a partial file where the whole one is expected.
class HTTPDownload : public HTTPTask {
public:
    using HTTPTask::HTTPTask;

private:
    bool transfer() override;
    void finish(bool succeeded) override;
    bool reserveTemporaryDestination();
    bool openPartFile();
    bool receive(const char* data, size_t size);
    bool writeBlock();
    // Status 200 for web addresses; a local file read without error is whole.
    bool answeredWhole() const;
    static size_t onData(char* data, size_t size, size_t count, void* self);

    int fd_ = -1;
    std::string partPath_;
    bool reserved_ = false;  // the destination is a "___" file this download made
    bool started_ = false;
    bool localFile_ = false;
    long total_ = 0;
    long amount_ = 0;
    size_t used_ = 0;
};
