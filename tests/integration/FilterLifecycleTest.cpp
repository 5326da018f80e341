// Status changes, kernel switching and the silence routine, driven as a host does.
#include <vector>

#include <gtest/gtest.h>

#include "integration/ModuleUnderTest.h"

namespace vexatest {
namespace {

using vexahost::HostInstance;

SubProcess kernelOf(int16_t poles) {
    FilterSetup setup;
    setup.poles = poles;
    return makeFilter(setup)->currentSubProcess();
}

TEST(KernelChoice, OpenInstallsTheKernelOfPolesWhateverTheSignalStatus) {
    HostInstance host(ModuleUnderTest::entries());
    host.setListValue(polesPin, 5);
    host.open();
    EXPECT_EQ(host.currentSubProcess(), kernelOf(5));
    EXPECT_EQ(host.subProcessChanges, 1);
    EXPECT_TRUE(host.statusReports.empty());
}

TEST(KernelChoice, EveryPolesValueHasItsOwnKernelAndOutsideValuesFallBack) {
    std::vector<SubProcess> kernels;
    for (int16_t poles = 0; poles < ModuleUnderTest::configurationCount(); ++poles) {
        const SubProcess kernel = kernelOf(poles);
        for (const SubProcess other : kernels) EXPECT_NE(kernel, other) << poles;
        kernels.push_back(kernel);
    }
    EXPECT_EQ(kernelOf(ModuleUnderTest::configurationCount()), kernels[0]);
    EXPECT_EQ(kernelOf(-1), kernels[0]);
    EXPECT_EQ(kernelOf(32767), kernels[0]);
}

TEST(KernelChoice, OutsideValuesSoundExactlyLikeTheFirstConfiguration) {
    FilterSetup setup;
    setup.poles = 0;
    auto reference = makeFilter(setup);
    reference->process(0, 512);
    for (const int16_t poles : {ModuleUnderTest::configurationCount(), int16_t{-1}}) {
        setup.poles = poles;
        auto host = makeFilter(setup);
        host->process(0, 512);
        EXPECT_EQ(outputOf(*host, 0, 512), outputOf(*reference, 0, 512)) << poles;
    }
}

TEST(StatusChanges, StaticSignalReportsItAndInstallsSilence) {
    FilterSetup setup;
    auto host = makeFilter(setup);
    host->process(0, 100);
    host->statusReports.clear();
    const int32_t changes = host->subProcessChanges;
    host->sendStatus(signalPin, PinStatusStatic);
    ASSERT_EQ(host->statusReports.size(), 1u);
    EXPECT_EQ(host->statusReports[0].pinIndex, outputPin);
    EXPECT_EQ(host->statusReports[0].status, PinStatusStatic);
    EXPECT_EQ(host->statusReports[0].clock, 100);
    EXPECT_EQ(host->subProcessChanges, changes + 1);
    EXPECT_NE(host->currentSubProcess(), kernelOf(setup.poles));
}

TEST(StatusChanges, ChangedOnceCountsAsNotStreaming) {
    FilterSetup setup;
    auto host = makeFilter(setup);
    host->sendStatus(signalPin, PinStatusChangedOnce);
    EXPECT_EQ(host->statusReports.back().status, PinStatusChangedOnce);
    host->fill(outputPin, 3.0f);
    host->process(0, 64);
    for (const float sample : outputOf(*host, 0, 64)) ASSERT_EQ(sample, 0.0f);
}

TEST(StatusChanges, SleepIsRequestedAfterABlockSizeOfSilence) {
    FilterSetup setup;
    setup.blockSize = 1024;
    auto host = makeFilter(setup);
    host->sendStatus(signalPin, PinStatusStatic);
    for (int call = 1; call <= 6; ++call) {
        host->fill(outputPin, 5.0f);
        host->process(256, 256);
        for (const float sample : outputOf(*host, 256, 256)) ASSERT_EQ(sample, 0.0f);
        EXPECT_EQ(host->buffer(outputPin)[255], 5.0f) << "only the block is written";
        EXPECT_EQ(host->buffer(outputPin)[512], 5.0f);
        EXPECT_EQ(host->sleepRequests, call < 4 ? 0 : call - 3) << "call " << call;
    }
}

TEST(StatusChanges, AnyEventWhileSilentRestartsTheCountdown) {
    FilterSetup setup;
    setup.blockSize = 512;
    auto host = makeFilter(setup);
    host->sendStatus(signalPin, PinStatusStatic);
    host->process(0, 256);
    const int32_t changes = host->subProcessChanges;
    host->sendStatus(pitchPin, PinStatusStreaming);
    EXPECT_EQ(host->subProcessChanges, changes);
    host->process(0, 256);
    EXPECT_EQ(host->sleepRequests, 0);
    host->process(0, 256);
    EXPECT_EQ(host->sleepRequests, 1);
}

TEST(StatusChanges, TypeEventWhileStreamingChangesNothingButTheReport) {
    FilterSetup setup;
    setup.poles = 16;
    auto host = makeFilter(setup);
    auto reference = makeFilter(setup);
    host->process(0, 64);
    reference->process(0, 64);
    host->statusReports.clear();
    const int32_t changes = host->subProcessChanges;
    host->sendStatus(typePin, PinStatusChangedOnce);
    EXPECT_EQ(host->subProcessChanges, changes);
    ASSERT_EQ(host->statusReports.size(), 1u);
    EXPECT_EQ(host->statusReports[0].status, PinStatusStreaming);
    host->process(64, 64);
    reference->process(64, 64);
    EXPECT_EQ(outputOf(*host, 64, 64), outputOf(*reference, 64, 64));
}

TEST(StatusChanges, PolesChangeWhileStreamingSwitchesKernelAndRestarts) {
    FilterSetup setup;
    setup.poles = 5;
    auto host = makeFilter(setup);
    host->process(0, 64);
    host->setListValue(polesPin, 18);
    const int32_t changes = host->subProcessChanges;
    host->sendStatus(polesPin, PinStatusChangedOnce);
    EXPECT_EQ(host->subProcessChanges, changes + 1);
    EXPECT_EQ(host->currentSubProcess(), kernelOf(18));
    host->process(64, 64);
    // First sample after the switch: states cleared, input halved, a fifth of the old feedback.
    setup.poles = 18;
    auto fresh = makeFilter(setup);
    fresh->process(64, 64);
    EXPECT_NEAR(host->buffer(outputPin)[64], fresh->buffer(outputPin)[64], 1e-3f);
    EXPECT_NE(host->buffer(outputPin)[64], fresh->buffer(outputPin)[64]) << "a fifth of the feedback remains";
}

TEST(StatusChanges, ReturningSignalStartsFromTheResetPoint) {
    FilterSetup setup;
    setup.poles = 8;
    auto host = makeFilter(setup);
    auto fresh = makeFilter(setup);
    host->process(0, 300);
    host->sendStatus(signalPin, PinStatusStatic);
    host->process(0, 64);
    host->setListValue(polesPin, 8);
    host->sendStatus(signalPin, PinStatusStreaming);
    host->process(0, 300);
    fresh->process(0, 300);
    EXPECT_EQ(outputOf(*host, 0, 300), outputOf(*fresh, 0, 300));
}

TEST(StatusChanges, PolesChangedWhileSilentCausesNoSecondReset) {
    FilterSetup setup;
    setup.poles = 2;
    auto host = makeFilter(setup);
    host->process(0, 128);
    host->sendStatus(signalPin, PinStatusStatic);
    host->setListValue(polesPin, 20);
    host->sendStatus(polesPin, PinStatusChangedOnce);
    host->process(0, 64);
    host->sendStatus(signalPin, PinStatusStreaming);
    host->process(0, 256);
    setup.poles = 20;
    auto fresh = makeFilter(setup);
    fresh->process(0, 256);
    EXPECT_EQ(outputOf(*host, 0, 256), outputOf(*fresh, 0, 256));
}

TEST(SampleRate, ChangeTakesEffectAtTheNextSilenceOrPolesChange) {
    FilterSetup setup;
    setup.poles = 3;
    setup.pitch = 0.7f;
    auto host = makeFilter(setup);
    auto at44k = makeFilter(setup);
    host->setSampleRate(96000.0f);
    host->process(0, 512);
    at44k->process(0, 512);
    EXPECT_EQ(outputOf(*host, 0, 512), outputOf(*at44k, 0, 512));

    host->sendStatus(signalPin, PinStatusStatic);
    host->process(0, 64);
    host->sendStatus(signalPin, PinStatusStreaming);
    host->process(0, 512);
    setup.sampleRate = 96000.0f;
    auto at96k = makeFilter(setup);
    at96k->process(0, 512);
    EXPECT_EQ(outputOf(*host, 0, 512), outputOf(*at96k, 0, 512));
}

}  // namespace
}  // namespace vexatest
