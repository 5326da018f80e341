// Audio files through libsndfile, and outputs that appear only when complete.
#include "vexa-host/audio/AudioFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <system_error>

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include "hostlib/Errors.h"

namespace vexahost {

namespace {

namespace fs = std::filesystem;

/// Permissions a new file gets before the umask takes its share.
constexpr mode_t newFilePermissions = 0666;
/// Room for libsndfile's notes on the header it read.
constexpr std::size_t logInfoBytes = 4096;
/// Frames per read call when a whole file is read.
constexpr int64_t readChunkFrames = 16384;

std::string inQuotes(const std::string& path) { return "'" + path + "'"; }

std::string systemMessage(int error) { return std::generic_category().message(error); }

/// libsndfile's messages end in a full stop; ours are one-line clauses.
std::string libsndfileMessage(SNDFILE* handle) {
    std::string message = sf_strerror(handle);
    while (!message.empty() && (message.back() == '.' || message.back() == '\n')) message.pop_back();
    return message;
}

mode_t currentUmask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

std::string extensionOf(const std::string& path) {
    std::string extension = fs::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

int containerFor(const std::string& path) {
    if (path == "-") return SF_FORMAT_WAV;
    const std::string extension = extensionOf(path);
    if (extension == ".wav") return SF_FORMAT_WAV;
    if (extension == ".aif" || extension == ".aiff") return SF_FORMAT_AIFF;
    if (extension == ".flac") return SF_FORMAT_FLAC;
    throw UsageError("cannot write " + inQuotes(path) + ": unsupported output format " +
                     (extension.empty() ? "(no extension)" : inQuotes(extension)) + ", use .wav, .aiff or .flac");
}

int subtypeFor(SampleEncoding encoding) {
    switch (encoding) {
    case SampleEncoding::pcm16: return SF_FORMAT_PCM_16;
    case SampleEncoding::pcm24: return SF_FORMAT_PCM_24;
    case SampleEncoding::float32: return SF_FORMAT_FLOAT;
    }
    return SF_FORMAT_FLOAT;
}

}  // namespace

PendingFile::PendingFile(const std::string& finalPath, bool replaceExisting)
    : destination(finalPath), replace(replaceExisting) {
    std::error_code error;
    if (!replace && fs::exists(destination, error)) {
        throw FileError(inQuotes(destination) + " exists already; pass --force to replace it");
    }
    const fs::path target(destination);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    // Hidden, beside the final file (so that the rename stays within one file system).
    std::string hiddenName = target.filename().string();
    hiddenName.insert(0, 1, '.');
    hiddenName += ".partial-XXXXXX";
    std::string pattern = (folder / hiddenName).string();
    descriptor = mkstemp(pattern.data());
    if (descriptor < 0) {
        throw FileError("cannot write " + inQuotes(destination) + ": " + systemMessage(errno));
    }
    temporary = pattern;
    fchmod(descriptor, newFilePermissions & ~currentUmask());
}

PendingFile::~PendingFile() {
    if (committed) return;
    if (descriptor >= 0) close(descriptor);
    unlink(temporary.c_str());
}

int PendingFile::releaseDescriptor() {
    const int released = descriptor;
    descriptor = -1;
    return released;
}

void PendingFile::commit() {
    if (descriptor >= 0) {
        close(descriptor);
        descriptor = -1;
    }
    if (replace) {
        if (std::rename(temporary.c_str(), destination.c_str()) != 0) {
            throw FileError("cannot write " + inQuotes(destination) + ": " + systemMessage(errno));
        }
    } else {
        // A hard link never replaces a file that appeared meanwhile.
        if (link(temporary.c_str(), destination.c_str()) != 0) {
            const int error = errno;
            if (error == EEXIST) throw FileError(inQuotes(destination) + " exists already; pass --force to replace it");
            throw FileError("cannot write " + inQuotes(destination) + ": " + systemMessage(error));
        }
        unlink(temporary.c_str());
    }
    committed = true;
}

void PendingFile::copyToStandardOutput() {
    if (descriptor >= 0) {
        close(descriptor);
        descriptor = -1;
    }
    const int source = open(temporary.c_str(), O_RDONLY);
    if (source < 0) throw FileError("cannot read back " + inQuotes(temporary) + ": " + systemMessage(errno));
    constexpr std::size_t copyChunkBytes = 1 << 16;
    std::vector<char> chunk(copyChunkBytes);
    for (;;) {
        const ssize_t got = read(source, chunk.data(), chunk.size());
        if (got <= 0) break;
        for (ssize_t written = 0; written < got;) {
            const ssize_t step = write(STDOUT_FILENO, chunk.data() + written, static_cast<std::size_t>(got - written));
            if (step < 0) {
                const int error = errno;
                close(source);
                if (error == EPIPE) throw OutputClosed();
                throw FileError("cannot write to standard output: " + systemMessage(error));
            }
            written += step;
        }
    }
    close(source);
}

TextOutput::TextOutput(const std::string& path, bool replaceExisting) {
    if (path == "-") {
        file = stdout;
        return;
    }
    pending = std::make_unique<PendingFile>(path, replaceExisting);
    file = fdopen(pending->releaseDescriptor(), "w");
    if (file == nullptr) throw FileError("cannot write " + inQuotes(path) + ": " + systemMessage(errno));
}

TextOutput::~TextOutput() {
    if (pending != nullptr && file != nullptr) std::fclose(file);
}

void TextOutput::commit() {
    if (std::fflush(file) != 0 || std::ferror(file)) {
        if (pending == nullptr && errno == EPIPE) throw OutputClosed();
        throw FileError("cannot write " + (pending ? inQuotes(pending->finalPath()) : std::string("output")));
    }
    if (pending == nullptr) return;
    std::FILE* closing = file;
    file = nullptr;
    if (std::fclose(closing) != 0) throw FileError("cannot write " + inQuotes(pending->finalPath()));
    pending->commit();
}

SampleEncoding parseSampleEncoding(const std::string& bits) {
    if (bits == "16") return SampleEncoding::pcm16;
    if (bits == "24") return SampleEncoding::pcm24;
    if (bits == "32") return SampleEncoding::float32;
    throw UsageError("--bits: '" + bits + "' is not 16, 24 or 32 (32-bit float)");
}

SampleEncoding defaultEncodingFor(const std::string& path) {
    return extensionOf(path) == ".flac" ? SampleEncoding::pcm24 : SampleEncoding::float32;
}

bool sameFile(const std::string& first, const std::string& second) {
    std::error_code error;
    if (fs::exists(first, error) && fs::exists(second, error)) return fs::equivalent(first, second, error);
    return fs::weakly_canonical(first, error) == fs::weakly_canonical(second, error);
}

AudioReader::AudioReader(const std::string& path) : filePath(path) {
    std::error_code error;
    if (!fs::exists(path, error)) throw FileError("cannot read " + inQuotes(path) + ": no such file");
    if (fs::is_directory(path, error)) throw FileError("cannot read " + inQuotes(path) + ": it is a folder");
    SF_INFO info{};
    handle = sf_open(path.c_str(), SFM_READ, &info);
    if (handle == nullptr) throw FileError("cannot read " + inQuotes(path) + ": " + libsndfileMessage(nullptr));
    channelCount = info.channels;
    rate = info.samplerate;
    frameCount = info.frames;
    // libsndfile notes a header that promises more than the file holds as "data : N (should be M)".
    std::vector<char> log(logInfoBytes, '\0');
    sf_command(handle, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size() - 1));
    std::istringstream notes(log.data());
    for (std::string line; std::getline(notes, line);) {
        if (line.find("(should be") != std::string::npos) {
            damageNote = line;
            break;
        }
    }
    if (rate <= 0) {
        sf_close(handle);
        throw FileError("cannot read " + inQuotes(path) + ": it gives no sample rate");
    }
}

AudioReader::~AudioReader() { sf_close(handle); }

int64_t AudioReader::read(float* interleaved, int64_t count) {
    const sf_count_t got = sf_readf_float(handle, interleaved, count);
    if (got < count && sf_error(handle) != SF_ERR_NO_ERROR) {
        throw FileError("cannot read " + inQuotes(filePath) + ": " + libsndfileMessage(handle));
    }
    return got;
}

std::vector<std::vector<float>> AudioReader::readChannels() {
    std::vector<std::vector<float>> channels(static_cast<std::size_t>(channelCount));
    for (auto& channel : channels) channel.reserve(static_cast<std::size_t>(std::max<int64_t>(frameCount, 0)));
    std::vector<float> chunk(static_cast<std::size_t>(readChunkFrames * channelCount));
    for (;;) {
        const int64_t got = read(chunk.data(), readChunkFrames);
        if (got == 0) break;
        for (int64_t frame = 0; frame < got; ++frame) {
            for (int channel = 0; channel < channelCount; ++channel) {
                channels[static_cast<std::size_t>(channel)].push_back(
                    chunk[static_cast<std::size_t>(frame * channelCount + channel)]);
            }
        }
    }
    return channels;
}

AudioWriter::AudioWriter(const std::string& path, int channels, int sampleRate, SampleEncoding encoding,
                         bool replaceExisting) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = sampleRate;
    info.format = containerFor(path) | subtypeFor(encoding);
    if (!sf_format_check(&info)) {
        throw UsageError("cannot write " + inQuotes(path) + ": its format does not hold " +
                         (encoding == SampleEncoding::float32 ? "32-bit float" : "these") +
                         " samples, pass --bits 16 or 24");
    }
    toStandardOutput = path == "-";
    if (toStandardOutput && isatty(STDOUT_FILENO) == 1) {
        throw UsageError("refusing to write audio to a terminal; redirect standard output or give a file name");
    }
    // Standard output gets the file whole at the end, so that a WAV header
    // holds its length although a pipe cannot be rewound.
    pending = toStandardOutput
                  ? std::make_unique<PendingFile>((fs::temp_directory_path() / "vexa-host-render.wav").string(), true)
                  : std::make_unique<PendingFile>(path, replaceExisting);
    handle = sf_open_fd(pending->releaseDescriptor(), SFM_WRITE, &info, SF_TRUE);
    if (handle == nullptr) throw FileError("cannot write " + inQuotes(path) + ": " + libsndfileMessage(nullptr));
    // Integer files clip at full scale rather than wrap around.
    sf_command(handle, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

AudioWriter::~AudioWriter() {
    if (handle != nullptr) sf_close(handle);
}

void AudioWriter::write(const float* interleaved, int64_t frames) {
    if (sf_writef_float(handle, interleaved, frames) != frames) {
        throw FileError("cannot write " + inQuotes(pending->finalPath()) + ": " + libsndfileMessage(handle));
    }
}

void AudioWriter::commit() {
    const int closed = sf_close(handle);
    handle = nullptr;
    if (closed != 0) throw FileError("cannot write " + inQuotes(pending->finalPath()) + ": " + sf_error_number(closed));
    if (toStandardOutput) {
        pending->copyToStandardOutput();
        return;
    }
    pending->commit();
}

}  // namespace vexahost
