#include "engine/PagePainter.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

// PDF, rich text and chart pictures need fonts, hence a GUI application (offscreen in tests).
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    tallyrow::engine::registerReportFonts();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
