// vexa-host: loads a built module through its two exports, as a host does.
#include <cstdio>
#include <exception>
#include <string>

#include <CLI/CLI.hpp>

#include "vexa-host/commands/InfoCommand.h"
#include "hostlib/ModuleLibrary.h"
#include "hostlib/Errors.h"
#if defined(VEXA_HAS_AUDIO_TOOLS)
#include "vexa-host/commands/RenderCommand.h"
#include "vexa-host/commands/ResponseCommand.h"
#endif

namespace {

/// Exit codes: 1 when a file cannot be read or written or the work fails, 2 when
/// the arguments make no sense.
constexpr int exitFailure = 1;
constexpr int exitBadArguments = 2;

/// "vexa-host render" for messages about one command.
std::string commandName(const CLI::App& app) {
    std::string name = "vexa-host";
    for (const CLI::App* command : app.get_subcommands()) name += " " + command->get_name();
    return name;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"vexa-host: a stand-in host for the Vexa LP Filter 2 module"};
    app.require_subcommand(1);
    const std::string defaultModule = vexahost::ModuleLibrary::defaultModulePath(argv[0]);

    std::string infoModule = defaultModule;
    CLI::App* info = app.add_subcommand("info", "Print the module's properties, about text and pins");
    info->add_option("module", infoModule, "Module library to load (default: the build next to this program)");

#if defined(VEXA_HAS_AUDIO_TOOLS)
    vexahost::RenderRequest renderRequest;
    renderRequest.modulePath = defaultModule;
    CLI::App* render = vexahost::addRenderCommand(app, renderRequest);
    vexahost::ResponseRequest responseRequest;
    responseRequest.modulePath = defaultModule;
    CLI::App* response = vexahost::addResponseCommand(app, responseRequest);
#endif

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) return app.exit(error);
        std::fprintf(stderr, "%s: %s (see --help)\n", commandName(app).c_str(), error.what());
        return exitBadArguments;
    }

    std::string module = infoModule;
    try {
        if (info->parsed()) return vexahost::printModuleInfo(infoModule);
#if defined(VEXA_HAS_AUDIO_TOOLS)
        module = renderRequest.modulePath;
        if (render->parsed()) return vexahost::runRenderCommand(renderRequest);
        module = responseRequest.modulePath;
        if (response->parsed()) return vexahost::runResponseCommand(responseRequest);
#endif
    } catch (const vexahost::UsageError& error) {
        std::fprintf(stderr, "%s: %s\n", commandName(app).c_str(), error.what());
        return exitBadArguments;
    } catch (const vexahost::FileError& error) {
        std::fprintf(stderr, "%s: %s\n", commandName(app).c_str(), error.what());
        return exitFailure;
    } catch (const vexahost::ModuleError& error) {
        std::fprintf(stderr, "%s: module %s: %s\n", commandName(app).c_str(), module.c_str(), error.what());
        return exitFailure;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", commandName(app).c_str(), error.what());
        return exitFailure;
    }
    return 0;
}
