// One module instance driven the way a host drives it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/ModuleInterface.h"
#include "hostlib/ModuleLibrary.h"

namespace vexahost {

/// What the host learned about one pin from the module's description.
struct PinInfo {
    void* variable = nullptr;
    int32_t direction = 0;
    int32_t dataType = 0;
    std::string name;
    std::string defaultText;  ///< empty when the module gives none
    std::string extraText;
    bool hasDefault = false;
    bool hasExtra = false;
    int32_t flags = 0;
};

/// A SetPinStatus the module sent.
struct StatusReport {
    int32_t pinIndex;
    int32_t status;
    intptr_t clock;
};

/// One module instance driven the way a host drives it: the host owns the pin
/// buffers and list values, answers the module's callback and records what the
/// module told it.
class HostInstance {
public:
    struct Options {
        /// Pins the host creates; negative means one per described pin.
        int32_t pinCount = -1;
        /// Samples per pin buffer.
        int32_t bufferCapacity = 8192;
        /// Give the module no callback at all.
        bool withoutCallback = false;
        /// Set the list pins to their default values before Open.
        bool applyDefaults = true;
        /// Keep every SetPinStatus in statusReports. Recording allocates, so a
        /// host that runs blocks on a real-time thread turns it off.
        bool keepStatusReports = true;
    };

    HostInstance(const ModuleEntryPoints& entries, Options options);
    explicit HostInstance(const ModuleEntryPoints& entries) : HostInstance(entries, Options{}) {}
    ~HostInstance();

    HostInstance(const HostInstance&) = delete;
    HostInstance& operator=(const HostInstance&) = delete;

    HostModuleRecord* record() const { return moduleRecord; }

    intptr_t dispatch(int32_t opcode, intptr_t a = 0, intptr_t b = 0, intptr_t c = 0, intptr_t d = 0);
    void open();
    /// Sends Close; the record is gone afterwards.
    void close();
    void setSampleRate(float rate);
    void setBlockSize(int32_t size);

    /// Pins the module described (in description order).
    const std::vector<PinInfo>& describedPins() const { return descriptions; }
    /// Index of the described pin with this name; throws ModuleError.
    int32_t pinIndex(const std::string& name) const;
    int32_t hostPinCount() const { return static_cast<int32_t>(pinBuffers.size()); }

    /// Sample buffer the host owns for pin `index`.
    float* buffer(int32_t index) { return pinBuffers.at(static_cast<std::size_t>(index)).data(); }
    void fill(int32_t index, float value);
    /// Writes a list pin's selected value into the module's variable.
    void setListValue(int32_t index, int16_t value);
    /// Delivers a pin status change as a type 0 event.
    void sendStatus(int32_t index, int32_t status);
    void sendEvent(const HostEvent& event);

    /// Calls the installed block routine; advances the sample clock.
    void process(int32_t start, int32_t count);
    /// Processes `total` samples from position 0 in blocks of `blockSize`.
    void processInBlocks(int32_t total, int32_t blockSize);

    SubProcess currentSubProcess() const { return moduleRecord->subProcess; }

    // What the module sent.
    std::vector<StatusReport> statusReports;
    int32_t sleepRequests = 0;
    int32_t subProcessChanges = 0;
    int32_t pinBufferRequests = 0;
    int64_t sampleClock = 0;

private:
    static intptr_t VEXA_CALL callback(HostModuleRecord* record, int32_t opcode, intptr_t a, intptr_t b,
                                       intptr_t c, intptr_t d);
    intptr_t answer(int32_t opcode, intptr_t a, intptr_t b, intptr_t c);
    void describePins();
    void bindVariables();

    Options options;
    HostModuleRecord* moduleRecord = nullptr;
    std::vector<PinInfo> descriptions;
    std::vector<std::vector<float>> pinBuffers;
};

/// The module's identity as getModuleProperties reports it.
struct ModuleIdentity {
    int32_t result = 0;
    int32_t interfaceVersion = 0;
    std::string id;
    std::string name;
    std::string about;
};
ModuleIdentity readIdentity(const ModuleEntryPoints& entries, int32_t index = 0);

/// Float bits as the dispatcher's d argument carries them.
intptr_t floatArgument(float value);

}  // namespace vexahost
