// libFuzzer entry: arbitrary bytes as the input file of an impulse-response job, run whole
// (reading, strategy, output files) with every type and stereo mode; each job must end with
// exactly one result, with a known code, and with outputs of the strategy's length on success.
#include "ir/IRConvertWorker.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace wav;

namespace {

const std::string& folder() {
    static const std::string path = [] {
        std::string pattern = std::string(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") + "/ir_fuzz.XXXXXX";
        if (!mkdtemp(&pattern[0])) abort();
        return pattern + "/";
    }();
    return path;
}

off_t sizeOf(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_size : -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char* const kTypes[] = {"OverDrive", "Distortion", "Delay", "AnalogDelay", "Reverb", "other"};
    const std::string input = folder() + "input.wav";
    int fd = open(input.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size)) abort();
    close(fd);

    const char* type = kTypes[size % 6];
    const int stereoProc = static_cast<int>(size / 6 % 3);
    std::mutex mutex;
    std::condition_variable done;
    int results = 0;
    {
        IRConvertWorker worker(stereoProc, input, "job", makeIrConverterStrategy(type), folder(),
                               [&](const std::string&, IRConvertWorker::Notice notice) {
                                   if (notice != IRConvertWorker::Notice::Result) return;
                                   std::lock_guard<std::mutex> lock(mutex);
                                   ++results;
                                   done.notify_all();
                               });
        if (!worker.startConvert()) abort();
        {
            std::unique_lock<std::mutex> lock(mutex);
            done.wait(lock, [&] { return results > 0; });
        }
        worker.join();
        if (results != 1) abort();
        const int code = worker.result();
        const bool known = code == kIrSuccess || code == kIrFailedUnknown || code == kIrFailedInputFileFormatError;
        if (!known) abort();
        const std::string left = folder() + "KRVjob.tmp", right = folder() + "KRVjob_R.tmp";
        if (code == kIrSuccess) {
            static const off_t kLengths[] = {3354, 2048, 119, 119, 119, 1024};
            const off_t expected = 4 * kLengths[size % 6];
            if (worker.pathL() != left || worker.pathR() != right) abort();
            if (sizeOf(left) != expected || sizeOf(right) != expected) abort();
        } else if (sizeOf(left) >= 0 || sizeOf(right) >= 0) {
            abort();  // a failed job leaves no output behind
        }
        unlink(left.c_str());
        unlink(right.c_str());
    }
    return 0;
}
