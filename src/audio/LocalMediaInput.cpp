#include "audio/LocalMediaInput.h"

#include "sys/FileIO.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

int openLocalMediaInput(AVFormatContext** context, const std::string& path) {
    if (path.empty() || !isRegularFile(path)) return AVERROR(EINVAL);
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const std::string address = "file:" + path;
    int result = avformat_open_input(context, address.c_str(), nullptr, &options);
    av_dict_free(&options);
    return result;
}
