// Stimulus files and sample-exact comparison for the plug-in tests.
//
//   plugin_wav_tool stimulus OUT.wav FRAMES RATE [SCALE]   a saw with noise and stretches of silence,
//       32-bit float, 4 V peak times SCALE
//   plugin_wav_tool ramp OUT.wav FRAMES RATE FROM TO   a linear ramp of host values (1.0 = 10 V)
//   plugin_wav_tool pad IN.wav OUT.wav FRAMES   FRAMES of silence, then IN
//   plugin_wav_tool join LEFT.wav RIGHT.wav OUT.wav   a stereo file of two mono ones
//   plugin_wav_tool compare EXPECTED.wav ACTUAL.wav [--skip N] [--delay N] [--channel N]
//       compares sample for sample: ACTUAL[i + delay] against EXPECTED[i] from i = skip on,
//       over the frames both have; exit 0 only when every sample is identical. EXPECTED is
//       read as mono, ACTUAL's channel N (0 unless told) is compared.
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr double pi = 3.14159265358979323846;
/// A fixed seed: every run writes the same stimulus.
constexpr uint32_t noiseSeed = 2026;
/// Saw at 4 V peak with noise at 1 V: loud enough to drive the saturating stages.
constexpr double sawPeak = 0.4;
constexpr double noisePeak = 0.1;
constexpr double sawHz = 110.0;

/// Writes `channels` interleaved channels.
bool writeFloats(const std::string& path, const std::vector<float>& samples, int rate, int channels = 1) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), sf_strerror(nullptr));
        return false;
    }
    const sf_count_t written = sf_write_float(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
    return written == static_cast<sf_count_t>(samples.size());
}

bool writeMono(const std::string& path, const std::vector<float>& samples, int rate) {
    return writeFloats(path, samples, rate);
}

/// Reads channel `channel` of the file; a file without that channel is an error.
bool readMono(const std::string& path, std::vector<float>& samples, int channel = 0) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "cannot read %s: %s\n", path.c_str(), sf_strerror(nullptr));
        return false;
    }
    if (channel >= info.channels) {
        std::fprintf(stderr, "%s has %d channels, no channel %d\n", path.c_str(), info.channels, channel);
        sf_close(file);
        return false;
    }
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    samples.resize(static_cast<std::size_t>(info.frames));
    for (sf_count_t i = 0; i < info.frames; ++i) samples[static_cast<std::size_t>(i)] = interleaved[i * info.channels + channel];
    return true;
}

int stimulus(const std::string& path, long frames, int rate, double scale) {
    std::vector<float> samples(static_cast<std::size_t>(frames));
    uint32_t state = noiseSeed;
    for (long i = 0; i < frames; ++i) {
        state = state * 1664525u + 1013904223u;
        const double noise = (static_cast<double>(state >> 8) / (1u << 24)) * 2.0 - 1.0;
        const double phase = std::fmod(sawHz * static_cast<double>(i) / rate, 1.0);
        // A stretch of silence every second lets a decaying tail show up too.
        const bool silent = (i / (rate / 4)) % 4 == 3;
        samples[static_cast<std::size_t>(i)] =
            silent ? 0.0f : static_cast<float>(scale * (sawPeak * (2.0 * phase - 1.0) + noisePeak * noise));
    }
    return writeMono(path, samples, rate) ? 0 : 1;
}

int ramp(const std::string& path, long frames, int rate, double from, double to) {
    std::vector<float> samples(static_cast<std::size_t>(frames));
    for (long i = 0; i < frames; ++i) {
        samples[static_cast<std::size_t>(i)] =
            static_cast<float>(from + (to - from) * static_cast<double>(i) / std::max(1L, frames - 1));
    }
    return writeMono(path, samples, rate) ? 0 : 1;
}

int pad(const std::string& inPath, const std::string& outPath, long frames) {
    std::vector<float> samples;
    SF_INFO info{};
    if (SNDFILE* file = sf_open(inPath.c_str(), SFM_READ, &info)) {
        sf_close(file);
    } else {
        std::fprintf(stderr, "cannot read %s\n", inPath.c_str());
        return 2;
    }
    if (!readMono(inPath, samples)) return 2;
    samples.insert(samples.begin(), static_cast<std::size_t>(frames), 0.0f);
    return writeMono(outPath, samples, info.samplerate) ? 0 : 1;
}

