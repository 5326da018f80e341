// The module base: record, dispatcher, events and routine installation.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "hostlib/HostInstance.h"
#include "unit/FakeHost.h"
#include "host/ModuleBase.h"

namespace vexatest {
namespace {

using vexa::ModuleBase;
using vexa::Pin;

/// A module with a configurable pin list that records what reaches it.
class ProbeModule : public ModuleBase {
public:
    ProbeModule(HostCallback callback, void* handle, int* destroyed = nullptr)
        : ModuleBase(callback, handle), destroyedCounter(destroyed) {}
    ~ProbeModule() override {
        if (destroyedCounter != nullptr) ++*destroyedCounter;
    }

    void onPinStatusChange(Pin* pin) override { seen.push_back({pin->pinIndex, pin->status}); }
    bool getPinProperties(int32_t index, PinProperties* properties) override {
        if (index < 0 || index >= static_cast<int32_t>(descriptions.size())) return false;
        *properties = descriptions[static_cast<std::size_t>(index)];
        return true;
    }

    struct Seen {
        int32_t pinIndex, status;
    };
    std::vector<Seen> seen;
    std::vector<PinProperties> descriptions;
    int* destroyedCounter;
};

intptr_t call(ModuleBase& module, int32_t opcode, intptr_t a = 0, intptr_t b = 0, intptr_t c = 0, intptr_t d = 0) {
    HostModuleRecord* record = module.hostRecord();
    return record->dispatch(record, opcode, a, b, c, d);
}

PinProperties audioPin() {
    PinProperties properties{};
    properties.dataType = PinDataTypeAudio;
    return properties;
}

TEST(ModuleBaseRecord, FreshInstanceCarriesMagicEntriesAndHandleAndCallsNothing) {
    FakeHost host;
    auto* module = new ProbeModule(&FakeHost::callback, &host);
    const HostModuleRecord* record = module->hostRecord();
    const uint8_t magicBytes[] = {0x4C, 0x50, 0x45, 0x53};
    EXPECT_EQ(std::memcmp(record, magicBytes, sizeof magicBytes), 0);
    EXPECT_EQ(record->version, 1);
    EXPECT_EQ(record->hostHandle, &host);
    EXPECT_EQ(record->object, static_cast<ModuleBase*>(module));
    EXPECT_EQ(record->reserved0, 0);
    for (intptr_t word : record->reserved1) EXPECT_EQ(word, 0);
    EXPECT_EQ(record->subProcess, &vexa::noOpSubProcess);
    EXPECT_NE(record->dispatch, nullptr);
    EXPECT_NE(record->eventEntry, nullptr);
    EXPECT_EQ(module->getSampleRate(), 44100.0f);
    EXPECT_EQ(module->getBlockSize(), 1024);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(call(*module, ModuleOpcodeClose), 1);
}

// Opcodes 8 and 12 are the host's to send; a module has nothing to do with them.
TEST(ModuleBaseDispatch, CloseDestroysTheInstanceAndOtherOpcodesDoNothing) {
    FakeHost host;
    int destroyed = 0;
    auto* module = new ProbeModule(&FakeHost::callback, &host, &destroyed);
    for (const int32_t opcode : {4, 5, 7, 8, 9, 10, 11, 12, 14, 15, 100, -1}) {
        EXPECT_EQ(call(*module, opcode, 1, 2, 3, 4), 0) << "opcode " << opcode;
    }
    EXPECT_EQ(module->getSampleRate(), 44100.0f);
    EXPECT_EQ(module->getBlockSize(), 1024);
    EXPECT_EQ(module->hostRecord()->subProcess, &vexa::noOpSubProcess);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(call(*module, ModuleOpcodeClose), 1);
    EXPECT_EQ(destroyed, 1);
}

TEST(ModuleBaseDispatch, SampleRateTravelsInDAndBlockSizeInB) {
    FakeHost host;
    ProbeModule module(&FakeHost::callback, &host);
    EXPECT_EQ(call(module, ModuleOpcodeSetSampleRate, vexahost::floatArgument(96000.0f), vexahost::floatArgument(22050.0f), 0,
                   vexahost::floatArgument(48000.0f)),
              0);
    EXPECT_EQ(module.getSampleRate(), 48000.0f);
    EXPECT_EQ(call(module, ModuleOpcodeSetBlockSize, 7, 256, 9, 11), 0);
    EXPECT_EQ(module.getBlockSize(), 256);
}

TEST(ModuleBaseDispatch, SubProcessInfoIsOneSharedRecordNamingTheAskingInstance) {
    FakeHost host;
    ProbeModule first(&FakeHost::callback, &host);
    ProbeModule second(&FakeHost::callback, &host);
    const auto* info = reinterpret_cast<const SubProcessInfo*>(call(first, ModuleOpcodeGetSubProcessInfo));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->one, 1);
    EXPECT_EQ(info->descriptorSize, static_cast<intptr_t>(sizeof(SubProcessDescriptor)));
    EXPECT_EQ(info->current, &first.subProcessDescriptor());
    EXPECT_EQ(info->current->entry, &vexa::noOpSubProcess);
    EXPECT_EQ(info->zero, 0);
    const auto* again = reinterpret_cast<const SubProcessInfo*>(call(second, ModuleOpcodeGetSubProcessInfo));
    EXPECT_EQ(again, info);
    EXPECT_EQ(info->current, &second.subProcessDescriptor());
}

extern "C" void VEXA_CALL otherRoutine(void*, int32_t, int32_t) {}

TEST(ModuleBaseSubProcess, HostIsToldOnlyWhenTheRoutineReallyChanges) {
    FakeHost host;
    ProbeModule module(&FakeHost::callback, &host);
    SubProcessDescriptor noOp{};
    noOp.entry = vexa::noOpSubProcess;
    module.setSubProcess(noOp);
    EXPECT_EQ(host.count(HostOpcodeSubProcessChanged), 0);

    SubProcessDescriptor other{};
    other.entry = otherRoutine;
    module.setSubProcess(other);
    EXPECT_EQ(host.count(HostOpcodeSubProcessChanged), 1);
    EXPECT_EQ(module.hostRecord()->subProcess, &otherRoutine);
    module.setSubProcess(other);
    EXPECT_EQ(host.count(HostOpcodeSubProcessChanged), 1);

    other.words[1] = 7;  // same entry, other words: a different descriptor
    module.setSubProcess(other);
    EXPECT_EQ(host.count(HostOpcodeSubProcessChanged), 2);

    SubProcessDescriptor none{};
    module.setSubProcess(none);
    EXPECT_EQ(host.count(HostOpcodeSubProcessChanged), 3);
    none.words[0] = 1;  // a null entry matches regardless of the words
    module.setSubProcess(none);
    EXPECT_EQ(host.count(HostOpcodeSubProcessChanged), 3);
}

TEST(ModuleBaseEvents, StatusEventReachesTheModuleAndChangedOnceLastsOnlyThatLong) {
    FakeHost host;
    host.pinCount = 6;
    ProbeModule module(&FakeHost::callback, &host);
    module.descriptions.assign(6, audioPin());
    call(module, ModuleOpcodeOpen);
    ASSERT_EQ(module.pinCount(), 6);

    HostEvent event{};
    event.eventType = 0;
    event.pinIndex = 4;
    event.status = PinStatusChangedOnce;
    module.hostRecord()->eventEntry(module.hostRecord()->object, &event);
    ASSERT_EQ(module.seen.size(), 1u);
    EXPECT_EQ(module.seen[0].pinIndex, 4);
    EXPECT_EQ(module.seen[0].status, PinStatusChangedOnce);
    EXPECT_EQ(module.pin(4)->status, PinStatusStatic);

    event.status = PinStatusStreaming;
    module.hostRecord()->eventEntry(module.hostRecord()->object, &event);
    EXPECT_EQ(module.pin(4)->status, PinStatusStreaming);
}

TEST(ModuleBaseEvents, EventsWithoutAPinAndOtherEventTypesAreIgnored) {
    FakeHost host;
    host.pinCount = 3;
    ProbeModule module(&FakeHost::callback, &host);
    module.descriptions.assign(3, audioPin());
    HostEvent event{};
    event.pinIndex = 0;
    event.status = PinStatusStreaming;
    module.hostRecord()->eventEntry(module.hostRecord()->object, &event);  // before Open
    call(module, ModuleOpcodeOpen);
    for (const int32_t index : {3, 4, 1000, -1}) {
        event.pinIndex = index;
        module.hostRecord()->eventEntry(module.hostRecord()->object, &event);
    }
    event.pinIndex = 0;
    for (const int32_t otherType : {1, 2}) {
        event.eventType = otherType;
        module.hostRecord()->eventEntry(module.hostRecord()->object, &event);
    }
    EXPECT_TRUE(module.seen.empty());
}

TEST(ModuleBaseHost, WithoutCallbackEveryHostCallAnswersZeroAndNoPinsAreMade) {
    ProbeModule module(nullptr, nullptr);
    module.descriptions.assign(7, audioPin());
    EXPECT_EQ(module.callHost(HostOpcodeGetPinCount), 0);
    call(module, ModuleOpcodeOpen);
    EXPECT_EQ(module.pinCount(), 0);
    SubProcessDescriptor other{};
    other.entry = otherRoutine;
    module.setSubProcess(other);
    EXPECT_EQ(module.hostRecord()->subProcess, &otherRoutine);
}

TEST(ModuleBaseHost, PinCountOfZeroOrLessOrAbsurdlyLargeGivesNoPins) {
    for (const intptr_t count : {intptr_t{0}, intptr_t{-5}, intptr_t{ModuleBase::maxPinCount} + 1}) {
        FakeHost host;
        host.pinCount = count;
        ProbeModule module(&FakeHost::callback, &host);
        module.descriptions.assign(3, audioPin());
        call(module, ModuleOpcodeOpen);
        EXPECT_EQ(module.pinCount(), 0) << count;
    }
}

TEST(ModuleBaseHost, SecondOpenRebuildsThePins) {
    FakeHost host;
    host.pinCount = 2;
    ProbeModule module(&FakeHost::callback, &host);
    module.descriptions.assign(2, audioPin());
    call(module, ModuleOpcodeOpen);
    host.pinCount = 4;
    module.descriptions.assign(4, audioPin());
    call(module, ModuleOpcodeOpen);  // the first array is freed (the sanitizer run checks for a leak)
    EXPECT_EQ(module.pinCount(), 4);
    EXPECT_EQ(module.pin(3)->pinIndex, 3);
}

TEST(ModuleBaseHost, PinPropertiesWithoutRecordAddressAnswersZero) {
    FakeHost host;
    ProbeModule module(&FakeHost::callback, &host);
    module.descriptions.assign(1, audioPin());
    EXPECT_EQ(call(module, ModuleOpcodeGetPinProperties, 0, 0, 0), 0);
    PinProperties properties{};
    EXPECT_EQ(call(module, ModuleOpcodeGetPinProperties, 0, 0, reinterpret_cast<intptr_t>(&properties)), 1);
    EXPECT_EQ(call(module, ModuleOpcodeGetPinProperties, 1, 0, reinterpret_cast<intptr_t>(&properties)), 0);
}

}  // namespace
}  // namespace vexatest
