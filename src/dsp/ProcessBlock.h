// The block routine and output gain of a Poles value.
#pragma once

#include "host/ModuleInterface.h"

namespace vexa {

struct KernelChoice {
    SubProcess kernel;
    float outGain;
};

/// The block routine and output gain for a Poles value; values outside the
/// table fall back to the first configuration.
KernelChoice selectKernel(int32_t poles);

}  // namespace vexa
