// `vexa-host info`: the module's properties, about text and pin table.
#include "vexa-host/commands/InfoCommand.h"

#include <cstdio>
#include <stdexcept>

#include "hostlib/HostInstance.h"
#include "hostlib/ModuleLibrary.h"

namespace vexahost {

namespace {

const char* directionName(int32_t direction) { return direction == PinDirectionOut ? "out" : "in"; }

const char* dataTypeName(int32_t dataType) {
    switch (dataType) {
    case PinDataTypeAudio: return "audio";
    case PinDataTypeList: return "list";
    default: return "other";
    }
}

}  // namespace

int printModuleInfo(const std::string& modulePath) {
    const ModuleLibrary library(modulePath);
    const ModuleIdentity identity = readIdentity(library.entryPoints());
    if (identity.result != 1) throw vexahost::ModuleError("the library reports no module at index 0");
    std::printf("Module:            %s\n", library.path().c_str());
    std::printf("Id:                %s\n", identity.id.c_str());
    std::printf("Name:              %s\n", identity.name.c_str());
    std::printf("Interface version: %d\n\n", identity.interfaceVersion);
    std::printf("About:\n%s\n\n", identity.about.c_str());

    HostInstance instance(library.entryPoints());
    std::printf("Pins:\n");
    std::printf("  %-2s %-10s %-4s %-6s %-8s %s\n", "#", "name", "dir", "type", "default", "range / list");
    const auto& pins = instance.describedPins();
    for (std::size_t i = 0; i < pins.size(); ++i) {
        const PinInfo& pin = pins[i];
        std::printf("  %-2zu %-10s %-4s %-6s %-8s %s\n", i, pin.name.c_str(), directionName(pin.direction),
                    dataTypeName(pin.dataType), pin.hasDefault ? pin.defaultText.c_str() : "-",
                    pin.hasExtra ? pin.extraText.c_str() : "-");
    }
    return 0;
}

}  // namespace vexahost
