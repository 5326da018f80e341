// vexa-host: loads a built module through its two exports, as a host does.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include <CLI/CLI.hpp>

#include "VexaVersion.h"

#include "vexa-host/commands/InfoCommand.h"
#include "vexa-host/commands/OptionChecks.h"
#include "hostlib/ModuleLibrary.h"
#include "hostlib/Errors.h"
#if defined(VEXA_HAS_AUDIO_TOOLS)
#include "vexa-host/commands/RenderCommand.h"
#include "vexa-host/commands/ResponseCommand.h"
#include "vexa-host/audio/AudioFile.h"
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

/// "info, render or response".
std::string commandList(const CLI::App& app) {
    const auto commands = app.get_subcommands([](const CLI::App*) { return true; });
    std::string list;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        if (i > 0) list += i + 1 == commands.size() ? " or " : ", ";
        list += commands[i]->get_name();
    }
    return list;
}

bool isCommand(const CLI::App& app, const std::string& name) {
    for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
        if (command->get_name() == name) return true;
    }
    return false;
}

/// An option the command does not have ("--pole"), with the one it most
/// likely meant; empty when every option is known. Found before parsing,
/// since an unknown option's value would otherwise be taken for a file name.
std::string unknownOptionMessage(const CLI::App& app, int argc, char** argv) {
    if (argc < 2) return {};
    const CLI::App* command = nullptr;
    for (const CLI::App* candidate : app.get_subcommands([](const CLI::App*) { return true; })) {
        if (candidate->get_name() == argv[1]) command = candidate;
    }
    if (command == nullptr) return {};
    for (int i = 2; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--") break;
        if (word.rfind("--", 0) != 0) continue;
        const std::string name = word.substr(2, word.find('=') - 2);
        bool known = name == "help";
        for (const CLI::Option* option : command->get_options()) {
            for (const std::string& longName : option->get_lnames()) known = known || longName == name;
        }
        if (known) continue;
        const std::string meant = vexahost::closestOption(*command, word);
        return "unknown option --" + name + (meant.empty() ? std::string() : "; did you mean " + meant + "?");
    }
    return {};
}

#if defined(VEXA_HAS_AUDIO_TOOLS)
/// A program of a pipeline whose reader has gone ends as if by SIGPIPE, without a word.
constexpr int exitOutputClosed = 128 + SIGPIPE;
#endif

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"vexa-host: a stand-in host for the Vexa LP Filter 2 module"};
    app.require_subcommand(1);
    app.set_version_flag("-v,--version", std::string("vexa-host ") + VEXA_VERSION);
    const std::string defaultModule = vexahost::ModuleLibrary::defaultModulePath(argv[0]);

    std::string infoModule = defaultModule;
    CLI::App* info = app.add_subcommand("info", "Print the module's properties, about text and pins");
    info->add_option("module", infoModule, "Module library to load (default: the build next to this program)")
        ->check(vexahost::notEmpty);

#if defined(VEXA_HAS_AUDIO_TOOLS)
    vexahost::RenderRequest renderRequest;
    renderRequest.modulePath = defaultModule;
    renderRequest.builtInModulePath = defaultModule;
    CLI::App* render = vexahost::addRenderCommand(app, renderRequest);
    vexahost::ResponseRequest responseRequest;
    responseRequest.modulePath = defaultModule;
    CLI::App* response = vexahost::addResponseCommand(app, responseRequest);
#endif

    // A command name that is none of ours, rather than "a subcommand is required".
    if (argc > 1 && argv[1][0] != '-' && !isCommand(app, argv[1])) {
        std::fprintf(stderr, "vexa-host: unknown command '%s' (choose %s; see --help)\n", argv[1],
                     commandList(app).c_str());
        return exitBadArguments;
    }
    if (const std::string unknown = unknownOptionMessage(app, argc, argv); !unknown.empty()) {
        std::fprintf(stderr, "vexa-host %s: %s (see --help)\n", argv[1], unknown.c_str());
        return exitBadArguments;
    }
#if defined(VEXA_HAS_AUDIO_TOOLS) && !defined(_WIN32)
    // A closed pipe on standard output shows as a write error, which the commands handle.
    std::signal(SIGPIPE, SIG_IGN);
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
#if defined(VEXA_HAS_AUDIO_TOOLS)
    } catch (const vexahost::OutputClosed&) {
        return exitOutputClosed;
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
