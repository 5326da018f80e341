// One pin of a module instance: its description, binding and status.
#pragma once

#include <cstdint>

#include "host/ModuleInterface.h"

namespace vexa {

class ModuleBase;

/// One host pin of a module instance: where its value lives and its status.
class Pin {
public:
    virtual ~Pin() = default;

    /// Binds the pin. Without a module variable the pin keeps its value in its
    /// own storage: a list value, or the buffer address the host hands out.
    void bind(ModuleBase* pinOwner, int32_t index, int32_t type, void* moduleVariable);

    /// Delivers a status change of an input to the owner. ChangedOnce lasts
    /// only while the owner handles it.
    void setStatus(int32_t newStatus);

    /// Reports this (output) pin's status to the host, stamped with a sample clock.
    void sendStatus(int32_t newStatus, intptr_t clock);

    void* variable = nullptr;   ///< cell holding the pin's value: a module variable or `storage`
    ModuleBase* owner = nullptr;
    int32_t pinIndex = -1;
    int32_t status = PinStatusStatic;
    int32_t dataType = -1;
    intptr_t storage = 0;       ///< own cell; wide enough for a buffer address on every target
};

}  // namespace vexa
