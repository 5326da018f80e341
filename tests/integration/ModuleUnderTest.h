// The module library under test, and a filter instance opened on it with constant inputs.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "filter/PinLayout.h"
#include "hostlib/HostInstance.h"
#include "hostlib/ModuleLibrary.h"

namespace vexatest {

using enum vexa::FilterPin;

/// The built module every integration test loads, chosen on the command line.
class ModuleUnderTest {
public:
    static void choose(const std::string& path);
    static const std::string& path();
    static const vexahost::ModuleEntryPoints& entries();
    /// How many pole configurations the module has: the length of its Poles
    /// list. Every test that walks the configurations counts to this.
    static int16_t configurationCount();
    /// A configuration's label in the module's Poles list: "2:4f", "4-1:5".
    static std::string configurationName(int16_t poles);
    /// The Poles values that filters opened by makeFilter() have used since the last clear.
    static const std::set<int16_t>& configurationsOpened();
    static void clearConfigurationsOpened();
};

/// A host instance of the filter with seven pins, opened at the given rate,
/// Signal streaming, and every input at a constant value.
struct FilterSetup {
    float sampleRate = 44100.0f;
    int16_t poles = 0;
    int16_t type = 0;
    float signal = 1.0f;
    float pitch = 0.5f;
    float resonance = 0.5f;
    float zing = 0.1f;
    int32_t blockSize = 64;
};


/// What a configuration's label "a:b" says of it: f marks the light variants
/// (only the first pole saturates); "a-c:b" takes its output as a difference of
/// two poles; a above b closes the loop before the output pole.
inline bool isLight(int16_t poles) { return ModuleUnderTest::configurationName(poles).back() == 'f'; }
inline bool hasDifferenceTap(int16_t poles) {
    return ModuleUnderTest::configurationName(poles).find('-') != std::string::npos;
}
inline bool loopClosesBeforeOutput(int16_t poles) {
    const std::string name = ModuleUnderTest::configurationName(poles);
    return !hasDifferenceTap(poles) && name[0] > name[name.find(':') + 1];
}

std::unique_ptr<vexahost::HostInstance> makeFilter(const FilterSetup& setup, int32_t bufferCapacity = 8192);

/// A copy of the output buffer's samples from `start` on.
inline std::vector<float> outputOf(vexahost::HostInstance& host, int32_t start, int32_t count) {
    const float* out = host.buffer(outputPin) + start;
    return {out, out + count};
}

}  // namespace vexatest
