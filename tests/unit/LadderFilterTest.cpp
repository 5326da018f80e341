// The filter module's lifecycle as seen in its fields.
#include <algorithm>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "unit/FakeHost.h"
#include "filter/KernelTable.h"
#include "filter/LadderFilter.h"
#include "filter/PoleConfigs.h"

namespace vexatest {
namespace {

using vexa::LadderFilter;
using enum vexa::FilterPin;

/// A filter opened by a fake host with seven pins and buffers it owns.
struct OpenedFilter {
    explicit OpenedFilter(int16_t poles, float sampleRate = 44100.0f) : filter(&FakeHost::callback, &host) {
        host.pinCount = 7;
        for (auto* buffer : {&signal, &pitch, &resonance, &zing, &output}) buffer->assign(capacity, 0.0f);
        filter.signalIn = signal.data();
        filter.pitchIn = pitch.data();
        filter.resonanceIn = resonance.data();
        filter.zingIn = zing.data();
        filter.output = output.data();
        filter.poles = poles;
        filter.setSampleRate(sampleRate);
        filter.open();
    }

    void status(int32_t pinIndex, int32_t status) {
        HostEvent event{};
        event.pinIndex = pinIndex;
        event.status = status;
        filter.onEvent(&event);
    }

    void process(int32_t start, int32_t count) {
        filter.hostRecord()->subProcess(filter.hostRecord()->object, start, count);
    }

