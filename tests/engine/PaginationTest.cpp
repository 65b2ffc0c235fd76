#include "engine/Pagination.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tallyrow::engine;

namespace {

struct Laid {
    std::vector<Pagination::Placement> rows;
    Pagination::Placement footer;
    int pages = 0;
};

/// Lays out a report header, `rowCount` rows and a report footer on pages `pageHeight` high.
Laid layout(double pageHeight, double reportHeader, double pageHeader, double pageFooter, int rowCount,
            double rowHeight, double reportFooter) {
    Pagination p(pageHeight, pageHeader, pageFooter);
    Laid run;
    p.placeReportHeader(reportHeader);
    for (int i = 0; i < rowCount; ++i)
        run.rows.push_back(p.placeBand(rowHeight));
    run.footer = p.placeBand(reportFooter);
    p.finish();
    run.pages = p.pageCount();
    return run;
}

} // namespace

TEST(Pagination, RowsThatExactlyFillThePageStayOnIt) {
    // 1000 page, 100 header, 100 footer: 8 rows of 100 fill the body exactly.
    const Laid run = layout(1000, 0, 100, 100, 8, 100, 0);
    EXPECT_EQ(run.rows.back().page, 0);
    EXPECT_DOUBLE_EQ(run.rows.back().top, 800);
    EXPECT_EQ(run.pages, 1) << "an empty report footer needs no page of its own";

    const Laid more = layout(1000, 0, 100, 100, 9, 100, 0);
    EXPECT_EQ(more.rows.back().page, 1);
    EXPECT_DOUBLE_EQ(more.rows.back().top, 100) << "the next page starts under its page header";
}

TEST(Pagination, ReportFooterThatDoesNotFitGoesToANewPage) {
    const Laid run = layout(1000, 0, 100, 100, 7, 100, 150);
    EXPECT_EQ(run.footer.page, 1);
    EXPECT_DOUBLE_EQ(run.footer.top, 100);
    EXPECT_EQ(run.pages, 2);

    const Laid fits = layout(1000, 0, 100, 100, 7, 100, 100);
    EXPECT_EQ(fits.footer.page, 0);
    EXPECT_DOUBLE_EQ(fits.footer.top, 800);
}

TEST(Pagination, PageHeaderFollowsTheReportHeaderOnlyWhenRowsFitUnderIt) {
    {
        // A tall report header (a title page with a chart) pushes the table to page 2.
        Pagination p(14400, 2760, 495);
        p.placeReportHeader(13440);
        const auto first = p.placeBand(405);
        EXPECT_EQ(first.page, 1);
        EXPECT_DOUBLE_EQ(first.top, 2760);
        EXPECT_LT(p.pageHeaderTop(0), 0) << "no page header squeezed under the title page";
        EXPECT_DOUBLE_EQ(p.pageHeaderTop(1), 0);
    }
    {
        Pagination p(14400, 645, 420);
        p.placeReportHeader(8640);
        const auto first = p.placeBand(330);
        EXPECT_EQ(first.page, 0);
        EXPECT_DOUBLE_EQ(p.pageHeaderTop(0), 8640);
        EXPECT_DOUBLE_EQ(first.top, 8640 + 645);
    }
}

TEST(Pagination, HiddenSectionsTakeNoRoom) {
    // Page header and footer hidden (height 0): rows start at the top and run to the bottom.
    const Laid run = layout(1000, 0, 0, 0, 10, 100, 0);
    EXPECT_EQ(run.pages, 1);
    EXPECT_DOUBLE_EQ(run.rows.front().top, 0);
    EXPECT_DOUBLE_EQ(run.rows.back().top, 900);
}

TEST(Pagination, BandTallerThanAPageGetsAPageOfItsOwnInsteadOfLoopingForever) {
    Pagination p(1000, 100, 100);
    const auto a = p.placeBand(5000);
    const auto b = p.placeBand(5000);
    const auto c = p.placeBand(10);
    EXPECT_EQ(a.page, 0);
    EXPECT_EQ(b.page, 1);
    EXPECT_EQ(c.page, 2);
    EXPECT_EQ(p.pageCount(), 3);
}

TEST(Pagination, PageHeaderStandsOnAReportWithoutRowsWhenThereIsRoom) {
    Pagination p(1000, 100, 100);
    p.placeReportHeader(300);
    p.finish();
    EXPECT_DOUBLE_EQ(p.pageHeaderTop(0), 300);
    EXPECT_DOUBLE_EQ(p.pageFooterTop(), 900);
}
