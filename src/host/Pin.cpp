// Binding a pin to the host's buffer or the module's variable, and its status reports.
#include "host/Pin.h"

#include "host/ModuleBase.h"

namespace vexa {

namespace {

/// Data types whose value a pin without a module variable keeps in `storage`.
bool keepsValueInStorage(int32_t type) {
    constexpr int32_t byteType = 4;
    constexpr int32_t wordType = 6;
    constexpr int32_t otherWordType = 8;
    return type == PinDataTypeList || type == byteType || type == wordType || type == otherWordType;
}

}  // namespace

void Pin::bind(ModuleBase* pinOwner, int32_t index, int32_t type, void* moduleVariable) {
    owner = pinOwner;
    pinIndex = index;
    dataType = type;
    variable = moduleVariable;
    status = PinStatusStatic;
    storage = 0;
    if (variable != nullptr) return;
    if (keepsValueInStorage(type)) {
        variable = &storage;
    } else if (type == PinDataTypeAudio) {
        storage = owner->callHost(HostOpcodeGetPinBuffer, pinIndex);
        variable = &storage;
    }
}

void Pin::setStatus(int32_t newStatus) {
    status = newStatus;
    owner->onPinStatusChange(this);
    if (newStatus == PinStatusChangedOnce) status = PinStatusStatic;
}

void Pin::sendStatus(int32_t newStatus, intptr_t clock) {
    owner->callHost(HostOpcodeSetPinStatus, pinIndex, newStatus, clock);
}

}  // namespace vexa
