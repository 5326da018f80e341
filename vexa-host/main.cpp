// vexa-host: loads a built module through its two exports, as a host does.
#include <cstdio>
#include <exception>
#include <string>

#include <CLI/CLI.hpp>

#include "HostInstance.h"
#include "ModuleLibrary.h"

namespace {

const char* directionName(int32_t direction) { return direction == PinDirectionOut ? "out" : "in"; }

const char* dataTypeName(int32_t dataType) {
    switch (dataType) {
    case PinDataTypeAudio: return "audio";
    case PinDataTypeList: return "list";
    default: return "other";
    }
}

int printInfo(const std::string& modulePath) {
    const vexahost::ModuleLibrary library(modulePath);
    const vexahost::ModuleIdentity identity = vexahost::readIdentity(library.entryPoints());
    if (identity.result != 1) throw std::runtime_error(modulePath + ": the library reports no module at index 0");
    std::printf("Module:            %s\n", library.path().c_str());
    std::printf("Id:                %s\n", identity.id.c_str());
    std::printf("Name:              %s\n", identity.name.c_str());
    std::printf("Interface version: %d\n\n", identity.interfaceVersion);
    std::printf("About:\n%s\n\n", identity.about.c_str());

    vexahost::HostInstance instance(library.entryPoints());
    std::printf("Pins:\n");
    std::printf("  %-2s %-10s %-4s %-6s %-8s %s\n", "#", "name", "dir", "type", "default", "range / list");
    const auto& pins = instance.describedPins();
    for (std::size_t i = 0; i < pins.size(); ++i) {
        const vexahost::PinInfo& pin = pins[i];
        std::printf("  %-2zu %-10s %-4s %-6s %-8s %s\n", i, pin.name.c_str(), directionName(pin.direction),
                    dataTypeName(pin.dataType), pin.hasDefault ? pin.defaultText.c_str() : "-",
                    pin.hasExtra ? pin.extraText.c_str() : "-");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"vexa-host: a stand-in host for the Vexa LP Filter 2 module"};
    app.require_subcommand(1);
    std::string modulePath = vexahost::ModuleLibrary::defaultModulePath(argv[0]);

    CLI::App* info = app.add_subcommand("info", "Print the module's properties, about text and pins");
    info->add_option("module", modulePath, "Module library to load (default: the build next to this program)");

    CLI11_PARSE(app, argc, argv);
    try {
        if (info->parsed()) return printInfo(modulePath);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vexa-host: %s\n", error.what());
        return 1;
    }
    return 0;
}
