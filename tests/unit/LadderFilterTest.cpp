// The filter module's lifecycle as seen in its fields.
#include <algorithm>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "unit/FakeHost.h"
#include "filter/LadderFilter.h"
#include "dsp/PoleConfigs.h"

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
    EXPECT_EQ(f.hostRecord()->subProcess, vexa::selectKernel(5));
    EXPECT_TRUE(f.state.resetPending);
    EXPECT_EQ(f.state.overloadCounter, 0);
    EXPECT_EQ(f.lastPoles, 5);
    EXPECT_EQ(f.state.freqScale, 2.0f / 44100.0f);
    EXPECT_EQ(f.state.s[0] + f.state.s[1] + f.state.s[2] + f.state.s[3] + f.state.s[4] + f.state.fb, 0.0f);
    EXPECT_EQ(f.state.lastPitch, 200.0f);
    EXPECT_EQ(f.state.lastResonance, 0.3f);
    EXPECT_EQ(f.state.coefficients.q[0], 0.5f);
    EXPECT_EQ(f.state.coefficients.resFeedback, 0.3f);
    EXPECT_EQ(opened.host.count(HostOpcodeSetPinStatus), 0);
    EXPECT_EQ(opened.host.count(HostOpcodeSubProcessChanged), 1);
}

TEST(LadderFilterOpen, OutOfRangePolesFallBackToTheFirstConfiguration) {
    for (const int16_t poles : {static_cast<int16_t>(vexa::poleConfigCount), int16_t{-1}}) {
        OpenedFilter opened(poles);
        EXPECT_EQ(opened.filter.hostRecord()->subProcess, vexa::selectKernel(0));
        EXPECT_EQ(opened.filter.lastPoles, poles);
    }
}

TEST(LadderFilterStatus, PolesChangeWhileStreamingResetsAndKeepsAFifthOfTheFeedback) {
    OpenedFilter opened(5);
    LadderFilter& f = opened.filter;
    opened.status(signalPin, PinStatusStreaming);
    f.state.s = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f};
    f.state.fb = 0.5f;
    f.state.resetPending = false;
    f.state.overloadCounter = 77;
    f.setSampleRate(48000.0f);
    const int32_t changesBefore = opened.host.count(HostOpcodeSubProcessChanged);
    f.poles = 18;
    opened.status(polesPin, PinStatusChangedOnce);
    EXPECT_EQ(f.hostRecord()->subProcess, vexa::selectKernel(18));
    EXPECT_EQ(f.state.s[0] + f.state.s[1] + f.state.s[2] + f.state.s[3] + f.state.s[4], 0.0f);
    EXPECT_FLOAT_EQ(f.state.fb, 0.1f);
    EXPECT_TRUE(f.state.resetPending);
    EXPECT_EQ(f.lastPoles, 18);
    EXPECT_EQ(f.state.freqScale, 2.0f / 48000.0f);
    EXPECT_EQ(f.state.overloadCounter, 77);
    EXPECT_EQ(opened.host.count(HostOpcodeSubProcessChanged), changesBefore + 1);
}

TEST(LadderFilterStatus, SampleRateIsTakenOnlyAtPolesChangeOrSilence) {
    OpenedFilter opened(3);
    LadderFilter& f = opened.filter;
    opened.status(signalPin, PinStatusStreaming);
    f.setSampleRate(96000.0f);
    opened.status(typePin, PinStatusChangedOnce);
    opened.process(0, 64);
    EXPECT_EQ(f.state.freqScale, 2.0f / 44100.0f);
    opened.status(signalPin, PinStatusStatic);
    opened.process(0, 64);
    EXPECT_EQ(f.state.freqScale, 2.0f / 96000.0f);
}

TEST(LadderFilterStatus, UnusableSampleRatesKeepTheLastGoodOne) {
    OpenedFilter opened(3, 0.0f);
    LadderFilter& f = opened.filter;
    EXPECT_EQ(f.state.freqScale, 2.0f / 44100.0f);
    for (const float rate : {-48000.0f, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(),
                             0.0f}) {
        f.setSampleRate(rate);
        opened.status(signalPin, PinStatusStatic);
        opened.process(0, 16);
        EXPECT_EQ(f.state.freqScale, 2.0f / 44100.0f) << rate;
    }
    f.setSampleRate(48000.0f);
    opened.process(0, 16);
    EXPECT_EQ(f.state.freqScale, 2.0f / 48000.0f);
}

TEST(LadderFilterSilence, HoldsTheStateAtItsResetPointAndFollowsPoles) {
    OpenedFilter opened(3);
    LadderFilter& f = opened.filter;
    opened.status(signalPin, PinStatusStreaming);
    std::fill(opened.signal.begin(), opened.signal.end(), 3.0f);
    opened.process(0, 64);
    EXPECT_NE(f.state.s[0], 0.0f);
    opened.status(signalPin, PinStatusStatic);
    f.poles = 9;
    f.state.overloadCounter = 5;
    opened.process(0, 64);
    EXPECT_EQ(f.state.s[0] + f.state.s[1] + f.state.s[2] + f.state.s[3] + f.state.s[4] + f.state.fb, 0.0f);
    EXPECT_EQ(f.state.overloadCounter, 0);
    EXPECT_TRUE(f.state.resetPending);
    EXPECT_EQ(f.lastPoles, 9);
    const int32_t changes = opened.host.count(HostOpcodeSubProcessChanged);
    opened.status(signalPin, PinStatusStreaming);
    EXPECT_EQ(f.hostRecord()->subProcess, vexa::selectKernel(9));
    EXPECT_EQ(opened.host.count(HostOpcodeSubProcessChanged), changes + 1);
    EXPECT_TRUE(f.state.resetPending);
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
