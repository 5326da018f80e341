// The module library the integration tests load, and filters opened on it.
#include "integration/ModuleUnderTest.h"

#include "hostlib/FilterChannel.h"

namespace vexatest {

namespace {

std::string& chosenPath() {
    static std::string path;
    return path;
}

std::set<int16_t>& opened() {
    static std::set<int16_t> values;
    return values;
}

}  // namespace

void ModuleUnderTest::choose(const std::string& modulePath) { chosenPath() = modulePath; }

const std::string& ModuleUnderTest::path() { return chosenPath(); }

const vexahost::ModuleEntryPoints& ModuleUnderTest::entries() {
    static const vexahost::ModuleLibrary library(chosenPath());
    return library.entryPoints();
}

namespace {

const vexahost::ListChoices& poleChoices() {
    static const vexahost::ListChoices choices = vexahost::FilterPins::describe(ModuleUnderTest::entries()).poleChoices;
    return choices;
}

}  // namespace

int16_t ModuleUnderTest::configurationCount() { return static_cast<int16_t>(poleChoices().entries().size()); }

std::string ModuleUnderTest::configurationName(int16_t poles) { return poleChoices().byValue(poles).label; }

const std::set<int16_t>& ModuleUnderTest::configurationsOpened() { return opened(); }

void ModuleUnderTest::clearConfigurationsOpened() { opened().clear(); }

std::unique_ptr<vexahost::HostInstance> makeFilter(const FilterSetup& setup, int32_t bufferCapacity) {
    vexahost::HostInstance::Options options;
    options.bufferCapacity = bufferCapacity;
    auto host = std::make_unique<vexahost::HostInstance>(ModuleUnderTest::entries(), options);
    host->setSampleRate(setup.sampleRate);
    host->setBlockSize(setup.blockSize);
    host->setListValue(polesPin, setup.poles);
    opened().insert(setup.poles);
    host->setListValue(typePin, setup.type);
    host->fill(signalPin, setup.signal);
    host->fill(pitchPin, setup.pitch);
    host->fill(resonancePin, setup.resonance);
    host->fill(zingPin, setup.zing);
    host->open();
    host->sendStatus(signalPin, PinStatusStreaming);
    return host;
}

}  // namespace vexatest
