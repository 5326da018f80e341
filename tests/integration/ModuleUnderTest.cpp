// The module library the integration tests load, and filters opened on it.
#include "integration/ModuleUnderTest.h"

namespace vexatest {

namespace {

std::string& chosenPath() {
    static std::string path;
    return path;
}

}  // namespace

void ModuleUnderTest::choose(const std::string& modulePath) { chosenPath() = modulePath; }

const std::string& ModuleUnderTest::path() { return chosenPath(); }

const vexahost::ModuleEntryPoints& ModuleUnderTest::entries() {
    static const vexahost::ModuleLibrary library(chosenPath());
    return library.entryPoints();
}

std::unique_ptr<vexahost::HostInstance> makeFilter(const FilterSetup& setup, int32_t bufferCapacity) {
    vexahost::HostInstance::Options options;
    options.bufferCapacity = bufferCapacity;
    auto host = std::make_unique<vexahost::HostInstance>(ModuleUnderTest::entries(), options);
    host->setSampleRate(setup.sampleRate);
    host->setBlockSize(setup.blockSize);
    host->setListValue(polesPin, setup.poles);
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
