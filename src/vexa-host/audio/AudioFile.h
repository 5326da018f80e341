// Reading and writing audio files; outputs that appear under their name only when complete.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

struct sf_private_tag;

#include "hostlib/Errors.h"

namespace vexahost {

/// Standard output was a pipe whose reader has gone (`... | head -1`): the
/// command ends quietly, as the programs of a pipeline do.
class OutputClosed : public FileError {
public:
    OutputClosed() : FileError("standard output closed") {}
};

/// An output that appears under its final name only when it is complete: it is
/// written to a temporary file in the same folder and renamed at the end. A
/// PendingFile that is destroyed without commit() removes its temporary file.
class PendingFile {
public:
    /// Throws FileError when the folder cannot take the file, or when the file
    /// exists and replaceExisting is false.
    PendingFile(const std::string& finalPath, bool replaceExisting);
    ~PendingFile();

    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    /// The open temporary file; the caller takes it over and must close it before commit().
    int releaseDescriptor();
    const std::string& temporaryPath() const { return temporary; }
    const std::string& finalPath() const { return destination; }
    /// Moves the temporary file to its final name; throws FileError.
    void commit();
    /// Copies the finished temporary file to standard output (and removes it on
    /// destruction); throws OutputClosed or FileError.
    void copyToStandardOutput();

private:
    std::string destination;
    std::string temporary;
    int descriptor = -1;
    bool replace = false;
    bool committed = false;
};

/// A text output (CSV, tables) written through a PendingFile, or standard
/// output when the path is "-".
class TextOutput {
public:
    TextOutput(const std::string& path, bool replaceExisting);
    ~TextOutput();

    TextOutput(const TextOutput&) = delete;
    TextOutput& operator=(const TextOutput&) = delete;

    std::FILE* stream() const { return file; }
    /// Flushes and publishes the file; throws FileError on a write error.
    void commit();

private:
    std::unique_ptr<PendingFile> pending;
    std::FILE* file = nullptr;
};

/// How output samples are stored.
enum class SampleEncoding { float32, pcm24, pcm16 };

/// Parses "16", "24" or "32" (32 is float); throws UsageError.
SampleEncoding parseSampleEncoding(const std::string& bits);

/// An audio file opened for reading (WAV, AIFF, FLAC and whatever else
/// libsndfile reads). Samples come as floats, full scale 1.0.
class AudioReader {
public:
    /// Throws FileError when the file is missing, unreadable or of an unknown format.
    explicit AudioReader(const std::string& path);
    ~AudioReader();

    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    int channels() const { return channelCount; }
    int sampleRate() const { return rate; }
    int64_t frames() const { return frameCount; }
    const std::string& path() const { return filePath; }
    /// What libsndfile found wrong with the header (a data size larger than
    /// the file: truncated), or empty.
    const std::string& damage() const { return damageNote; }

    /// Reads up to `count` frames, interleaved; returns the frames read (0 at the end).
    int64_t read(float* interleaved, int64_t count);
    /// Reads the whole rest of the file, one vector per channel.
    std::vector<std::vector<float>> readChannels();

private:
    std::string filePath;
    sf_private_tag* handle = nullptr;
    int channelCount = 0;
    int rate = 0;
    int64_t frameCount = 0;
    std::string damageNote;
};

/// An audio file being written. The container follows the file name
/// (.wav, .aif/.aiff, .flac; "-": a WAV on standard output, which receives it
/// whole after commit()); the file appears only after commit().
class AudioWriter {
public:
    /// Throws UsageError for an unknown extension or an encoding the container
    /// cannot hold, FileError when the file cannot be made.
    AudioWriter(const std::string& path, int channels, int sampleRate, SampleEncoding encoding,
                bool replaceExisting);
    ~AudioWriter();

    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    void write(const float* interleaved, int64_t frames);
    void commit();

private:
    std::unique_ptr<PendingFile> pending;
    sf_private_tag* handle = nullptr;
    bool toStandardOutput = false;
};

/// The encoding a file name gets when none is asked for: float, except in
/// containers that hold integers only (FLAC: 24 bits).
SampleEncoding defaultEncodingFor(const std::string& path);

/// Whether two paths name the same file (the second need not exist).
bool sameFile(const std::string& first, const std::string& second);

}  // namespace vexahost
