// The exports measure and embed text in the report fonts: register them once, after the shared
// main has made the application object and before the first test.
#include "engine/PagePainter.h"

#include <gtest/gtest.h>

namespace {

class ReportFonts : public ::testing::Environment {
public:
    void SetUp() override { tallyrow::engine::registerReportFonts(); }
};

[[maybe_unused]] ::testing::Environment* const kReportFonts =
    ::testing::AddGlobalTestEnvironment(new ReportFonts);

} // namespace
