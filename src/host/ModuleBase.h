// Base class of a module: the embedded host record, the dispatcher and the pins.
#pragma once

#include <cstdint>

#include "host/ModuleInterface.h"
#include "host/Pin.h"

namespace vexa {

/// Base of every module instance. Owns the record the host sees, the pins and
/// the installed block routine, and turns the host's calls into virtual calls.
class ModuleBase {
public:
    ModuleBase(HostCallback callback, void* hostHandle);
    virtual ~ModuleBase();

    ModuleBase(const ModuleBase&) = delete;
    ModuleBase& operator=(const ModuleBase&) = delete;

    // What a module overrides.
    /// A pin's status changed (a type 0 event for a bound pin).
    virtual void onPinStatusChange(Pin* pin);
    /// The Open opcode: builds the pins; a module that overrides it calls it first.
    virtual void open();
    /// Fills `properties` for pin `index`; false when there is no such pin.
    virtual bool getPinProperties(int32_t index, PinProperties* properties);

    /// Turns a host event into a pin status change; other event types mean nothing here.
    void onEvent(const HostEvent* event);
    /// The dispatcher: one opcode from the host with its four arguments.
    intptr_t dispatch(int32_t opcode, intptr_t a, intptr_t b, intptr_t c, intptr_t d);
    void setSampleRate(float rate) { sampleRate = rate; }
    void setBlockSize(int32_t size) { blockSize = size; }
    /// The host's last word (44100 Hz and 1024 samples until it says otherwise).
    float getSampleRate() const { return sampleRate; }
    int32_t getBlockSize() const { return blockSize; }

    /// Calls the host; 0 when there is no host callback.
    intptr_t callHost(int32_t opcode, intptr_t a = 0, intptr_t b = 0, intptr_t c = 0, intptr_t d = 0);

    /// Installs a block routine; tells the host only when it really changes.
    void setSubProcess(SubProcessDescriptor descriptor);

    /// The i-th pin, without a range check.
    Pin* pin(int32_t i) { return &pins[i]; }
    /// Number of pins built at Open (0 before).
    int32_t pinCount() const { return pinsBuilt; }

    HostModuleRecord* hostRecord() { return &record; }
    const SubProcessDescriptor& subProcessDescriptor() const { return currentSubProcess; }

    /// The instance behind a record the host passes in.
    static ModuleBase* fromRecord(HostModuleRecord* hostRecord);
    static ModuleBase* fromObject(void* object) { return static_cast<ModuleBase*>(object); }

    /// Host pin counts above this are treated as a failed allocation.
    static constexpr int32_t maxPinCount = 1 << 16;

private:
    void bindPins();
    void freePins();

    HostCallback hostCallback;
    HostModuleRecord record;
    float sampleRate = 44100.0f;
    int32_t blockSize = 1024;
    Pin* pins = nullptr;
    SubProcessDescriptor currentSubProcess;
    int32_t pinsBuilt = 0;
};

/// A block routine that does nothing.
extern "C" void VEXA_CALL noOpSubProcess(void* object, int32_t start, int32_t count);

}  // namespace vexa
