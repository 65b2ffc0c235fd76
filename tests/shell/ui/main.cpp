#include "testsupport/TestEnv.h"

#include <gtest/gtest.h>

// Widget tests need the application object before any widget exists; it lives to the end.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    tallyrow::test::ensureWidgetsApp();
    return RUN_ALL_TESTS();
}
