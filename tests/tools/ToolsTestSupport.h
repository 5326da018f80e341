// Helpers of the tools tests: programs run, audio files, temporary folders.
#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace vexatools_test {

/// The built programs and files the tests run (fixed when the tests are built).
const std::string& hostProgram();
const std::string& moduleLibrary();
const std::string& plotScript();

/// What a finished program printed and returned.
struct RunResult {
    int exitCode = -1;
    std::string standardOutput;
    std::string standardError;
};

/// Runs a program with arguments (no shell interpretation) and waits for it;
/// with `stopSignal`, sends it that signal once `stopAfterSeconds` have passed.
RunResult runProgram(const std::vector<std::string>& command, int stopSignal = 0, double stopAfterSeconds = 0.0);
/// Runs vexa-host with arguments.
RunResult runHost(const std::vector<std::string>& arguments, int stopSignal = 0, double stopAfterSeconds = 0.0);

/// Audio as the tests handle it: channels of float samples.
struct Audio {
    int sampleRate = 48000;
    std::vector<std::vector<float>> channels;
    int64_t frames() const { return channels.empty() ? 0 : static_cast<int64_t>(channels.front().size()); }
};

/// Writes audio with libsndfile, as a user's file would be (32-bit float WAV
/// unless another libsndfile format is given).
void writeAudio(const std::string& path, const Audio& audio, int format = 0);
/// Reads any audio file libsndfile knows; returns the file's format too.
Audio readAudio(const std::string& path, int* format = nullptr);

/// Width and height from a PNG file's header.
std::pair<uint32_t, uint32_t> pngSize(const std::string& path);

/// A fresh folder for one test, removed afterwards.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    std::string path(const std::string& name) const { return (folder / name).string(); }
    /// Every file name in the folder, hidden ones included.
    std::set<std::string> names() const;

private:
    std::filesystem::path folder;
};

/// Deterministic test signals, in host values.
std::vector<float> sawtooth(int64_t frames, double frequency, double sampleRate, float peak);
std::vector<float> whiteNoise(int64_t frames, uint32_t seed, float peak);

}  // namespace vexatools_test
