// A small JACK client for the live-host test: feeds a plug-in host's ports and records its output in freewheel mode.
//
//   plugin_jack_feeder CLIENT OUT_DIR FRAMES
//   plugin_jack_feeder --ports SIGNAL_PORT OUTPUT_PORT OUT_DIR FRAMES
//
// Connects to the running JACK server, waits for CLIENT's ports signal, pitch,
// resonance, zing and output, feeds a stimulus to signal, a moving Pitch CV and
// constant Resonance and Zing CVs (1.0 = 10 V), and records output, all in
// freewheel mode, for FRAMES frames from the first cycle it feeds. It writes
// what a render needs to repeat that: OUT_DIR/in.wav, pitch.wav, resonance.wav,
// zing.wav (each with one period of silence in front, the cycles the host ran
// before it was fed) and recorded.wav, plus OUT_DIR/period.txt.
// With --ports it feeds only the signal, to the named port, and records the named output port.
#include <jack/jack.h>
#include <sndfile.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr double pi = 3.14159265358979323846;
/// Resonance 7.5 V and Zing 20 V, as the module's pins carry them.
constexpr float resonanceCv = 0.75f;
constexpr float zingCv = 2.0f;
/// How long to wait for the host's ports to appear.
constexpr auto portTimeout = std::chrono::seconds(20);

struct Feed {
    jack_port_t* out[4]{};  // signal, pitch, resonance, zing
    jack_port_t* in = nullptr;
    std::vector<float> signal, pitch, recorded;
    std::size_t position = 0;
    std::atomic<bool> running{false};
    std::atomic<bool> done{false};
};

/// The input: a saw at 110 Hz with a little noise, 3 V peak.
float signalAt(std::size_t i, double rate, uint32_t& seed) {
    seed = seed * 1664525u + 1013904223u;
    const double noise = (static_cast<double>(seed >> 8) / (1u << 24)) * 2.0 - 1.0;
    const double phase = std::fmod(110.0 * static_cast<double>(i) / rate, 1.0);
    return static_cast<float>(0.3 * (2.0 * phase - 1.0) + 0.05 * noise);
}

/// Pitch: a sweep between 3 V and 8 V (0.3 to 0.8), twice a second, with a jump every quarter second.
float pitchAt(std::size_t i, double rate) {
    const double t = static_cast<double>(i) / rate;
    const double sweep = 0.55 + 0.25 * std::sin(2.0 * pi * 2.0 * t);
    const double jump = (static_cast<long>(t * 4.0) % 2 == 0) ? 0.0 : 0.05;
    return static_cast<float>(sweep + jump);
}

int process(jack_nframes_t frames, void* arg) {
    auto* feed = static_cast<Feed*>(arg);
    float* outs[4];
    for (int p = 0; p < 4; ++p) outs[p] = static_cast<float*>(jack_port_get_buffer(feed->out[p], frames));
    const auto* in = static_cast<const float*>(jack_port_get_buffer(feed->in, frames));
    const bool active = feed->running.load() && !feed->done.load();
    for (jack_nframes_t i = 0; i < frames; ++i) {
        const std::size_t at = feed->position + i;
        const bool feeding = active && at < feed->signal.size();
        outs[0][i] = feeding ? feed->signal[at] : 0.0f;
        outs[1][i] = feeding ? feed->pitch[at] : 0.0f;
        outs[2][i] = feeding ? resonanceCv : 0.0f;
        outs[3][i] = feeding ? zingCv : 0.0f;
        if (feeding) feed->recorded[at] = in[i];
    }
    if (active) {
        feed->position += frames;
        if (feed->position >= feed->signal.size()) feed->done = true;
    }
    return 0;
}

bool write(const std::string& path, const std::vector<float>& samples, int rate) {
    SF_INFO info{};
    info.channels = 1;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) return false;
    sf_write_float(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
    return true;
}

/// `lead` samples of silence, then `samples`.
std::vector<float> led(std::size_t lead, const std::vector<float>& samples) {
    std::vector<float> all(lead, 0.0f);
    all.insert(all.end(), samples.begin(), samples.end());
    return all;
}

}  // namespace

