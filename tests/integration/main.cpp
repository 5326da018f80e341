// Integration tests: run with --module=PATH to test a built module library
// (default: the native build next to this program).
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "integration/ModuleUnderTest.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    std::string module = vexahost::ModuleLibrary::defaultModulePath(argv[0]);
    const char prefix[] = "--module=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], prefix, sizeof prefix - 1) == 0) module = argv[i] + sizeof prefix - 1;
    }
    vexatest::ModuleUnderTest::choose(module);
    return RUN_ALL_TESTS();
}
