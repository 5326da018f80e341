// One module instance hosted: pins, buffers, the callback's answers, what the module reported.
#include "hostlib/HostInstance.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace vexahost {

namespace {

/// Descriptions beyond this are not asked for: no module has that many pins.
constexpr int32_t maxDescribedPins = 256;

std::string textOf(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

intptr_t floatArgument(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return static_cast<intptr_t>(bits);
}

ModuleIdentity readIdentity(const ModuleEntryPoints& entries, int32_t index) {
    ModuleProperties properties{};
    ModuleIdentity identity;
    identity.result = entries.getModuleProperties(index, &properties);
    identity.interfaceVersion = properties.interfaceVersion;
    identity.id = textOf(properties.id);
    identity.name = textOf(properties.name);
    identity.about = textOf(properties.about);
    return identity;
}

HostInstance::HostInstance(const ModuleEntryPoints& entries, Options instanceOptions) : options(instanceOptions) {
    moduleRecord = entries.makeModule(0, AudioInstanceType, options.withoutCallback ? nullptr : &callback, this);
    if (moduleRecord == nullptr) throw ModuleError("it refused to make an instance");
    if (moduleRecord->magic != HostModuleRecordMagic) throw ModuleError("its instance record has no magic number");
    describePins();
    const std::size_t created =
        options.pinCount < 0 ? descriptions.size() : static_cast<std::size_t>(options.pinCount);
    pinBuffers.assign(created, std::vector<float>(static_cast<std::size_t>(options.bufferCapacity), 0.0f));
    bindVariables();
}

HostInstance::~HostInstance() {
    if (moduleRecord != nullptr) close();
}

void HostInstance::describePins() {
    for (int32_t index = 0; index < maxDescribedPins; ++index) {
        PinProperties properties{};
        if (dispatch(ModuleOpcodeGetPinProperties, index, 0, reinterpret_cast<intptr_t>(&properties)) == 0) break;
        PinInfo info;
        info.variable = properties.variable;
        info.direction = properties.direction;
        info.dataType = properties.dataType;
        info.name = textOf(properties.name);
        info.hasDefault = properties.defaultText != nullptr;
        info.defaultText = textOf(properties.defaultText);
        info.hasExtra = properties.extraText != nullptr;
        info.extraText = textOf(properties.extraText);
        info.flags = properties.flags;
        descriptions.push_back(info);
    }
}

void HostInstance::bindVariables() {
    const std::size_t bound = std::min(descriptions.size(), pinBuffers.size());
    for (std::size_t i = 0; i < bound; ++i) {
        const PinInfo& pin = descriptions[i];
        if (pin.variable == nullptr) continue;
        if (pin.dataType == PinDataTypeAudio) {
            *static_cast<float**>(pin.variable) = pinBuffers[i].data();
        } else if (pin.dataType == PinDataTypeList && options.applyDefaults && pin.hasDefault) {
            *static_cast<int16_t*>(pin.variable) = static_cast<int16_t>(std::stoi(pin.defaultText));
        }
    }
}

int32_t HostInstance::pinIndex(const std::string& name) const {
    for (std::size_t i = 0; i < descriptions.size(); ++i) {
        if (descriptions[i].name == name) return static_cast<int32_t>(i);
    }
    throw ModuleError("it has no pin named " + name);
}

intptr_t HostInstance::dispatch(int32_t opcode, intptr_t a, intptr_t b, intptr_t c, intptr_t d) {
    return moduleRecord->dispatch(moduleRecord, opcode, a, b, c, d);
}

void HostInstance::open() { dispatch(ModuleOpcodeOpen); }

void HostInstance::close() {
    dispatch(ModuleOpcodeClose);
    moduleRecord = nullptr;
}

void HostInstance::setSampleRate(float rate) { dispatch(ModuleOpcodeSetSampleRate, 0, 0, 0, floatArgument(rate)); }

void HostInstance::setBlockSize(int32_t size) { dispatch(ModuleOpcodeSetBlockSize, 0, size); }

void HostInstance::fill(int32_t index, float value) {
    auto& samples = pinBuffers.at(static_cast<std::size_t>(index));
    std::fill(samples.begin(), samples.end(), value);
}

void HostInstance::setListValue(int32_t index, int16_t value) {
    const PinInfo& pin = descriptions.at(static_cast<std::size_t>(index));
    if (pin.dataType != PinDataTypeList || pin.variable == nullptr) {
        throw ModuleError("pin " + pin.name + " is not a list pin");
    }
    *static_cast<int16_t*>(pin.variable) = value;
}

void HostInstance::sendStatus(int32_t index, int32_t status) {
    HostEvent event{};
    event.eventType = 0;
    event.status = status;
    event.pinIndex = index;
    sendEvent(event);
}

void HostInstance::sendEvent(const HostEvent& event) { moduleRecord->eventEntry(moduleRecord->object, &event); }

void HostInstance::process(int32_t start, int32_t count) {
    // A count of zero or less is passed on as it is: the module must cope with it.
    if (start < 0 || start + std::max(count, 0) > options.bufferCapacity) {
        throw std::out_of_range("block outside the host's pin buffers");
    }
    moduleRecord->subProcess(moduleRecord->object, start, count);
    sampleClock += std::max(count, 0);
}

void HostInstance::processInBlocks(int32_t total, int32_t blockSize) {
    for (int32_t start = 0; start < total; start += blockSize) process(start, std::min(blockSize, total - start));
}

intptr_t VEXA_CALL HostInstance::callback(HostModuleRecord* record, int32_t opcode, intptr_t a, intptr_t b,
                                          intptr_t c, intptr_t) {
    return static_cast<HostInstance*>(record->hostHandle)->answer(opcode, a, b, c);
}

intptr_t HostInstance::answer(int32_t opcode, intptr_t a, intptr_t b, intptr_t c) {
    switch (opcode) {
    case HostOpcodeSetPinStatus:
        if (options.keepStatusReports) statusReports.push_back({static_cast<int32_t>(a), static_cast<int32_t>(b), c});
        return 0;
    case HostOpcodeGetPinCount:
        return static_cast<intptr_t>(pinBuffers.size());
    case HostOpcodeGetSampleClock:
        return static_cast<intptr_t>(static_cast<int32_t>(sampleClock));
    case HostOpcodeGetPinBuffer:
        ++pinBufferRequests;
        if (a < 0 || static_cast<std::size_t>(a) >= pinBuffers.size()) return 0;
        return reinterpret_cast<intptr_t>(pinBuffers[static_cast<std::size_t>(a)].data());
    case HostOpcodeRequestSleep:
        ++sleepRequests;
        return 0;
    case HostOpcodeSubProcessChanged:
        ++subProcessChanges;
        return 0;
    default:
        return 0;
    }
}

}  // namespace vexahost
