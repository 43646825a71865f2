// Import conversion speed: any file to a 2-channel 44.1 kHz float WAV, through the
// program's converter and through the ffmpeg command line, on the same files in the
// same run. Prints the times and the ratio (program / command line; lower is better).
//
//   cmake --build build --target audio_bench && build/tests/audio_bench [minutes]
#include "audio/AudioConverter.h"
#include "wav/WaveFormat.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

double seconds(const std::chrono::steady_clock::time_point& since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

bool run(const std::string& command) { return std::system(command.c_str()) == 0; }

long long sizeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

// Best of a few runs, so that a passing disturbance on a shared machine does not count.
template <class Job>
double bestOf(int runs, Job job) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        if (!job()) {
            fprintf(stderr, "a conversion failed\n");
            std::exit(1);
        }
        best = std::min(best, seconds(start));
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const int minutes = argc > 1 ? std::max(1, atoi(argv[1])) : 4;
    char pattern[] = "/tmp/tarn-audio-bench-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const std::string dir = pattern;
    const std::string duration = std::to_string(minutes * 60);
    // Music-like material: two detuned tones with noise, so the encoders have work to do.
    const std::string source = "-f lavfi -i \"aevalsrc='0.3*sin(2*PI*220*t)+0.2*sin(2*PI*331*t)+0.05*(random(0)-0.5)|"
                               "0.3*sin(2*PI*223*t)+0.2*sin(2*PI*329*t)+0.05*(random(1)-0.5)':s=";
    struct Input {
        std::string name, make;
    };
    const std::vector<Input> inputs = {
        {"mp3 44.1 kHz", source + "44100:d=" + duration + "\" -c:a libmp3lame -b:a 192k '" + dir + "/in.mp3'"},
        {"aac 48 kHz", source + "48000:d=" + duration + "\" -c:a aac -b:a 192k '" + dir + "/in.m4a'"},
    };
    const std::vector<std::string> files = {dir + "/in.mp3", dir + "/in.m4a"};
    printf("import conversion to 2-channel 44.1 kHz float WAV, %d-minute files, best of 3\n", minutes);
    printf("%-14s %12s %12s %8s %14s\n", "source", "program [s]", "ffmpeg [s]", "ratio", "output [bytes]");
    const wav::WaveFormat target = wav::pcmFormat(wav::kWaveFormatIeeeFloat, 2, 44100, 32);
    bool slower = false;
    for (size_t i = 0; i < inputs.size(); ++i) {
        if (!run("ffmpeg -nostdin -hide_banner -v error -y " + inputs[i].make)) return 1;
        const std::string ours = dir + "/ours.wav", theirs = dir + "/theirs.wav";
        const double program = bestOf(3, [&] { return convertAudioFile(files[i], ours, target); });
        const double cli = bestOf(3, [&] {
            return run("ffmpeg -nostdin -hide_banner -v error -y -i '" + files[i] +
                       "' -ac 2 -ar 44100 -c:a pcm_f32le '" + theirs + "'");
        });
        printf("%-14s %12.3f %12.3f %8.2f %14lld\n", inputs[i].name.c_str(), program, cli, program / cli,
               sizeOf(ours));
        slower = slower || program > cli;
    }
    run("rm -rf '" + dir + "'");
    printf("%s\n", slower ? "SLOWER than the command line" : "not slower than the command line");
    return 0;
}
