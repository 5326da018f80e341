// Pin binding at Open: indices, data types, flags and the pins' own storage.
#include <vector>

#include <gtest/gtest.h>

#include "unit/FakeHost.h"
#include "filter/LadderFilter.h"
#include "host/ModuleBase.h"

namespace vexatest {
namespace {

using vexa::ModuleBase;
using vexa::Pin;

/// A module whose pin descriptions are given by the test.
class DescribedModule : public ModuleBase {
public:
    using ModuleBase::ModuleBase;
    bool getPinProperties(int32_t index, PinProperties* properties) override {
        if (index < 0 || index >= static_cast<int32_t>(descriptions.size())) return false;
        *properties = descriptions[static_cast<std::size_t>(index)];
        return true;
    }
    void onPinStatusChange(Pin* pin) override { statusSeen.push_back(pin->status); }
    std::vector<PinProperties> descriptions;
    std::vector<int32_t> statusSeen;
};

PinProperties describe(int32_t dataType, void* variable = nullptr, int32_t flags = 0) {
    PinProperties properties{};
    properties.dataType = dataType;
    properties.variable = variable;
    properties.flags = flags;
    return properties;
}

void openWith(ModuleBase& module) {
    HostModuleRecord* record = module.hostRecord();
    record->dispatch(record, ModuleOpcodeOpen, 0, 0, 0, 0);
}

TEST(PinBinding, FilterPinsGetTheirIndexTypeAndVariable) {
    FakeHost host;
    host.pinCount = 7;
    vexa::LadderFilter filter(&FakeHost::callback, &host);
    openWith(filter);
    ASSERT_EQ(filter.pinCount(), 7);
    void* const variables[] = {&filter.signalIn, &filter.pitchIn, &filter.resonanceIn, &filter.zingIn,
                               &filter.poles,    &filter.type,    &filter.output};
    const int32_t types[] = {5, 5, 5, 5, 0, 0, 5};
    for (int32_t i = 0; i < 7; ++i) {
        const Pin* pin = filter.pin(i);
        EXPECT_EQ(pin->pinIndex, i);
        EXPECT_EQ(pin->dataType, types[i]);
        EXPECT_EQ(pin->variable, variables[i]);
        EXPECT_EQ(pin->status, PinStatusStatic);
        EXPECT_EQ(pin->owner, &filter);
    }
    EXPECT_EQ(host.count(HostOpcodeGetPinBuffer), 0);
}

TEST(PinBinding, NoBindingFlagTakesNoIndexUnlessOverridden) {
    FakeHost host;
    host.pinCount = 3;
    int16_t a = 0, b = 0, c = 0;
    DescribedModule module(&FakeHost::callback, &host);
    module.descriptions = {describe(PinDataTypeList, &a), describe(PinDataTypeList, &b, PinFlagNoBinding),
                           describe(PinDataTypeList, &c, PinFlagNoBinding | PinFlagBindOverride),
                           describe(PinDataTypeAudio)};
    host.buffers.assign(3, std::vector<float>(4));
    openWith(module);
    EXPECT_EQ(module.pin(0)->variable, &a);
    EXPECT_EQ(module.pin(1)->variable, &c);
    EXPECT_EQ(module.pin(1)->pinIndex, 1);
    EXPECT_EQ(module.pin(2)->dataType, PinDataTypeAudio);
    EXPECT_EQ(module.pin(2)->storage, reinterpret_cast<intptr_t>(host.buffers[2].data()));
}

TEST(PinBinding, RepeatLastGivesExtraPinsTheLastTypeAndTheirOwnBuffers) {
    FakeHost host;
    host.pinCount = 4;
    host.buffers.assign(4, std::vector<float>(8));
    float* audioVariable = nullptr;
    DescribedModule module(&FakeHost::callback, &host);
    module.descriptions = {describe(PinDataTypeList), describe(PinDataTypeAudio, &audioVariable, PinFlagRepeatLast)};
    openWith(module);
    ASSERT_EQ(module.pinCount(), 4);
    for (int32_t i = 2; i < 4; ++i) {
        const Pin* pin = module.pin(i);
        EXPECT_EQ(pin->pinIndex, i);
        EXPECT_EQ(pin->dataType, PinDataTypeAudio);
        EXPECT_EQ(pin->variable, &pin->storage);
        EXPECT_EQ(pin->storage, reinterpret_cast<intptr_t>(host.buffers[static_cast<std::size_t>(i)].data()));
    }
    EXPECT_EQ(module.pin(1)->variable, &audioVariable);
    EXPECT_EQ(host.count(HostOpcodeGetPinBuffer), 2);
}

TEST(PinBinding, RepeatLastIsReadFromTheLastDescriptionOnly) {
    FakeHost host;
    host.pinCount = 3;
    DescribedModule module(&FakeHost::callback, &host);
    module.descriptions = {describe(PinDataTypeList, nullptr, PinFlagRepeatLast), describe(PinDataTypeList)};
    openWith(module);
    EXPECT_EQ(module.pin(2)->owner, nullptr);  // no description, no repetition: left unbound
}

TEST(PinBinding, PinsWithoutVariableKeepTheirValueInStorage) {
    FakeHost host;
    const std::vector<int32_t> types = {0, 4, 6, 8, 3, 7, 9};
    host.pinCount = static_cast<intptr_t>(types.size());
    DescribedModule module(&FakeHost::callback, &host);
    for (const int32_t type : types) module.descriptions.push_back(describe(type));
    openWith(module);
    for (std::size_t i = 0; i < types.size(); ++i) {
        const Pin* pin = module.pin(static_cast<int32_t>(i));
        const bool stored = types[i] == 0 || types[i] == 4 || types[i] == 6 || types[i] == 8;
        EXPECT_EQ(pin->variable, stored ? &pin->storage : nullptr) << "type " << types[i];
        EXPECT_EQ(pin->storage, 0);
    }
    EXPECT_EQ(host.count(HostOpcodeGetPinBuffer), 0);
}

TEST(PinBinding, FewerHostPinsThanDescriptionsStopsTheBinding) {
    FakeHost host;
    host.pinCount = 2;
    vexa::LadderFilter filter(&FakeHost::callback, &host);
    openWith(filter);
    ASSERT_EQ(filter.pinCount(), 2);
    EXPECT_EQ(filter.pin(1)->variable, &filter.pitchIn);
}

TEST(PinStatus, ChangedOnceRevertsAfterTheHandlerAndStreamingStays) {
    FakeHost host;
    host.pinCount = 1;
    DescribedModule module(&FakeHost::callback, &host);
    module.descriptions = {describe(PinDataTypeList)};
    openWith(module);
    module.pin(0)->setStatus(PinStatusChangedOnce);
    EXPECT_EQ(module.statusSeen, std::vector<int32_t>{PinStatusChangedOnce});
    EXPECT_EQ(module.pin(0)->status, PinStatusStatic);
    module.pin(0)->setStatus(PinStatusStreaming);
    EXPECT_EQ(module.pin(0)->status, PinStatusStreaming);
}

TEST(PinStatus, SendStatusReportsIndexStatusAndClock) {
    FakeHost host;
    host.pinCount = 2;
    DescribedModule module(&FakeHost::callback, &host);
    module.descriptions = {describe(PinDataTypeList), describe(PinDataTypeAudio)};
    openWith(module);
    module.pin(1)->sendStatus(PinStatusStreaming, 4321);
    ASSERT_EQ(host.count(HostOpcodeSetPinStatus), 1);
    const FakeHost::Call& call = host.calls.back();
    EXPECT_EQ(call.a, 1);
    EXPECT_EQ(call.b, PinStatusStreaming);
    EXPECT_EQ(call.c, 4321);
}

}  // namespace
}  // namespace vexatest
