// A thousand instances made, opened, run and closed in an interleaved order:
// each sounds exactly as it does alone, and nothing is left behind (the
// sanitized run checks for leaks).
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "integration/ModuleUnderTest.h"

namespace vexatest {
namespace {

using vexahost::HostInstance;

constexpr int32_t instanceCount = 1000;
constexpr int32_t blocksEach = 4;
constexpr int32_t blockSize = 32;

struct Voice {
    int16_t poles;
    int16_t type;
    float pitch;
    float frequency;
};

Voice voiceOf(int32_t index) {
    const int32_t configurations = ModuleUnderTest::configurationCount();
    return {static_cast<int16_t>(index % configurations), static_cast<int16_t>((index / configurations) % 2),
            0.3f + 0.02f * static_cast<float>(index % 37), 0.01f + 0.001f * static_cast<float>(index % 91)};
}

std::unique_ptr<HostInstance> makeVoice(const Voice& voice) {
    HostInstance::Options options;
    options.bufferCapacity = blockSize;
    auto host = std::make_unique<HostInstance>(ModuleUnderTest::entries(), options);
    host->setListValue(polesPin, voice.poles);
    host->setListValue(typePin, voice.type);
    host->fill(pitchPin, voice.pitch);
    host->fill(resonancePin, 0.7f);
    host->fill(zingPin, 1.0f);
    return host;
}

/// Writes the voice's signal for one block, runs it and returns the output.
std::vector<float> runBlock(HostInstance& host, const Voice& voice, int32_t block) {
    for (int32_t i = 0; i < blockSize; ++i) {
        const auto t = static_cast<float>(block * blockSize + i);
        host.buffer(signalPin)[i] = 0.8f * std::sin(voice.frequency * t);
    }
    host.process(0, blockSize);
    return {host.buffer(outputPin), host.buffer(outputPin) + blockSize};
}

TEST(ManyInstances, InterleavedInstancesDoNotAffectEachOther) {
    struct Slot {
        std::unique_ptr<HostInstance> host;
        bool opened = false;
        int32_t blocksRun = 0;
        std::vector<std::vector<float>> outputs;
    };
    std::vector<Slot> slots(instanceCount);
    std::minstd_rand random(2026);
    int32_t created = 0;
    int32_t closed = 0;
    std::vector<int32_t> live;
    while (closed < instanceCount) {
        const bool canCreate = created < instanceCount;
        if (canCreate && (live.empty() || random() % 3 == 0)) {
            slots[static_cast<std::size_t>(created)].host = makeVoice(voiceOf(created));
            live.push_back(created++);
            continue;
        }
        const std::size_t pick = random() % live.size();
        Slot& slot = slots[static_cast<std::size_t>(live[pick])];
        if (!slot.opened) {
            slot.host->open();
            slot.host->sendStatus(signalPin, PinStatusStreaming);
            slot.opened = true;
        } else if (slot.blocksRun < blocksEach) {
            slot.outputs.push_back(runBlock(*slot.host, voiceOf(live[pick]), slot.blocksRun++));
        } else {
            slot.host.reset();  // sends Close
            live.erase(live.begin() + static_cast<std::ptrdiff_t>(pick));
            ++closed;
        }
    }
    for (int32_t index = 0; index < instanceCount; ++index) {
        const Voice voice = voiceOf(index);
        auto alone = makeVoice(voice);
        alone->open();
        alone->sendStatus(signalPin, PinStatusStreaming);
        for (int32_t block = 0; block < blocksEach; ++block) {
            ASSERT_EQ(runBlock(*alone, voice, block), slots[static_cast<std::size_t>(index)].outputs[static_cast<std::size_t>(block)])
                << "instance " << index << " block " << block;
        }
    }
}

}  // namespace
}  // namespace vexatest
