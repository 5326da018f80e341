// Running vexa-host and the plotting script as programs, audio files and folders for the tests.
#include "tools/ToolsTestSupport.h"

#include <chrono>
#include <csignal>
#include <thread>
#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <fcntl.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vexatools_test {

namespace {

// A linear congruential generator (Numerical Recipes' constants) over 32 bits.
constexpr uint32_t noiseMultiplier = 1664525u;
constexpr uint32_t noiseIncrement = 1013904223u;
constexpr double noiseStates = 4294967296.0;

std::string readWhole(const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
}

}  // namespace

const std::string& hostProgram() {
    static const std::string path = VEXA_HOST_PROGRAM;
    return path;
}

const std::string& moduleLibrary() {
    static const std::string path = VEXA_MODULE_LIBRARY;
    return path;
}

const std::string& plotScript() {
    static const std::string path = VEXA_PLOT_SCRIPT;
    return path;
}

RunResult runProgram(const std::vector<std::string>& command, int stopSignal, double stopAfterSeconds) {
    const TemporaryFolder captures;
    const std::string outPath = captures.path("stdout");
    const std::string errPath = captures.path("stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + command.front());
    if (stopSignal != 0) {
        std::this_thread::sleep_for(std::chrono::duration<double>(stopAfterSeconds));
        kill(child, stopSignal);
    }
    int status = 0;
    waitpid(child, &status, 0);
    RunResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.standardOutput = readWhole(outPath);
    result.standardError = readWhole(errPath);
    return result;
}

RunResult runHost(const std::vector<std::string>& arguments, int stopSignal, double stopAfterSeconds) {
    std::vector<std::string> command = {hostProgram()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return runProgram(command, stopSignal, stopAfterSeconds);
}

void writeAudio(const std::string& path, const Audio& audio, int format) {
    SF_INFO info{};
    info.channels = static_cast<int>(audio.channels.size());
    info.samplerate = audio.sampleRate;
    info.format = format != 0 ? format : (SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) throw std::runtime_error("cannot write test file " + path);
    std::vector<float> interleaved;
    for (int64_t frame = 0; frame < audio.frames(); ++frame) {
        for (const auto& channel : audio.channels) interleaved.push_back(channel[static_cast<std::size_t>(frame)]);
    }
    sf_writef_float(file, interleaved.data(), audio.frames());
    sf_close(file);
}

Audio readAudio(const std::string& path, int* format) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) throw std::runtime_error("cannot read test file " + path);
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    Audio audio;
    audio.sampleRate = info.samplerate;
    audio.channels.assign(static_cast<std::size_t>(info.channels), std::vector<float>());
    for (sf_count_t frame = 0; frame < info.frames; ++frame) {
        for (int channel = 0; channel < info.channels; ++channel) {
            audio.channels[static_cast<std::size_t>(channel)].push_back(
                interleaved[static_cast<std::size_t>(frame * info.channels + channel)]);
        }
    }
    if (format != nullptr) *format = info.format;
    return audio;
}

std::pair<uint32_t, uint32_t> pngSize(const std::string& path) {
    // Signature (8 bytes), IHDR length and name (8), then width and height, big-endian.
    constexpr std::size_t widthOffset = 16;
    const std::string bytes = readWhole(path);
    if (bytes.size() < widthOffset + 8 || bytes.compare(1, 3, "PNG") != 0) return {0, 0};
    const auto word = [&bytes](std::size_t offset) {
        uint32_t value = 0;
        for (std::size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
        return value;
    };
    return {word(widthOffset), word(widthOffset + 4)};
}

TemporaryFolder::TemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vexa-tools-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder");
    folder = pattern;
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

std::set<std::string> TemporaryFolder::names() const {
    std::set<std::string> result;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) result.insert(entry.path().filename().string());
    return result;
}

std::vector<float> sawtooth(int64_t frames, double frequency, double sampleRate, float peak) {
    std::vector<float> samples(static_cast<std::size_t>(frames));
    double phase = 0.0;
    for (float& sample : samples) {
        sample = static_cast<float>((2.0 * phase - 1.0) * peak);
        phase += frequency / sampleRate;
        if (phase >= 1.0) phase -= 1.0;
    }
    return samples;
}

std::vector<float> whiteNoise(int64_t frames, uint32_t seed, float peak) {
    std::vector<float> samples(static_cast<std::size_t>(frames));
    uint32_t state = seed;
    for (float& sample : samples) {
        state = state * noiseMultiplier + noiseIncrement;
        sample = static_cast<float>((static_cast<double>(state) / noiseStates * 2.0 - 1.0) * peak);
    }
    return samples;
}

}  // namespace vexatools_test
