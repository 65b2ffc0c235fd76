#include "testsupport/TestEnv.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Widget tests never open a window on the user's screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    tallyrow::test::ensureWidgetsApp();
    return RUN_ALL_TESTS();
}
