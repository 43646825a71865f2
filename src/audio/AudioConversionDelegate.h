#pragma once

#include <memory>
#include <string>

// What the audio conversion workers (convert, split, reverse) report, from their own
// threads. The owner turns it into whatever its page needs; each worker shares the
// delegate, so it lives as long as the last worker that reports to it.
class AudioConversionDelegate {
public:
    virtual ~AudioConversionDelegate() = default;
    // The whole percent of the source converted so far, each time it grows.
    virtual void conversionProgress(const std::string& /*source*/, int /*percent*/) {}
    // The job's end: outputs is the JSON array text of the files written (ok only).
    virtual void conversionEnded(const std::string& /*source*/, bool /*ok*/, const std::string& /*outputs*/) {}
};

using AudioConversionDelegatePtr = std::shared_ptr<AudioConversionDelegate>;
