// The filter module: its pin descriptions, lifecycle, routine switching and silence routine.
#include "filter/LadderFilter.h"

#include <algorithm>
#include <array>
#include <limits>

#include "filter/CoefficientUpdate.h"
#include "filter/KernelTable.h"

namespace vexa {

namespace {

const char polesListText[] =
    "2:2 Pole=0, 2:2f Pole=1, 2:3 Pole=2, 2:3f Pole=3, 2:4 Pole=4, 2:4f Pole=5, 2:5 Pole=6, 2:5f Pole = 7, "
    "4-1:5 Pole=18, 4-1:5f Pole=19 , 3:3 Pole=8, 3:3f Pole = 9, 3:4 Pole=10, 3:4f Pole=11, 3:5 Pole= 12, "
    "3:5f Pole = 13, 4:3 Pole= 28, 4:3f Pole= 29, 4:4 Pole= 14, 4:4f Pole= 15, 4:5 Pole=16, 4:5f Pole=17, "
    "5:3 Pole=26, 5:3f Pole=27 ,  2-3:5 Pole= 24, 2-3:5f Pole= 25, 3-2:5 Pole= 22, 3-2:5f Pole= 23 ,5:5 "
    "Pole=20, 5:5f Pole=21";

struct PinDescription {
    const char* name;
    int32_t direction;
    int32_t dataType;
    const char* defaultText;
    const char* extraText;
};

constexpr std::array<PinDescription, filterPinCount> pinDescriptions = {{
    {"Signal", PinDirectionIn, PinDataTypeAudio, "0", nullptr},
    {"Pitch", PinDirectionIn, PinDataTypeAudio, "5", nullptr},
    {"Resonance", PinDirectionIn, PinDataTypeAudio, "5", nullptr},
    {"Zing", PinDirectionIn, PinDataTypeAudio, "10", "5,15,5,15"},
    {"Poles", PinDirectionIn, PinDataTypeList, "5", polesListText},
    {"Type", PinDirectionIn, PinDataTypeList, "0", "LP=0, HP=1"},
    {"Output", PinDirectionOut, PinDataTypeAudio, nullptr, nullptr},
}};

// Values the coefficient update starts from before its first run (design values;
// the first sample after Open always updates, so they are never heard).
constexpr float initialLastPitch = 200.0f;
constexpr float initialLastResonance = 0.3f;
constexpr float initialK = 0.5f;
constexpr float initialResFeedback = 0.3f;
/// Share of the feedback kept across a change of configuration (a design value).
constexpr float feedbackKeptOnSwitch = 0.2f;

SubProcessDescriptor descriptorOf(SubProcess routine) {
    SubProcessDescriptor descriptor{};
    descriptor.entry = routine;
    return descriptor;
}

}  // namespace

LadderFilter::LadderFilter(HostCallback callback, void* hostHandle) : ModuleBase(callback, hostHandle) {}

LadderFilter::~LadderFilter() = default;

bool LadderFilter::getPinProperties(int32_t index, PinProperties* properties) {
    if (index < 0 || index >= filterPinCount) return false;
    const PinDescription& pin = pinDescriptions[static_cast<std::size_t>(index)];
    void* const variables[filterPinCount] = {&signalIn, &pitchIn, &resonanceIn, &zingIn, &poles, &type, &output};
    properties->variable = variables[index];
    properties->direction = pin.direction;
    properties->dataType = pin.dataType;
    properties->name = pin.name;
    if (pin.defaultText != nullptr) properties->defaultText = pin.defaultText;
    if (pin.extraText != nullptr) properties->extraText = pin.extraText;
    return true;
}

void LadderFilter::updateFreqScale() {
    const float rate = getSampleRate();
    if (isFinite(rate) && rate > 0.0f) freqScale = 2.0f / rate;
}

void LadderFilter::resetState(float feedbackKept) {
    s1 = s2 = s3 = s4 = s5 = 0.0f;
    fb = feedbackKept == 0.0f ? 0.0f : fb * feedbackKept;
    resetPending = true;
}

void LadderFilter::open() {
    resetPending = true;
    overloadCounter = 0;
    ModuleBase::open();
    lastPoles = poles;
    updateFreqScale();
    const KernelChoice choice = selectKernel(poles);
    outGain = choice.outGain;
    setSubProcess(descriptorOf(choice.kernel));
    resetState(0.0f);
    lastPitch = initialLastPitch;
    lastResonance = initialLastResonance;
    k = initialK;
    resFeedback = initialResFeedback;
}

void LadderFilter::onPinStatusChange(Pin*) {
    if (pinCount() < filterPinCount) return;  // the host did not give us our pins
    const int32_t signalStatus = pin(signalPin)->status;
    const intptr_t clock = callHost(HostOpcodeGetSampleClock);
    pin(outputPin)->sendStatus(signalStatus, clock);
    if (signalStatus < PinStatusStreaming) {
        silenceCountdown = getBlockSize();
        setSubProcess(descriptorOf(silenceProcess));
        return;
    }
    const KernelChoice choice = selectKernel(poles);
    outGain = choice.outGain;
    setSubProcess(descriptorOf(choice.kernel));
    if (poles != lastPoles) {
        resetState(feedbackKeptOnSwitch);
        lastPoles = poles;
        updateFreqScale();
    }
}

extern "C" void VEXA_CALL silenceProcess(void* object, int32_t start, int32_t count) {
    LadderFilter& filter = LadderFilter::fromObject(object);
    // The countdown keeps falling while silent; hold it inside the integer range.
    const int64_t remaining = static_cast<int64_t>(filter.silenceCountdown) - count;
    filter.silenceCountdown = static_cast<int32_t>(
        std::clamp<int64_t>(remaining, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
    if (filter.output != nullptr) {
        for (int32_t i = 0; i < count; ++i) filter.output[start + i] = 0.0f;
    }
    filter.resetState(0.0f);
    filter.overloadCounter = 0;
    filter.lastPoles = filter.poles;
    filter.updateFreqScale();
    if (filter.silenceCountdown <= 0) filter.callHost(HostOpcodeRequestSleep);
}

}  // namespace vexa