int join(const std::string& leftPath, const std::string& rightPath, const std::string& outPath) {
    std::vector<float> left;
    std::vector<float> right;
    SF_INFO info{};
    if (SNDFILE* file = sf_open(leftPath.c_str(), SFM_READ, &info)) sf_close(file);
    if (!readMono(leftPath, left) || !readMono(rightPath, right)) return 2;
    if (left.size() != right.size()) {
        std::fprintf(stderr, "%s and %s differ in length\n", leftPath.c_str(), rightPath.c_str());
        return 2;
    }
    std::vector<float> interleaved(2 * left.size());
    for (std::size_t i = 0; i < left.size(); ++i) {
        interleaved[2 * i] = left[i];
        interleaved[2 * i + 1] = right[i];
    }
    return writeFloats(outPath, interleaved, info.samplerate, 2) ? 0 : 1;
}

int compare(const std::string& expectedPath, const std::string& actualPath, long skip, long delay, int channel) {
    std::vector<float> expected;
    std::vector<float> actual;
    if (!readMono(expectedPath, expected) || !readMono(actualPath, actual, channel)) return 2;
    const long overlap = std::min<long>(static_cast<long>(expected.size()), static_cast<long>(actual.size()) - delay);
    if (overlap <= skip) {
        std::fprintf(stderr, "nothing to compare: %zu expected, %zu actual frames\n", expected.size(), actual.size());
        return 1;
    }
    long differing = 0;
    long first = -1;
    double largest = 0.0;
    double peak = 0.0;
    for (long i = skip; i < overlap; ++i) {
        const float e = expected[static_cast<std::size_t>(i)];
        const float a = actual[static_cast<std::size_t>(i + delay)];
        peak = std::max(peak, static_cast<double>(std::fabs(e)));
        if (std::memcmp(&e, &a, sizeof e) != 0) {
            if (first < 0) first = i;
            ++differing;
            largest = std::max(largest, std::fabs(static_cast<double>(e) - a));
        }
    }
    std::printf("%ld frames compared (from %ld, delay %ld), peak %.4f: %ld differ", overlap - skip, skip, delay, peak,
                differing);
    if (differing > 0) {
        std::printf(", first at %ld (expected %.9g, got %.9g), largest difference %.3g", first,
                    expected[static_cast<std::size_t>(first)], actual[static_cast<std::size_t>(first + delay)], largest);
    }
    std::printf("\n");
    // A silent comparison proves nothing.
    if (peak == 0.0) {
        std::fprintf(stderr, "the expected output is silent\n");
        return 1;
    }
    return differing == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "stimulus" && (argc == 5 || argc == 6)) {
        return stimulus(argv[2], std::atol(argv[3]), std::atoi(argv[4]), argc == 6 ? std::atof(argv[5]) : 1.0);
    }
    if (command == "ramp" && argc == 7) {
        return ramp(argv[2], std::atol(argv[3]), std::atoi(argv[4]), std::atof(argv[5]), std::atof(argv[6]));
    }
    if (command == "pad" && argc == 5) return pad(argv[2], argv[3], std::atol(argv[4]));
    if (command == "join" && argc == 5) return join(argv[2], argv[3], argv[4]);
    if (command == "compare" && argc >= 4) {
        long skip = 0;
        long delay = 0;
        int channel = 0;
        for (int i = 4; i + 1 < argc; i += 2) {
            if (std::strcmp(argv[i], "--skip") == 0) skip = std::atol(argv[i + 1]);
            if (std::strcmp(argv[i], "--delay") == 0) delay = std::atol(argv[i + 1]);
            if (std::strcmp(argv[i], "--channel") == 0) channel = std::atoi(argv[i + 1]);
        }
        return compare(argv[2], argv[3], skip, delay, channel);
    }
    std::fprintf(stderr,
                 "usage: %s stimulus OUT FRAMES RATE [SCALE] | ramp OUT FRAMES RATE FROM TO | pad IN OUT FRAMES | "
                 "join LEFT RIGHT OUT | compare EXPECTED ACTUAL [--skip N] [--delay N] [--channel N]\n",
                 argv[0]);
    return 2;
}
