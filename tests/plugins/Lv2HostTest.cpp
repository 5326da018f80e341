// A small LV2 host of our own that does what careless hosts do: missing features, odd sample rates,
// NULL and reconnected ports, wild control values, empty runs; and counts allocations in run().
//
//   lv2_host_tests --lv2-dir=PATH/lv2 [gtest options]
#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "UridMap.h"
#include "resampler/CoreRate.h"
#include "dsp/PoleConfigs.h"

namespace {

std::string lv2Dir;
constexpr double sampleRate = 48000.0;
constexpr uint32_t maxBlock = 512;

// Port indices, in the order lv2info shows them (checked by lv2-hosts.sh).
namespace standard {
enum Port : uint32_t {
    signal, output, notes, pitch, resonance, zing, poles, type, drive, outputGain, mix, keyTrack, modelRate, latency,
    count };
}
namespace cv {
enum Port : uint32_t { signal, pitch, resonance, zing, output, poles, type, drive, outputGain, mix, modelRate, latency,
                       count };
}
namespace stereo {
enum Port : uint32_t {
    signalLeft, signalRight, outputLeft, outputRight, notes, pitch, resonance, zing, poles, type,
    drive, outputGain, mix, keyTrack, modelRate, latency, count };
}

}  // namespace

#if !defined(__SANITIZE_ADDRESS__)
// Allocations while counting is on: every operator new of the plug-in ends in malloc.
extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_realloc(void* pointer, size_t size);
namespace {
std::atomic<bool> countingAllocations{false};
std::atomic<long> allocations{0};
void countOne() {
    if (countingAllocations.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace
extern "C" void* malloc(size_t size) {
    countOne();
    return __libc_malloc(size);
}
extern "C" void* calloc(size_t count, size_t size) {
    countOne();
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* pointer, size_t size) {
    countOne();
    return __libc_realloc(pointer, size);
}
#endif

namespace {

/// What the host offers at instantiation.
enum class Features { none, empty, mapOnly, full };

/// One plug-in binary, opened for the whole run.
const LV2_Descriptor* descriptorOf(const std::string& binary) {
    void* handle = dlopen((lv2Dir + "/" + binary).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        ADD_FAILURE() << dlerror();
        return nullptr;
    }
    auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(handle, "lv2_descriptor"));
    if (entry == nullptr) return nullptr;
    EXPECT_EQ(entry(1), nullptr) << "one plug-in per binary";
    return entry(0);
}

const LV2_Descriptor* filterPlugin() {
    static const LV2_Descriptor* d = descriptorOf("vexa-lp-filter-2.lv2/vexa-lp-filter-2_dsp.so");
    return d;
}
const LV2_Descriptor* cvPlugin() {
    static const LV2_Descriptor* d = descriptorOf("vexa-lp-filter-2-cv.lv2/vexa-lp-filter-2-cv_dsp.so");
    return d;
}

const LV2_Descriptor* stereoPlugin() {
    static const LV2_Descriptor* d = descriptorOf("vexa-lp-filter-2-stereo.lv2/vexa-lp-filter-2-stereo_dsp.so");
    return d;
}

/// An instance with its port buffers; controls start at the plug-in's defaults.
class Instance {
public:
    Instance(const LV2_Descriptor* plugin, double rate, Features offered = Features::full, uint32_t block = maxBlock)
        : descriptor(plugin), blockLength(static_cast<int32_t>(block)) {
        options[0] = {LV2_OPTIONS_INSTANCE, 0, urids.id(LV2_BUF_SIZE__maxBlockLength), sizeof blockLength,
                      urids.id(LV2_ATOM__Int), &blockLength};
        options[1] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
        mapFeature = {LV2_URID__map, &urids.map};
        optionsFeature = {LV2_OPTIONS__options, options};
        const LV2_Feature* const* features = nullptr;
        switch (offered) {
        case Features::none: break;
        case Features::empty: list = {nullptr}; features = list.data(); break;
        case Features::mapOnly: list = {&mapFeature, nullptr}; features = list.data(); break;
        case Features::full: list = {&mapFeature, &optionsFeature, nullptr}; features = list.data(); break;
        }
        handle = descriptor->instantiate(descriptor, rate, (lv2Dir + "/").c_str(), features);
        controls = {5.0f, 5.0f, 10.0f, 5.0f, 0.0f};
    }
    ~Instance() {
        if (handle != nullptr) descriptor->cleanup(handle);
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    bool valid() const { return handle != nullptr; }
    void connect(uint32_t port, void* data) { descriptor->connect_port(handle, port, data); }
    void activate() { descriptor->activate(handle); }
    void deactivate() { descriptor->deactivate(handle); }
    void run(uint32_t frames) { descriptor->run(handle, frames); }

    const LV2_Descriptor* descriptor;
    LV2_Handle handle = nullptr;
    /// Pitch, Resonance, Zing, Poles, Type (the standard plug-in's control ports).
    std::vector<float> controls;
    UridMap urids;

private:
    int32_t blockLength;
    LV2_Options_Option options[2]{};
    LV2_Feature mapFeature{};
    LV2_Feature optionsFeature{};
    std::vector<const LV2_Feature*> list;
};

std::vector<float> stimulus(std::size_t frames) {
    std::vector<float> samples(frames);
    uint32_t seed = 3;
    for (std::size_t i = 0; i < frames; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double phase = std::fmod(97.0 * static_cast<double>(i) / sampleRate, 1.0);
        samples[i] = static_cast<float>(0.4 * (2.0 * phase - 1.0) + 0.1 * ((seed >> 8) / 16777216.0 * 2.0 - 1.0));
    }
    return samples;
}

bool allFinite(const std::vector<float>& samples) {
    return std::all_of(samples.begin(), samples.end(), [](float v) { return std::isfinite(v); });
}

bool identical(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

/// Runs the standard plug-in over `in` in blocks of `block` with its controls connected.
std::vector<float> runStandard(Instance& instance, const std::vector<float>& in, uint32_t block) {
    std::vector<float> out(in.size(), NAN);
    for (uint32_t p = 0; p < 5; ++p) instance.connect(standard::pitch + p, &instance.controls[p]);
    instance.activate();
    for (std::size_t done = 0; done < in.size(); done += block) {
        const auto count = static_cast<uint32_t>(std::min<std::size_t>(block, in.size() - done));
        instance.connect(standard::signal, const_cast<float*>(in.data() + done));
        instance.connect(standard::output, out.data() + done);
        instance.run(count);
    }
    return out;
}

TEST(Lv2Features, TheFilterRunsWhateverTheHostOffers) {
    const std::vector<float> in = stimulus(8192);
    std::vector<std::vector<float>> outputs;
    for (const Features offered : {Features::full, Features::none, Features::empty, Features::mapOnly}) {
        Instance instance(filterPlugin(), sampleRate, offered);
        ASSERT_TRUE(instance.valid()) << "features " << static_cast<int>(offered);
        outputs.push_back(runStandard(instance, in, 256));
    }
    EXPECT_TRUE(allFinite(outputs[0]));
    for (std::size_t i = 1; i < outputs.size(); ++i) EXPECT_TRUE(identical(outputs[0], outputs[i])) << i;
}

TEST(Lv2BadInput, SampleRatesZeroNegativeAndOneMegahertz) {
    const std::vector<float> in = stimulus(4096);
    for (const double rate : {0.0, -48000.0, 1.0e6, 1.0}) {
        Instance instance(filterPlugin(), rate);
        // Refusing such a rate is fine; an instance that exists must give finite output.
        if (!instance.valid()) continue;
        EXPECT_TRUE(allFinite(runStandard(instance, in, 256))) << "rate " << rate;
    }
}

TEST(Lv2BadInput, NullAndReconnectedPorts) {
    const std::vector<float> in = stimulus(2048);
    Instance instance(filterPlugin(), sampleRate);
    ASSERT_TRUE(instance.valid());
    instance.activate();
    instance.run(256);  // nothing connected at all
    std::vector<float> out(2048, NAN);
    instance.connect(standard::output, out.data());
    instance.run(256);  // no input, no controls: silence in, defaults
    EXPECT_TRUE(allFinite(std::vector<float>(out.begin(), out.begin() + 256)));
    instance.connect(standard::signal, const_cast<float*>(in.data()));
    instance.connect(standard::output, nullptr);
    instance.run(256);  // no output: nothing written
    for (uint32_t p = 0; p < 5; ++p) instance.connect(standard::pitch + p, &instance.controls[p]);
    // Reconnected every block, sometimes in place.
    std::vector<float> buffer = in;
    for (std::size_t b = 0; b < 8; ++b) {
        float* block = buffer.data() + b * 256;
        instance.connect(standard::signal, block);
        instance.connect(standard::output, b % 2 == 0 ? block : out.data() + b * 256);
        instance.run(256);
        if (b % 2 != 0) std::copy_n(out.data() + b * 256, 256, block);
    }
    EXPECT_TRUE(allFinite(buffer));
    for (uint32_t p = 0; p < 5; ++p) instance.connect(standard::pitch + p, nullptr);
    instance.run(256);  // controls gone again: the last values hold
    // Ports the plug-in does not have (one past the last, a wild one, the largest) are passed over.
    float stray = 7.0f;
    for (const uint32_t port : {static_cast<uint32_t>(standard::count), 9999u, 0xFFFFFFFFu}) instance.connect(port, &stray);
    instance.run(256);
    EXPECT_EQ(stray, 7.0f);
}

TEST(Lv2BadInput, AStereoPluginWithOneSideUnconnectedFiltersTheOtherAsTheMonoOne) {
    const std::vector<float> in = stimulus(4096);
    Instance mono(filterPlugin(), sampleRate);
    ASSERT_TRUE(mono.valid());
    const std::vector<float> expected = runStandard(mono, in, 256);
    Instance instance(stereoPlugin(), sampleRate);
    ASSERT_TRUE(instance.valid());
    for (uint32_t p = 0; p < 5; ++p) instance.connect(stereo::pitch + p, &instance.controls[p]);
    instance.activate();
    // The left side in place, the right one without an output, then without an input.
    std::vector<float> left = in;
    std::vector<float> right(in.size(), NAN);
    for (std::size_t done = 0; done < in.size(); done += 256) {
        const bool rightOutput = done >= in.size() / 2;
        instance.connect(stereo::signalLeft, left.data() + done);
        instance.connect(stereo::outputLeft, left.data() + done);
        instance.connect(stereo::signalRight, rightOutput ? nullptr : const_cast<float*>(in.data() + done));
        instance.connect(stereo::outputRight, rightOutput ? right.data() + done : nullptr);
        instance.run(256);
    }
    EXPECT_TRUE(identical(expected, left));
    EXPECT_TRUE(allFinite(std::vector<float>(right.begin() + 2048, right.end())));
}

/// A note input holding one note-on of `key` at frame `frame`, as a host writes it.
class NoteSequence {
public:
    NoteSequence(UridMap& urids, uint8_t key, int64_t frame) {
        buffer.assign(256, 0);
        auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(buffer.data());
        sequence->atom.type = urids.id(LV2_ATOM__Sequence);
        sequence->body.unit = 0;
        auto* event = reinterpret_cast<LV2_Atom_Event*>(sequence + 1);
        event->time.frames = frame;
        event->body.type = urids.id(LV2_MIDI__MidiEvent);
        event->body.size = 3;
        const uint8_t noteOn[] = {0x90, key, 100};
        std::memcpy(event + 1, noteOn, sizeof noteOn);
        sequence->atom.size = sizeof(LV2_Atom_Sequence_Body) + sizeof(LV2_Atom_Event) + 8;
    }
    void* data() { return buffer.data(); }

private:
    std::vector<uint64_t> buffer;
};

// A note-on at frame 300 of a 512-frame run, with Key track at 100 %: the frames before it
// are those of a run without it, and Pitch follows it from there.
TEST(Lv2Notes, ANoteIsHeardFromItsOwnFrame) {
    const std::vector<float> in = stimulus(512 * 6);
    const auto runWith = [&](bool withNote) {
        Instance instance(filterPlugin(), sampleRate);
        EXPECT_TRUE(instance.valid());
        float keyTrack = 100.0f;
        for (uint32_t p = 0; p < 5; ++p) instance.connect(standard::pitch + p, &instance.controls[p]);
        instance.connect(standard::keyTrack, &keyTrack);
        NoteSequence note(instance.urids, 84, 300);
        NoteSequence none(instance.urids, 84, 300);
        reinterpret_cast<LV2_Atom_Sequence*>(none.data())->atom.size = sizeof(LV2_Atom_Sequence_Body);
        std::vector<float> out(in.size(), NAN);
        instance.activate();
        for (std::size_t done = 0, block = 0; done < in.size(); done += 512, ++block) {
            instance.connect(standard::notes, withNote && block == 2 ? note.data() : none.data());
            instance.connect(standard::signal, const_cast<float*>(in.data() + done));
            instance.connect(standard::output, out.data() + done);
            instance.run(512);
        }
        return out;
    };
    const std::vector<float> without = runWith(false);
    const std::vector<float> with = runWith(true);
    // The filter takes a new Pitch at its next coefficient update, at most 12 samples on.
    const auto first = std::mismatch(without.begin(), without.end(), with.begin()).first - without.begin();
    EXPECT_GE(first, 2 * 512 + 300);
    EXPECT_LT(first, 2 * 512 + 300 + 12);
}

TEST(Lv2BadInput, InPlaceBuffersGiveTheSameOutput) {
    const std::vector<float> in = stimulus(4096);
    Instance separate(filterPlugin(), sampleRate);
    separate.controls = {7.0f, 8.0f, 20.0f, 18.0f, 1.0f};
    const std::vector<float> expected = runStandard(separate, in, 512);

    Instance inPlace(filterPlugin(), sampleRate);
    inPlace.controls = separate.controls;
    for (uint32_t p = 0; p < 5; ++p) inPlace.connect(standard::pitch + p, &inPlace.controls[p]);
    inPlace.activate();
    std::vector<float> buffer = in;
    for (std::size_t done = 0; done < buffer.size(); done += 512) {
        inPlace.connect(standard::signal, buffer.data() + done);
        inPlace.connect(standard::output, buffer.data() + done);
        inPlace.run(512);
    }
    EXPECT_TRUE(identical(expected, buffer));
}

TEST(Lv2BadInput, WildControlValuesGiveFiniteOutput) {
    const std::vector<float> in = stimulus(512 * 12);
    Instance instance(filterPlugin(), sampleRate);
    ASSERT_TRUE(instance.valid());
    std::vector<float> out(in.size(), NAN);
    for (uint32_t p = 0; p < 5; ++p) instance.connect(standard::pitch + p, &instance.controls[p]);
    instance.activate();
    const float wild[] = {NAN, INFINITY, -INFINITY, 1.0e30f, -1.0e30f, 1.0e-40f, 1.0e9f, -1.0f, 29.6f, 0.49f, 0.51f, -0.0f};
    for (std::size_t b = 0; b < 12; ++b) {
        for (std::size_t p = 0; p < 5; ++p) instance.controls[p] = wild[(b + 3 * p) % std::size(wild)];
        instance.connect(standard::signal, const_cast<float*>(in.data() + b * 512));
        instance.connect(standard::output, out.data() + b * 512);
        instance.run(512);
    }
    EXPECT_TRUE(allFinite(out));
}

TEST(Lv2BadInput, EmptyRunsChangeNothing) {
    const std::vector<float> in = stimulus(4096);
    Instance plain(filterPlugin(), sampleRate);
    const std::vector<float> expected = runStandard(plain, in, 256);

    Instance interrupted(filterPlugin(), sampleRate);
    std::vector<float> out(in.size(), NAN);
    for (uint32_t p = 0; p < 5; ++p) interrupted.connect(standard::pitch + p, &interrupted.controls[p]);
    interrupted.activate();
    for (std::size_t done = 0; done < in.size(); done += 256) {
        interrupted.connect(standard::signal, const_cast<float*>(in.data() + done));
        interrupted.connect(standard::output, out.data() + done);
        interrupted.run(0);
        interrupted.run(256);
        interrupted.run(0);
    }
    EXPECT_TRUE(identical(expected, out));
}

TEST(Lv2CvPlugin, AnUnconnectedCvInputReadsAsItsDefault) {
    const std::vector<float> in = stimulus(4096);
    std::vector<float> defaults[3] = {std::vector<float>(maxBlock, 0.5f), std::vector<float>(maxBlock, 0.5f),
                                      std::vector<float>(maxBlock, 1.0f)};
    float poles = 12.0f;
    float type = 1.0f;
    auto run = [&](bool connectCv) {
        Instance instance(cvPlugin(), sampleRate);
        std::vector<float> out(in.size(), NAN);
        instance.connect(cv::poles, &poles);
        instance.connect(cv::type, &type);
        for (uint32_t c = 0; c < 3; ++c) instance.connect(cv::pitch + c, connectCv ? defaults[c].data() : nullptr);
        instance.activate();
        for (std::size_t done = 0; done < in.size(); done += maxBlock) {
            instance.connect(cv::signal, const_cast<float*>(in.data() + done));
            instance.connect(cv::output, out.data() + done);
            instance.run(maxBlock);
        }
        return out;
    };
    const std::vector<float> connected = run(true);
    const std::vector<float> unconnected = run(false);
    EXPECT_TRUE(allFinite(connected));
    EXPECT_TRUE(identical(connected, unconnected));
}

#if !defined(__SANITIZE_ADDRESS__)
// At 96 and 192 kHz, where the filter runs at its design rate between the
// resampler's stages, and with Model rate switching back and forth.
TEST(Lv2RealTime, RunAllocatesNothingWhileEverythingChanges) {
    const std::vector<float> in = stimulus(512 * 64);
    std::vector<float> out(in.size());
    Instance instance(filterPlugin(), 96000.0);
    for (uint32_t p = 0; p < 5; ++p) instance.connect(standard::pitch + p, &instance.controls[p]);
    float modelRate = 0.0f;
    float latency = -1.0f;
    instance.connect(standard::modelRate, &modelRate);
    instance.connect(standard::latency, &latency);
    instance.activate();
    allocations = 0;
    countingAllocations = true;
    for (std::size_t b = 0; b < 64; ++b) {
        instance.controls[0] = 2.0f + static_cast<float>(b % 9);
        instance.controls[1] = static_cast<float>(b % 11);
        instance.controls[2] = 0.5f + static_cast<float>(b % 7) * 5.0f;
        instance.controls[3] = static_cast<float>(b % vexa::poleConfigCount);
        instance.controls[4] = static_cast<float>(b % 2);
        modelRate = static_cast<float>(b / 8 % 2);
        instance.connect(standard::signal, const_cast<float*>(in.data() + b * 512));
        instance.connect(standard::output, out.data() + b * 512);
        instance.run(b % 5 == 0 ? 0 : static_cast<uint32_t>(1 + (b * 37) % 512));
    }
    countingAllocations = false;
    EXPECT_EQ(allocations.load(), 0);
    EXPECT_TRUE(allFinite(out));
    // The latency port reports the resampling's fixed delay.
    EXPECT_EQ(latency, static_cast<float>(vexaplugin::resampler::latencyFor(2)));

    Instance cvInstance(cvPlugin(), 192000.0);
    std::vector<float> cvs(maxBlock, 0.6f);
    float poles = 3.0f;
    float type = 0.0f;
    cvInstance.connect(cv::poles, &poles);
    cvInstance.connect(cv::type, &type);
    cvInstance.activate();
    allocations = 0;
    countingAllocations = true;
    for (std::size_t b = 0; b < 32; ++b) {
        poles = static_cast<float>((b * 7) % vexa::poleConfigCount);
        for (uint32_t c = 0; c < 3; ++c) cvInstance.connect(cv::pitch + c, (b + c) % 3 == 0 ? nullptr : cvs.data());
        cvInstance.connect(cv::signal, const_cast<float*>(in.data() + b * maxBlock));
        cvInstance.connect(cv::output, out.data() + b * maxBlock);
        cvInstance.run(maxBlock);
    }
    countingAllocations = false;
    EXPECT_EQ(allocations.load(), 0);
}
#endif

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind("--lv2-dir=", 0) == 0) lv2Dir = argument.substr(10);
    }
    if (lv2Dir.empty()) {
        std::fprintf(stderr, "usage: %s --lv2-dir=PATH [gtest options]\n", argv[0]);
        return 2;
    }
    return RUN_ALL_TESTS();
}
