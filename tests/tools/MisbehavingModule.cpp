// A module library that breaks its side of the interface on purpose: its Poles
// default names no entry of its own list. The tools must blame the module.
#include <cstring>

#include "host/ModuleInterface.h"

namespace {

struct Description {
    const char* name;
    int32_t dataType;
    int32_t direction;
    const char* defaultText;
    const char* extraText;
};

constexpr Description pins[] = {
    {"Signal", PinDataTypeAudio, PinDirectionIn, "0", nullptr},
    {"Pitch", PinDataTypeAudio, PinDirectionIn, "5", nullptr},
    {"Resonance", PinDataTypeAudio, PinDirectionIn, "5", nullptr},
    {"Zing", PinDataTypeAudio, PinDirectionIn, "10", nullptr},
    {"Poles", PinDataTypeList, PinDirectionIn, "7", "2:2 Pole=0, 2:2f Pole=1"},  // 7 is not in the list
    {"Type", PinDataTypeList, PinDirectionIn, "0", "LP=0, HP=1"},
    {"Output", PinDataTypeAudio, PinDirectionOut, nullptr, nullptr},
};
constexpr int32_t pinCount = sizeof pins / sizeof pins[0];

HostModuleRecord record;
float* buffers[pinCount];
int16_t lists[pinCount];

intptr_t VEXA_CALL dispatch(HostModuleRecord*, int32_t opcode, intptr_t a, intptr_t, intptr_t c, intptr_t) {
    if (opcode == ModuleOpcodeClose) return 1;
    if (opcode != ModuleOpcodeGetPinProperties || a < 0 || a >= pinCount || c == 0) return 0;
    auto* properties = reinterpret_cast<PinProperties*>(c);
    const Description& pin = pins[a];
    properties->variable = pin.dataType == PinDataTypeList ? static_cast<void*>(&lists[a]) : &buffers[a];
    properties->direction = pin.direction;
    properties->dataType = pin.dataType;
    properties->name = pin.name;
    properties->defaultText = pin.defaultText;
    properties->extraText = pin.extraText;
    return 1;
}

void VEXA_CALL silence(void*, int32_t, int32_t) {}
void VEXA_CALL ignoreEvent(void*, const HostEvent*) {}

}  // namespace

extern "C" VEXA_EXPORT int32_t VEXA_CALL getModuleProperties(int32_t index, ModuleProperties* properties) {
    properties->interfaceVersion = ModuleInterfaceVersion;
    if (index != 0) return 0;
    properties->id = properties->name = "Misbehaving Module";
    properties->about = "a test fixture";
    return 1;
}

extern "C" VEXA_EXPORT HostModuleRecord* VEXA_CALL makeModule(int32_t, int32_t, HostCallback, void* hostHandle) {
    std::memset(&record, 0, sizeof record);
    record.magic = HostModuleRecordMagic;
    record.version = HostModuleRecordVersion;
    record.hostHandle = hostHandle;
    record.object = &record;
    record.dispatch = dispatch;
    record.subProcess = silence;
    record.eventEntry = ignoreEvent;
    return &record;
}