int main(int argc, char** argv) {
    const bool signalOnly = argc == 6 && std::string(argv[1]) == "--ports";
    if (argc != 4 && !signalOnly) {
        std::fprintf(stderr, "usage: %s CLIENT OUT_DIR FRAMES | --ports SIGNAL_PORT OUTPUT_PORT OUT_DIR FRAMES\n", argv[0]);
        return 2;
    }
    const std::string host = signalOnly ? "" : argv[1];
    const std::string dir = argv[signalOnly ? 4 : 2];
    const auto frames = static_cast<std::size_t>(std::atol(argv[signalOnly ? 5 : 3]));
    // The host's ports: its signal input (and CV inputs) and its output.
    std::vector<std::string> inputs;
    if (signalOnly) {
        inputs = {argv[2]};
    } else {
        for (const char* port : {"signal", "pitch", "resonance", "zing"}) inputs.push_back(host + ":" + port);
    }
    const std::string output = signalOnly ? argv[3] : host + ":output";

    jack_client_t* client = jack_client_open("vexa-feeder", JackNoStartServer, nullptr);
    if (client == nullptr) {
        std::fprintf(stderr, "no JACK server\n");
        return 1;
    }
    const double rate = jack_get_sample_rate(client);
    const jack_nframes_t period = jack_get_buffer_size(client);
    Feed feed;
    uint32_t seed = 11;
    for (std::size_t i = 0; i < frames; ++i) {
        feed.signal.push_back(signalAt(i, rate, seed));
        feed.pitch.push_back(pitchAt(i, rate));
    }
    feed.recorded.assign(frames, 0.0f);
    const char* outNames[] = {"signal_out", "pitch_out", "resonance_out", "zing_out"};
    for (int p = 0; p < 4; ++p) {
        feed.out[p] = jack_port_register(client, outNames[p], JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    }
    feed.in = jack_port_register(client, "record_in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(client, process, &feed);
    if (jack_activate(client) != 0) {
        std::fprintf(stderr, "cannot activate\n");
        return 1;
    }

    const auto deadline = std::chrono::steady_clock::now() + portTimeout;
    while (jack_port_by_name(client, output.c_str()) == nullptr) {
        if (std::chrono::steady_clock::now() > deadline) {
            std::fprintf(stderr, "%s never appeared\n", output.c_str());
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    for (std::size_t p = 0; p < inputs.size(); ++p) {
        const std::string from = std::string("vexa-feeder:") + outNames[p];
        if (jack_connect(client, from.c_str(), inputs[p].c_str()) != 0) {
            std::fprintf(stderr, "cannot connect %s to %s\n", from.c_str(), inputs[p].c_str());
            return 1;
        }
    }
    if (jack_connect(client, output.c_str(), "vexa-feeder:record_in") != 0) {
        std::fprintf(stderr, "cannot connect %s\n", output.c_str());
        return 1;
    }

    jack_set_freewheel(client, 1);
    feed.running = true;
    const auto started = std::chrono::steady_clock::now();
    while (!feed.done.load()) {
        if (std::chrono::steady_clock::now() - started > portTimeout) {
            std::fprintf(stderr, "the feed did not finish\n");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    jack_set_freewheel(client, 0);
    jack_deactivate(client);
    jack_client_close(client);

    const int sampleRate = static_cast<int>(rate);
    const bool written = write(dir + "/in.wav", led(period, feed.signal), sampleRate) &&
                         write(dir + "/pitch.wav", led(period, feed.pitch), sampleRate) &&
                         write(dir + "/resonance.wav", led(period, std::vector<float>(frames, resonanceCv)), sampleRate) &&
                         write(dir + "/zing.wav", led(period, std::vector<float>(frames, zingCv)), sampleRate) &&
                         write(dir + "/recorded.wav", feed.recorded, sampleRate);
    if (!written) {
        std::fprintf(stderr, "cannot write to %s\n", dir.c_str());
        return 1;
    }
    if (FILE* f = std::fopen((dir + "/period.txt").c_str(), "w")) {
        std::fprintf(f, "%u\n", period);
        std::fclose(f);
    }
    std::printf("fed and recorded %zu frames in freewheel mode, %u-frame periods at %d Hz\n", frames, period, sampleRate);
    return 0;
}
