// Integration tests: run with --module=PATH to test a built module library
// (default: the native build next to this program).
//
// With --every-configuration-walked, against a module built with one row more
// at the end of its configuration table (a copy of an earlier row), each test
// that walks the configurations must reach that last row: a walk that counts
// to a number of its own instead of the module's count stops short of it.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "integration/ModuleUnderTest.h"

namespace {

using vexatest::ModuleUnderTest;

/// Names the tests that opened the last row's twin among three or more
/// configurations (a walk over them) but never the last row itself.
class WalkCheck : public testing::EmptyTestEventListener {
public:
    void OnTestStart(const testing::TestInfo&) override { ModuleUnderTest::clearConfigurationsOpened(); }

    void OnTestEnd(const testing::TestInfo& test) override {
        const auto& opened = ModuleUnderTest::configurationsOpened();
        const auto last = static_cast<int16_t>(ModuleUnderTest::configurationCount() - 1);
        if (opened.size() >= 3 && opened.count(twinOf(last)) != 0 && opened.count(last) == 0) {
            shortWalks.push_back(std::string(test.test_suite_name()) + "." + test.name());
        }
    }

    std::vector<std::string> shortWalks;

private:
    static int16_t twinOf(int16_t last) {
        for (int16_t poles = 0; poles < last; ++poles) {
            if (ModuleUnderTest::configurationName(poles) == ModuleUnderTest::configurationName(last)) return poles;
        }
        return last;
    }
};

}  // namespace

int main(int argc, char** argv) {
    // The module is chosen before GoogleTest reads its tests: the suites over
    // every configuration take their count from it.
    std::string module = vexahost::ModuleLibrary::defaultModulePath(argv[0]);
    bool checkWalks = false;
    const char prefix[] = "--module=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], prefix, sizeof prefix - 1) == 0) module = argv[i] + sizeof prefix - 1;
        if (std::strcmp(argv[i], "--every-configuration-walked") == 0) checkWalks = true;
    }
    ModuleUnderTest::choose(module);
    testing::InitGoogleTest(&argc, argv);

    auto* walks = new WalkCheck;  // owned by GoogleTest's listener list
    testing::UnitTest::GetInstance()->listeners().Append(walks);
    const int result = RUN_ALL_TESTS();
    if (!checkWalks) return result;
    for (const std::string& test : walks->shortWalks) std::printf("%s stopped short of the last configuration\n", test.c_str());
    return result != 0 || !walks->shortWalks.empty() ? 1 : 0;
}
