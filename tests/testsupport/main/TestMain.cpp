// The main of every test program that needs an application object: it exists before the first
// test and lives to the end. The program's CMake target says which kind (tallyrow_test's MAIN):
// a core application, a GUI application (painting, fonts) or a widgets application.
#include "testsupport/TestEnv.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Never a window on the user's screen, also when CTest lists the cases.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
#if defined(TALLYROW_TEST_MAIN_WIDGETS)
    tallyrow::test::ensureWidgetsApp();
#elif defined(TALLYROW_TEST_MAIN_GUI)
    tallyrow::test::ensureGuiApp();
#else
    tallyrow::test::ensureCoreApp();
#endif
    return RUN_ALL_TESTS();
}
