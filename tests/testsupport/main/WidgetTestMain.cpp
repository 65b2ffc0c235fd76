// The main of the widget test programs: the application object exists before any widget and
// lives to the end.
#include "testsupport/TestEnv.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Never a window on the user's screen, also when CTest lists the cases.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    tallyrow::test::ensureWidgetsApp();
    return RUN_ALL_TESTS();
}
