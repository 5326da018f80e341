// The library's exports, record, dispatcher and pins, seen from a host.
#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "integration/ModuleUnderTest.h"

namespace vexatest {
namespace {

using vexahost::HostInstance;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::size_t begin = 0;
    for (;;) {
        const std::size_t end = text.find('\n', begin);
        result.push_back(text.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
        if (end == std::string::npos) return result;
        begin = end + 1;
    }
}

TEST(ModuleProperties, IndexZeroDescribesTheModule) {
    ModuleProperties properties{};
    const auto hostOwn1 = reinterpret_cast<void*>(0x1234);
    const auto hostOwn2 = reinterpret_cast<void*>(0x5678);
    properties.hostField1 = hostOwn1;
    properties.hostField2 = hostOwn2;
    ASSERT_EQ(ModuleUnderTest::entries().getModuleProperties(0, &properties), 1);
    EXPECT_EQ(properties.interfaceVersion, 2230);
    EXPECT_STREQ(properties.id, "Vexa LP Filter 2");
    EXPECT_STREQ(properties.name, "Vexa LP Filter 2");
    EXPECT_NE(static_cast<const void*>(properties.id), static_cast<const void*>(properties.name));
    EXPECT_EQ(properties.hostField1, hostOwn1);
    EXPECT_EQ(properties.hostField2, hostOwn2);
}

TEST(ModuleProperties, OtherIndicesOnlySetTheInterfaceVersion) {
    for (const int32_t index : {1, -1, 7}) {
        ModuleProperties properties{};
        const char sentinel[] = "untouched";
        properties.id = properties.name = properties.about = sentinel;
        EXPECT_EQ(ModuleUnderTest::entries().getModuleProperties(index, &properties), 0);
        EXPECT_EQ(properties.interfaceVersion, 2230);
        EXPECT_EQ(properties.id, sentinel);
        EXPECT_EQ(properties.name, sentinel);
        EXPECT_EQ(properties.about, sentinel);
    }
}

TEST(ModuleProperties, AboutTextHasSixteenLines) {
    const vexahost::ModuleIdentity identity = vexahost::readIdentity(ModuleUnderTest::entries());
    EXPECT_EQ(identity.about.find('\r'), std::string::npos);
    EXPECT_NE(identity.about.back(), '\n');
    const auto text = lines(identity.about);
    ASSERT_EQ(text.size(), 16u);
    EXPECT_EQ(text[0], "Vexa LP Filter 2");
    for (const std::size_t filled : {1u, 3u, 5u}) EXPECT_FALSE(text[filled].empty()) << filled + 1;
    for (const std::size_t empty : {2u, 4u, 8u, 14u}) EXPECT_TRUE(text[empty].empty()) << empty + 1;
    EXPECT_NE(text[5].find("http"), std::string::npos);
    EXPECT_EQ(text[6], "3 or 4 pole Stilson/Smith Moog with extra res pole, with adjustable f->Q,");
    EXPECT_EQ(text[7], "denormal, input protection and gradual saturation");
    EXPECT_EQ(text[9], " * Pitch: 0-10V (2 - 10.5V) ");
    EXPECT_EQ(text[10], " * Resonance: 0 - 10 V");
    EXPECT_EQ(text[11], " * Zing (F->Q): 0.1V -50V (10V default)");
    EXPECT_EQ(text[12], " * Poles: various");
    EXPECT_EQ(text[13], " * Type: LP (Low pass), HP (High Pass)");
    EXPECT_EQ(text[15], "Version 2 J");
}

intptr_t VEXA_CALL countingCallback(HostModuleRecord*, int32_t, intptr_t, intptr_t, intptr_t, intptr_t) {
    static int calls = 0;
    return ++calls;
}

void closeRecord(HostModuleRecord* record) {
    EXPECT_EQ(record->dispatch(record, ModuleOpcodeClose, 0, 0, 0, 0), 1);
}

TEST(MakeModule, RefusesOtherIndicesAndTypes) {
    const auto& entries = ModuleUnderTest::entries();
    EXPECT_EQ(entries.makeModule(0, 0, countingCallback, nullptr), nullptr);
    EXPECT_EQ(entries.makeModule(1, 1, countingCallback, nullptr), nullptr);
    EXPECT_EQ(entries.makeModule(0, 2, countingCallback, nullptr), nullptr);
    EXPECT_EQ(entries.makeModule(-1, 1, countingCallback, nullptr), nullptr);
}

TEST(MakeModule, EachCallMakesAnIndependentRecord) {
    const auto& entries = ModuleUnderTest::entries();
    int handleA = 0, handleB = 0;
    HostModuleRecord* a = entries.makeModule(0, 1, countingCallback, &handleA);
    HostModuleRecord* b = entries.makeModule(0, 1, countingCallback, &handleB);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_NE(a->object, b->object);
    EXPECT_NE(static_cast<void*>(a), a->object) << "the record, not the object, is returned";
    const uint8_t magic[] = {0x4C, 0x50, 0x45, 0x53};
    EXPECT_EQ(std::memcmp(a, magic, sizeof magic), 0);
    EXPECT_EQ(a->version, 1);
    EXPECT_EQ(a->hostHandle, &handleA);
    EXPECT_EQ(b->hostHandle, &handleB);
    EXPECT_EQ(a->reserved0, 0);
    for (const intptr_t word : a->reserved1) EXPECT_EQ(word, 0);
    EXPECT_EQ(a->dispatch, b->dispatch);
    EXPECT_EQ(a->eventEntry, b->eventEntry);
    closeRecord(a);
    closeRecord(b);
}

TEST(MakeModule, ConstructionSendsNothingToTheHost) {
    HostInstance host(ModuleUnderTest::entries());
    EXPECT_TRUE(host.statusReports.empty());
    EXPECT_EQ(host.subProcessChanges, 0);
    EXPECT_EQ(host.sleepRequests, 0);
    EXPECT_EQ(host.pinBufferRequests, 0);
}

TEST(Dispatcher, UnknownOpcodesAnswerZero) {
    HostInstance host(ModuleUnderTest::entries());
    const SubProcess before = host.currentSubProcess();
    for (const int32_t opcode : {4, 5, 7, 9, 10, 11, 14, 15, 22, 255, -3}) {
        EXPECT_EQ(host.dispatch(opcode, 1, 2, 3, 4), 0) << opcode;
    }
    EXPECT_EQ(host.currentSubProcess(), before);
    EXPECT_EQ(host.subProcessChanges, 0);
}

TEST(Dispatcher, SubProcessInfoPointsAtTheInstalledRoutine) {
    HostInstance host(ModuleUnderTest::entries());
    host.open();
    const auto* info = reinterpret_cast<const SubProcessInfo*>(host.dispatch(ModuleOpcodeGetSubProcessInfo));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->one, 1);
    EXPECT_EQ(info->descriptorSize, static_cast<intptr_t>(sizeof(SubProcessDescriptor)));
    EXPECT_EQ(info->current->entry, host.currentSubProcess());
    EXPECT_EQ(info->current->words[0] | info->current->words[1] | info->current->words[2], 0);
    EXPECT_EQ(info->zero, 0);
}

TEST(Dispatcher, FreshRoutineWritesNothing) {
    HostInstance host(ModuleUnderTest::entries());
    host.fill(signalPin, 1.0f);
    host.fill(outputPin, 7.0f);
    host.process(0, 64);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(host.buffer(outputPin)[i], 7.0f);
}

struct ExpectedPin {
    const char* name;
    int32_t direction;
    int32_t dataType;
    const char* defaultText;
    const char* extraText;
};

TEST(Pins, TheFilterDescribesSevenPins) {
    HostInstance host(ModuleUnderTest::entries());
    const char* polesList =
        "2:2 Pole=0, 2:2f Pole=1, 2:3 Pole=2, 2:3f Pole=3, 2:4 Pole=4, 2:4f Pole=5, 2:5 Pole=6, 2:5f Pole = 7, "
        "4-1:5 Pole=18, 4-1:5f Pole=19 , 3:3 Pole=8, 3:3f Pole = 9, 3:4 Pole=10, 3:4f Pole=11, 3:5 Pole= 12, "
        "3:5f Pole = 13, 4:3 Pole= 28, 4:3f Pole= 29, 4:4 Pole= 14, 4:4f Pole= 15, 4:5 Pole=16, 4:5f Pole=17, "
        "5:3 Pole=26, 5:3f Pole=27 ,  2-3:5 Pole= 24, 2-3:5f Pole= 25, 3-2:5 Pole= 22, 3-2:5f Pole= 23 ,5:5 "
        "Pole=20, 5:5f Pole=21";
    const ExpectedPin expected[] = {
        {"Signal", 0, 5, "0", nullptr},       {"Pitch", 0, 5, "5", nullptr},
        {"Resonance", 0, 5, "5", nullptr},    {"Zing", 0, 5, "10", "5,15,5,15"},
        {"Poles", 0, 0, "5", polesList},      {"Type", 0, 0, "0", "LP=0, HP=1"},
        {"Output", 1, 5, nullptr, nullptr},
    };
    const auto& pins = host.describedPins();
    ASSERT_EQ(pins.size(), 7u);
    for (std::size_t i = 0; i < 7; ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(pins[i].name, expected[i].name);
        EXPECT_EQ(pins[i].direction, expected[i].direction);
        EXPECT_EQ(pins[i].dataType, expected[i].dataType);
        EXPECT_NE(pins[i].variable, nullptr);
        EXPECT_EQ(pins[i].flags, 0);
        EXPECT_EQ(pins[i].hasDefault, expected[i].defaultText != nullptr);
        if (expected[i].defaultText != nullptr) { EXPECT_EQ(pins[i].defaultText, expected[i].defaultText); }
        EXPECT_EQ(pins[i].hasExtra, expected[i].extraText != nullptr);
        if (expected[i].extraText != nullptr) { EXPECT_EQ(pins[i].extraText, expected[i].extraText); }
    }
}

TEST(Pins, MissingPinsAndMissingRecordsAnswerZeroAndWriteNothing) {
    HostInstance host(ModuleUnderTest::entries());
    for (const int32_t index : {7, 8, 100, -1, -100}) {
        PinProperties properties{};
        properties.reserved = 99;
        properties.flags = 5;
        EXPECT_EQ(host.dispatch(ModuleOpcodeGetPinProperties, index, 0, reinterpret_cast<intptr_t>(&properties)), 0);
        EXPECT_EQ(properties.variable, nullptr);
        EXPECT_EQ(properties.name, nullptr);
        EXPECT_EQ(properties.flags, 5);
        EXPECT_EQ(properties.reserved, 99);
    }
    EXPECT_EQ(host.dispatch(ModuleOpcodeGetPinProperties, 0, 0, 0), 0);
}

TEST(Pins, ReservedFieldIsNeverWritten) {
    HostInstance host(ModuleUnderTest::entries());
    for (int32_t index = 0; index < 7; ++index) {
        PinProperties properties{};
        properties.reserved = 0x5A5A;
        ASSERT_EQ(host.dispatch(ModuleOpcodeGetPinProperties, index, 0, reinterpret_cast<intptr_t>(&properties)), 1);
        EXPECT_EQ(properties.reserved, 0x5A5A);
    }
}

TEST(HostMisbehaviour, NoCallbackStillRunsAndStaysQuiet) {
    HostInstance::Options options;
    options.withoutCallback = true;
    HostInstance host(ModuleUnderTest::entries(), options);
    host.setSampleRate(48000.0f);
    host.open();
    host.sendStatus(signalPin, PinStatusStreaming);
    host.fill(signalPin, 0.5f);
    host.process(0, 256);
    EXPECT_TRUE(std::isfinite(host.buffer(outputPin)[255]));
    EXPECT_NE(host.buffer(outputPin)[255], 0.0f);
    EXPECT_TRUE(host.statusReports.empty());
}

TEST(HostMisbehaviour, TooFewPinsMeanNoStatusReportsAndNoCrash) {
    for (const int32_t pinCount : {0, 3, 6}) {
        HostInstance::Options options;
        options.pinCount = pinCount;
        HostInstance host(ModuleUnderTest::entries(), options);
        host.open();
        for (int32_t index = 0; index < 7; ++index) host.sendStatus(index, PinStatusStreaming);
        host.sendStatus(signalPin, PinStatusStatic);
        EXPECT_TRUE(host.statusReports.empty()) << pinCount;
    }
}

TEST(HostMisbehaviour, EventsOutsideThePinsAndBeforeOpenAreIgnored) {
    HostInstance host(ModuleUnderTest::entries());
    host.sendStatus(signalPin, PinStatusStreaming);  // before Open
    host.open();
    for (const int32_t index : {7, 8, 1000, -1, -1000}) host.sendStatus(index, PinStatusStreaming);
    HostEvent other{};
    other.eventType = 5;
    host.sendEvent(other);
    EXPECT_TRUE(host.statusReports.empty());
    EXPECT_EQ(host.subProcessChanges, 1);
}

TEST(HostMisbehaviour, SecondOpenStartsAfresh) {
    FilterSetup setup;
    auto host = makeFilter(setup);
    host->process(0, 64);
    const std::vector<float> first(host->buffer(outputPin), host->buffer(outputPin) + 64);
    host->open();
    host->sendStatus(signalPin, PinStatusStreaming);
    host->process(0, 64);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(host->buffer(outputPin)[i], first[static_cast<std::size_t>(i)]) << i;
}

}  // namespace
}  // namespace vexatest
