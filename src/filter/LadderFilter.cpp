// The filter module: its pin descriptions, lifecycle, routine switching and silence routine.
#include "filter/LadderFilter.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

#include "dsp/Kernel.h"
#include "dsp/PoleConfigs.h"
#include "filter/PinDescriptions.h"

namespace vexa {

namespace {

SubProcessDescriptor descriptorOf(SubProcess routine) {
    SubProcessDescriptor descriptor{};
    descriptor.entry = routine;
    return descriptor;
}

/// The block routine of one configuration, as the host calls it; the Type is
/// read per block. The core's block functions are inlined here rather than
/// called through their table (processBlock): in 16-sample blocks that call
/// costs about half a percent.
template <std::size_t Poles>
void VEXA_CALL kernelEntry(void* object, int32_t start, int32_t count) {
    LadderFilter& filter = LadderFilter::fromObject(object);
    if (count <= 0 || !filter.buffersBound()) return;
    const BlockIo io = filter.blockAt(start, count);
    if (filter.type == 0) {
        runBlock<Poles, false>(filter.state, io);
    } else {
        runBlock<Poles, true>(filter.state, io);
    }
}

template <std::size_t... Poles>
constexpr std::array<SubProcess, sizeof...(Poles)> makeKernelTable(std::index_sequence<Poles...>) {
    return {{kernelEntry<Poles>...}};
}

constexpr auto kernelTable = makeKernelTable(std::make_index_sequence<poleConfigCount>{});

}  // namespace

SubProcess selectKernel(int32_t poles) {
    if (poles < 0 || poles >= static_cast<int32_t>(kernelTable.size())) return kernelTable[0];
    return kernelTable[static_cast<std::size_t>(poles)];
}

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

void LadderFilter::open() {
    ModuleBase::open();
    lastPoles = poles;
    updateFreqScale();
    setSubProcess(descriptorOf(selectKernel(poles)));
    state.start();
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
    setSubProcess(descriptorOf(selectKernel(poles)));
    if (poles != lastPoles) {
        state.restart(LadderState::feedbackKeptOnSwitch);
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
    filter.state.restart(0.0f);
    filter.state.overloadCounter = 0;
    filter.lastPoles = filter.poles;
    filter.updateFreqScale();
    if (filter.silenceCountdown <= 0) filter.callHost(HostOpcodeRequestSleep);
}

}  // namespace vexa
