#include "testsupport/TestEnv.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    tallyrow::test::ensureCoreApp();
    return RUN_ALL_TESTS();
}
