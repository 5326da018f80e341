// The plug-ins' engine with several channels: each its own filter, all under one set of controls.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "FilterEngine.h"

namespace {

using vexaplugin::Control;
using vexaplugin::FilterEngine;

// Two channels must sound as two mono engines given the same parameter
// changes between blocks (Poles, Type, a ramped Pitch), a missing signal and a
// discarded output included: no state leaks from one channel into the other.
TEST(FilterEngine, ChannelsSoundAsSeparateEnginesUnderTheSameControls) {
    constexpr uint32_t block = 64;
    constexpr int blocks = 24;
    FilterEngine pair(2);
    FilterEngine left;
    FilterEngine right;
    ASSERT_EQ(pair.channelCount(), 2u);
    for (FilterEngine* engine : {&pair, &left, &right}) {
        engine->setControl(Control::resonance, 8.0f);
        engine->prepare(48000.0, block);
    }
    std::vector<float> inLeft(block), inRight(block), outPair[2], outLeft(block), outRight(block);
    for (auto& out : outPair) out.assign(block, 0.0f);
    for (int b = 0; b < blocks; ++b) {
        for (uint32_t i = 0; i < block; ++i) {
            const float t = static_cast<float>(b * block + i);
            inLeft[i] = 0.5f * std::sin(0.031f * t);
            inRight[i] = (i % 16 < 8 ? 0.3f : -0.3f);
        }
        for (FilterEngine* engine : {&pair, &left, &right}) {
            if (b == 6) engine->setPolesPosition(18.0f);
            if (b == 12) engine->setTypePosition(1.0f);
            if (b == 15) engine->setControl(Control::pitch, 7.5f);
        }
        const bool rightSilent = b == 9;
        const float* pairIn[2] = {inLeft.data(), rightSilent ? nullptr : inRight.data()};
        float* pairOut[2] = {outPair[0].data(), outPair[1].data()};
        pair.process(pairIn, pairOut, block);
        const float* leftIn[1] = {inLeft.data()};
        float* leftOut[1] = {b == 20 ? nullptr : outLeft.data()};
        left.process(leftIn, leftOut, block);
        const float* rightIn[1] = {rightSilent ? nullptr : inRight.data()};
        float* rightOut[1] = {outRight.data()};
        right.process(rightIn, rightOut, block);
        if (b != 20) {
            EXPECT_EQ(outPair[0], outLeft) << "block " << b;
        }
        EXPECT_EQ(outPair[1], outRight) << "block " << b;
        EXPECT_NE(outPair[0], outPair[1]) << "block " << b;
    }
}

}  // namespace
