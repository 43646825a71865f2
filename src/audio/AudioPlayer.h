#pragma once

#include "audio/AudioFileReader.h"
#include "audio/AudioStreams.h"

#include <string>
#include <vector>

class AudioPlayerDelegate {
public:
    virtual ~AudioPlayerDelegate() = default;
    virtual void playerEndOfFile(const std::string& /*path*/) {}
    virtual void playerStopped(const std::string& /*path*/) {}
    virtual void playerError(const std::string& /*path*/) {}
};

// Decodes one file at a time into the format of its output stream and renders it
// there. After the end of the file (or an error) it stands at the start again. A
// stopped player lets go of its file (so the volume holding it can be ejected) and
// opens it again when it is played or located.
class AudioPlayer : public AudioOutputStreamDelegate {
public:
    AudioPlayer() = default;
    ~AudioPlayer() override;

    void setDelegate(AudioPlayerDelegate* delegate) { delegate_ = delegate; }
    // Detaches from the previous output and becomes the new one's source.
    void setOutput(AudioOutputStream* output);
    AudioOutputStream* output() const { return output_; }

    bool open(const std::string& path);
    bool locate(float seconds);
    // Opens the file again if the player let go of it; false when there is none or it
    // cannot be read any more.
    bool prepare();
    // True while the player holds its file open.
    bool holdsFile() const { return reader_.isOpen(); }
    // Stops the output, goes back to the start and reports "stopped".
    void stopAndRewind();
    size_t render(void* buffer, size_t bytes) override;

    const std::string& path() const { return path_; }
    float totalTime() const { return totalTime_; }
    float timeOffset() const { return timeOffset_; }
    void setTimeOffset(float seconds) { timeOffset_ = seconds; }
    const std::string& deviceUid() const { return deviceUid_; }
    void setDeviceUid(const std::string& uid) { deviceUid_ = uid; }

private:
    void finish(bool error);
    // Closes the file, keeping its path, time and place (the start).
    void letGo();

    AudioPlayerDelegate* delegate_ = nullptr;
    AudioOutputStream* output_ = nullptr;
    std::string deviceUid_;
    AudioFileReader reader_;
    std::vector<uint8_t> pending_;
    size_t pendingPos_ = 0;
    std::string path_;
    float totalTime_ = 0;
    float timeOffset_ = 0;
};