    static constexpr std::size_t capacity = 4096;
    FakeHost host;
    LadderFilter filter;
    std::vector<float> signal, pitch, resonance, zing, output;
};

TEST(LadderFilterOpen, ResetsStateAndInstallsTheKernelOfPoles) {
    OpenedFilter opened(5);
    LadderFilter& f = opened.filter;
    EXPECT_EQ(f.hostRecord()->subProcess, vexa::selectKernel(5).kernel);
    EXPECT_EQ(f.outGain, 0.5f);
    EXPECT_TRUE(f.resetPending);
    EXPECT_EQ(f.overloadCounter, 0);
    EXPECT_EQ(f.lastPoles, 5);
    EXPECT_EQ(f.freqScale, 2.0f / 44100.0f);
    EXPECT_EQ(f.s1 + f.s2 + f.s3 + f.s4 + f.s5 + f.fb, 0.0f);
    EXPECT_EQ(f.lastPitch, 200.0f);
    EXPECT_EQ(f.lastResonance, 0.3f);
    EXPECT_EQ(f.k, 0.5f);
    EXPECT_EQ(f.resFeedback, 0.3f);
    EXPECT_EQ(opened.host.count(HostOpcodeSetPinStatus), 0);
    EXPECT_EQ(opened.host.count(HostOpcodeSubProcessChanged), 1);
}

TEST(LadderFilterOpen, OutOfRangePolesFallBackToTheFirstConfiguration) {
    for (const int16_t poles : {int16_t{30}, int16_t{-1}}) {
        OpenedFilter opened(poles);
        EXPECT_EQ(opened.filter.hostRecord()->subProcess, vexa::selectKernel(0).kernel);
        EXPECT_EQ(opened.filter.outGain, 0.65f);
        EXPECT_EQ(opened.filter.lastPoles, poles);
    }
}

TEST(LadderFilterStatus, PolesChangeWhileStreamingResetsAndKeepsAFifthOfTheFeedback) {
    OpenedFilter opened(5);
    LadderFilter& f = opened.filter;
    opened.status(signalPin, PinStatusStreaming);
    f.s1 = 0.1f, f.s2 = 0.2f, f.s3 = 0.3f, f.s4 = 0.4f, f.s5 = 0.5f;
    f.fb = 0.5f;
    f.resetPending = false;
    f.overloadCounter = 77;
    f.setSampleRate(48000.0f);
    const int32_t changesBefore = opened.host.count(HostOpcodeSubProcessChanged);
    f.poles = 18;
    opened.status(polesPin, PinStatusChangedOnce);
    EXPECT_EQ(f.hostRecord()->subProcess, vexa::selectKernel(18).kernel);
    EXPECT_EQ(f.outGain, -0.12f);
    EXPECT_EQ(f.s1 + f.s2 + f.s3 + f.s4 + f.s5, 0.0f);
    EXPECT_FLOAT_EQ(f.fb, 0.1f);
    EXPECT_TRUE(f.resetPending);
    EXPECT_EQ(f.lastPoles, 18);
    EXPECT_EQ(f.freqScale, 2.0f / 48000.0f);
    EXPECT_EQ(f.overloadCounter, 77);
    EXPECT_EQ(opened.host.count(HostOpcodeSubProcessChanged), changesBefore + 1);
}

TEST(LadderFilterStatus, SampleRateIsTakenOnlyAtPolesChangeOrSilence) {
    OpenedFilter opened(3);
    LadderFilter& f = opened.filter;
    opened.status(signalPin, PinStatusStreaming);
    f.setSampleRate(96000.0f);
    opened.status(typePin, PinStatusChangedOnce);
    opened.process(0, 64);
    EXPECT_EQ(f.freqScale, 2.0f / 44100.0f);
    opened.status(signalPin, PinStatusStatic);
    opened.process(0, 64);
    EXPECT_EQ(f.freqScale, 2.0f / 96000.0f);
}

TEST(LadderFilterStatus, UnusableSampleRatesKeepTheLastGoodOne) {
    OpenedFilter opened(3, 0.0f);
    LadderFilter& f = opened.filter;
    EXPECT_EQ(f.freqScale, 2.0f / 44100.0f);
    for (const float rate : {-48000.0f, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(),
                             0.0f}) {
        f.setSampleRate(rate);
        opened.status(signalPin, PinStatusStatic);
        opened.process(0, 16);
        EXPECT_EQ(f.freqScale, 2.0f / 44100.0f) << rate;
    }
    f.setSampleRate(48000.0f);
    opened.process(0, 16);
    EXPECT_EQ(f.freqScale, 2.0f / 48000.0f);
}

TEST(LadderFilterSilence, HoldsTheStateAtItsResetPointAndFollowsPoles) {
    OpenedFilter opened(3);
    LadderFilter& f = opened.filter;
    opened.status(signalPin, PinStatusStreaming);
    std::fill(opened.signal.begin(), opened.signal.end(), 3.0f);
    opened.process(0, 64);
    EXPECT_NE(f.s1, 0.0f);
    opened.status(signalPin, PinStatusStatic);
    f.poles = 9;
    f.overloadCounter = 5;
    opened.process(0, 64);
    EXPECT_EQ(f.s1 + f.s2 + f.s3 + f.s4 + f.s5 + f.fb, 0.0f);
    EXPECT_EQ(f.overloadCounter, 0);
    EXPECT_TRUE(f.resetPending);
    EXPECT_EQ(f.lastPoles, 9);
    const int32_t changes = opened.host.count(HostOpcodeSubProcessChanged);
    opened.status(signalPin, PinStatusStreaming);
    EXPECT_EQ(f.hostRecord()->subProcess, vexa::selectKernel(9).kernel);
    EXPECT_EQ(opened.host.count(HostOpcodeSubProcessChanged), changes + 1);
    EXPECT_TRUE(f.resetPending);
}

TEST(LadderFilterSilence, CountdownStaysInRangeThroughLongSilence) {
    OpenedFilter opened(0);
    LadderFilter& f = opened.filter;
    opened.status(signalPin, PinStatusStatic);
    f.silenceCountdown = std::numeric_limits<int32_t>::min() + 10;
    opened.process(0, 4096);
    EXPECT_EQ(f.silenceCountdown, std::numeric_limits<int32_t>::min());
    EXPECT_EQ(opened.host.count(HostOpcodeRequestSleep), 1);
}

TEST(LadderFilterKernels, StatesBeyondTheChainAreNeverTouched) {
    for (int16_t poles = 0; poles < 30; ++poles) {
        OpenedFilter opened(poles);
        LadderFilter& f = opened.filter;
        opened.status(signalPin, PinStatusStreaming);
        std::fill(opened.signal.begin(), opened.signal.end(), 0.7f);
        std::fill(opened.pitch.begin(), opened.pitch.end(), 0.5f);
        std::fill(opened.resonance.begin(), opened.resonance.end(), 0.5f);
        float* states[] = {&f.s1, &f.s2, &f.s3, &f.s4, &f.s5};
        const std::size_t used = vexa::poleConfigs[static_cast<std::size_t>(poles)].poleCount();
        for (std::size_t i = used; i < 5; ++i) *states[i] = 0.125f * static_cast<float>(i + 1);
        opened.process(0, 256);
        for (std::size_t i = 0; i < 5; ++i) {
            if (i < used) {
                EXPECT_NE(*states[i], 0.0f) << poles << " s" << i + 1;
            } else {
                EXPECT_EQ(*states[i], 0.125f * static_cast<float>(i + 1)) << poles << " s" << i + 1;
            }
        }
    }
}

TEST(LadderFilterStatus, TooFewPinsSkipTheReportAndTheSwitch) {
    FakeHost host;
    host.pinCount = 6;
    LadderFilter filter(&FakeHost::callback, &host);
    filter.open();
    const SubProcess installed = filter.hostRecord()->subProcess;
    HostEvent event{};
    event.pinIndex = 0;
    event.status = PinStatusStatic;
    filter.onEvent(&event);
    EXPECT_EQ(host.count(HostOpcodeSetPinStatus), 0);
    EXPECT_EQ(filter.hostRecord()->subProcess, installed);
}

}  // namespace
}  // namespace vexatest
