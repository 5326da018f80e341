// The filter as the module describes it, and one instance of it driven block by block.
#include "hostlib/FilterChannel.h"

#include <stdexcept>

namespace vexahost {

namespace {

double defaultVolts(const PinInfo& pin) {
    double volts = 0.0;
    if (!pin.hasDefault || !parseNumber(pin.defaultText, volts)) {
        throw ModuleError("pin " + pin.name + " has no default in volts");
    }
    return volts;
}

ListChoice defaultChoice(const PinInfo& pin, const ListChoices& choices) {
    double value = 0.0;
    if (!pin.hasDefault || !parseNumber(pin.defaultText, value)) {
        throw ModuleError("list pin " + pin.name + " has no default value");
    }
    return choices.byValue(static_cast<int16_t>(value));
}

}  // namespace

FilterPins FilterPins::describe(const ModuleEntryPoints& entries) {
    const HostInstance instance(entries);
    const auto& described = instance.describedPins();
    FilterPins pins;
    pins.signal = instance.pinIndex("Signal");
    pins.pitch = instance.pinIndex("Pitch");
    pins.resonance = instance.pinIndex("Resonance");
    pins.zing = instance.pinIndex("Zing");
    pins.poles = instance.pinIndex("Poles");
    pins.type = instance.pinIndex("Type");
    pins.output = instance.pinIndex("Output");
    const auto& polesPin = described[static_cast<std::size_t>(pins.poles)];
    const auto& typePin = described[static_cast<std::size_t>(pins.type)];
    pins.poleChoices = ListChoices::parse(polesPin.extraText, polesPin.name);
    pins.typeChoices = ListChoices::parse(typePin.extraText, typePin.name);
    pins.polesDefault = defaultChoice(polesPin, pins.poleChoices);
    pins.typeDefault = defaultChoice(typePin, pins.typeChoices);
    pins.pitchDefaultVolts = defaultVolts(described[static_cast<std::size_t>(pins.pitch)]);
    pins.resonanceDefaultVolts = defaultVolts(described[static_cast<std::size_t>(pins.resonance)]);
    pins.zingDefaultVolts = defaultVolts(described[static_cast<std::size_t>(pins.zing)]);
    return pins;
}

FilterChannel::FilterChannel(const ModuleEntryPoints& entries, const FilterPins& filterPins,
                             const FilterSetup& filterSetup)
    : pins(filterPins), setup(filterSetup) {
    HostInstance::Options options;
    options.bufferCapacity = setup.blockSize;
    // Nobody reads the reports of a channel, and blocks may run on a real-time thread.
    options.keepStatusReports = false;
    host = std::make_unique<HostInstance>(entries, options);
    host->setSampleRate(setup.sampleRate);
    host->setBlockSize(setup.blockSize);
    host->setListValue(pins.poles, setup.poles);
    host->setListValue(pins.type, setup.type);
    host->open();
    host->sendStatus(pins.signal, PinStatusStreaming);
    if (setup.pitchStreams) host->sendStatus(pins.pitch, PinStatusStreaming);
    if (setup.resonanceStreams) host->sendStatus(pins.resonance, PinStatusStreaming);
    if (setup.zingStreams) host->sendStatus(pins.zing, PinStatusStreaming);
}

void FilterChannel::selectPoles(int16_t value) {
    host->setListValue(pins.poles, value);
    host->sendStatus(pins.poles, PinStatusChangedOnce);
}

void FilterChannel::selectType(int16_t value) {
    host->setListValue(pins.type, value);
    host->sendStatus(pins.type, PinStatusChangedOnce);
}

}  // namespace vexahost
