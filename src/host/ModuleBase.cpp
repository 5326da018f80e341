// The module's side of the host record: dispatcher, host callback, routine installation.
#include "host/ModuleBase.h"

#include <cstring>
#include <new>

namespace vexa {

namespace {

SubProcessInfo subProcessInfo;  // one for the library, rewritten on every request

extern "C" intptr_t VEXA_CALL dispatchEntry(HostModuleRecord* record, int32_t opcode, intptr_t a, intptr_t b,
                                            intptr_t c, intptr_t d) {
    return ModuleBase::fromRecord(record)->dispatch(opcode, a, b, c, d);
}

extern "C" void VEXA_CALL eventEntry(void* object, const HostEvent* event) {
    ModuleBase::fromObject(object)->onEvent(event);
}

SubProcessDescriptor noOpDescriptor() {
    SubProcessDescriptor descriptor{};
    descriptor.entry = noOpSubProcess;
    return descriptor;
}

constexpr int32_t pinStatusEvent = 0;

}  // namespace

extern "C" void VEXA_CALL noOpSubProcess(void*, int32_t, int32_t) {}

ModuleBase::ModuleBase(HostCallback callback, void* hostHandle)
    : hostCallback(callback), currentSubProcess(noOpDescriptor()) {
    std::memset(&record, 0, sizeof record);
    record.magic = HostModuleRecordMagic;
    record.version = HostModuleRecordVersion;
    record.hostHandle = hostHandle;
    record.object = this;
    record.dispatch = dispatchEntry;
    record.subProcess = noOpSubProcess;
    record.eventEntry = eventEntry;
}

ModuleBase::~ModuleBase() { freePins(); }

ModuleBase* ModuleBase::fromRecord(HostModuleRecord* hostRecord) { return fromObject(hostRecord->object); }

void ModuleBase::onPinStatusChange(Pin*) {}

void ModuleBase::onEvent(const HostEvent* event) {
    if (event->eventType != pinStatusEvent) return;
    // Events before Open, for an index outside the pins the host created, or for a
    // pin no description was bound to, are ignored.
    if (event->pinIndex < 0 || event->pinIndex >= pinsBuilt) return;
    Pin& target = pins[event->pinIndex];
    if (target.owner != nullptr) target.setStatus(event->status);
}

intptr_t ModuleBase::dispatch(int32_t opcode, intptr_t a, intptr_t b, intptr_t c, intptr_t d) {
    switch (opcode) {
    case ModuleOpcodeOpen:
        open();
        return 0;
    case ModuleOpcodeClose:
        delete this;
        return 1;
    case ModuleOpcodeSetSampleRate: {
        const auto bits = static_cast<uint32_t>(d);
        float rate;
        std::memcpy(&rate, &bits, sizeof rate);
        setSampleRate(rate);
        return 0;
    }
    case ModuleOpcodeSetBlockSize:
        setBlockSize(static_cast<int32_t>(b));
        return 0;
    case ModuleOpcodeGetPinProperties: {
        auto* properties = reinterpret_cast<PinProperties*>(c);
        if (properties == nullptr) return 0;
        return getPinProperties(static_cast<int32_t>(a), properties) ? 1 : 0;
    }
    case ModuleOpcodeGetSubProcessInfo:
        subProcessInfo.one = 1;
        subProcessInfo.descriptorSize = sizeof(SubProcessDescriptor);
        subProcessInfo.current = &currentSubProcess;
        subProcessInfo.zero = 0;
        return reinterpret_cast<intptr_t>(&subProcessInfo);
    default:
        return 0;
    }
}

void ModuleBase::open() { bindPins(); }
bool ModuleBase::getPinProperties(int32_t, PinProperties*) { return false; }

intptr_t ModuleBase::callHost(int32_t opcode, intptr_t a, intptr_t b, intptr_t c, intptr_t d) {
    if (hostCallback == nullptr) return 0;
    return hostCallback(&record, opcode, a, b, c, d);
}

void ModuleBase::setSubProcess(SubProcessDescriptor descriptor) {
    const bool sameEntry = descriptor.entry == currentSubProcess.entry;
    const bool sameWords = std::memcmp(descriptor.words, currentSubProcess.words, sizeof descriptor.words) == 0;
    if (sameEntry && (descriptor.entry == nullptr || sameWords)) return;
    currentSubProcess = descriptor;
    record.subProcess = descriptor.entry;
    callHost(HostOpcodeSubProcessChanged);
}

void ModuleBase::freePins() {
    delete[] pins;
    pins = nullptr;
    pinsBuilt = 0;
}

void ModuleBase::bindPins() {
    freePins();  // a second Open rebuilds the pins
    const intptr_t hostPins = callHost(HostOpcodeGetPinCount);
    if (hostPins <= 0 || hostPins > maxPinCount) return;
    const auto count = static_cast<int32_t>(hostPins);
    pins = new (std::nothrow) Pin[count];
    if (pins == nullptr) return;
    pinsBuilt = count;

    const auto bindable = [](const PinProperties& p) {
        return (p.flags & PinFlagNoBinding) == 0 || (p.flags & PinFlagBindOverride) != 0;
    };
    PinProperties description{};
    int32_t next = 0;
    int32_t described = 0;
    if (getPinProperties(0, &description)) {
        while (next < count) {
            if (bindable(description)) {
                pins[next].bind(this, next, description.dataType, description.variable);
                ++next;
            }
            ++described;
            description = PinProperties{};
            if (!getPinProperties(described, &description)) break;
        }
    }
    description = PinProperties{};
    if (getPinProperties(described - 1, &description) && bindable(description) &&
        (description.flags & PinFlagRepeatLast) != 0) {
        for (; next < count; ++next) pins[next].bind(this, next, description.dataType, nullptr);
    }
}

}  // namespace vexa
