// `vexa-host response`: its options, stop signals and run.
#include "vexa-host/commands/ResponseCommand.h"

#include <cstdio>

#include "vexa-host/commands/OptionChecks.h"
#include "vexa-host/commands/StopSignals.h"
#include "vexa-host/render/Render.h"

namespace vexahost {

CLI::App* addResponseCommand(CLI::App& parent, ResponseRequest& request) {
    CLI::App* command = parent.add_subcommand(
        "response", "Measure small-signal frequency responses (CSV), or the resonant peak against Pitch (--peaks)");
    CLI::Option* poles = command->add_option(
        "--poles", request.poles, polesOptionHelp)
        ->check(notEmpty);
    command->add_flag("--all", request.allConfigurations, "Every pole configuration, in the module's list order")
        ->excludes(poles);
    command->add_option("--type", request.type, "LP, HP or both (any letter case); default: the pin's default")
        ->check(notEmpty);
    CLI::Option* pitch =
        command->add_option("--pitch", request.pitch,
                            "Cutoff in volts (the peak lies near 440 Hz at 5 V at 44.1 and 48 kHz, lower at higher "
                            "rates); default: the pin's default")
            ->check(notEmpty);
    command->add_option("--resonance", request.resonance,
                        "Resonance in volts; several, comma separated (0,5,10), give one curve each")
        ->check(notEmpty);
    command->add_option("--zing", request.zing, "Zing in volts; default: the pin's default")->check(notEmpty);
    command->add_option("--rate", request.sampleRate, "Sample rate in Hz, 1000 to " + std::to_string(maxSampleRate))
        ->capture_default_str();
    command->add_option("--points", request.points,
                        "Frequencies from 20 Hz to 20 kHz (or 0.95 of the Nyquist frequency), log spaced, 2 to " +
                            std::to_string(maxResponsePoints()))
        ->capture_default_str();
    command->add_option("--block-size", request.blockSize,
                        "Samples per block handed to the module, 1 to " + std::to_string(maxBlockSize))
        ->capture_default_str();
    command->add_flag("--peaks", request.peaks,
                      "Instead of curves: the resonant peak at Pitch 2 V to 10 V and its distance in cents from 440 * 2^(Pitch - 5) Hz")
        ->excludes(pitch);
    command->add_option("-o,--output", request.outputPath, "File to write; - for standard output")
        ->capture_default_str()
        ->check(notEmpty);
    command->add_flag("-f,--force", request.replaceExisting, "Replace an existing output file");
    command->add_option("--module", request.modulePath, "Module library to load")->capture_default_str()->check(notEmpty);
    return command;
}

int runResponseCommand(const ResponseRequest& request) {
    const StopSignalGuard stopSignalsAsked;
    try {
        runResponse(request, &stopRequested);
    } catch (const RenderStopped&) {
        std::fprintf(stderr, "vexa-host response: %s; nothing written\n", stopReason(stoppingSignal.load()));
        return exitBySignalBase + stoppingSignal.load();
    }
    return 0;
}

}  // namespace vexahost
