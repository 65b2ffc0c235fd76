#include "engine/Report.h"
#include "support/Error.h"

#include <QLocale>
#include <QPageSize>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

using namespace tallyrow::engine;
using namespace Qt::StringLiterals;

namespace {

/// A small two-column report shaped like the program's reports; every event is logged.
class LoggingReport : public Report {
public:
    explicit LoggingReport(int rowCount) {
        ReportHeader().height = 1000;
        ReportHeader().add<Label>(u"lblReportName"_s)->caption = u"Sample"_s;
        PageHeader().height = 500;
        auto* heading = PageHeader().add<Label>(u"lblTotal"_s);
        heading->caption = u"Total"_s;
        Detail().height = 300;
        auto* period = Detail().add<Field>(u"txtPeriod"_s);
        period->dataField = u"Period"_s;
        auto* total = Detail().add<Field>(u"txtTotal"_s);
        total->dataField = u"Total"_s;
        Detail().add<Field>(u"txtMissing"_s)->dataField = u"Monday"_s;
        Detail().add<Field>(u"txtDouble"_s); // unbound, filled by onDetailFormat
        PageFooter().height = 400;
        PageFooter().add<Field>(u"txtPageNumber"_s)->kind = FieldKind::PageNumber;
        PageFooter().add<Label>(u"lblPage"_s)->caption = u"of"_s;
        PageFooter().add<Field>(u"txtPageCount"_s)->kind = FieldKind::PageCount;
        ReportFooter().height = 600;
        auto* grand = ReportFooter().add<Field>(u"txtGrandTotal"_s);
        grand->dataField = u"Total"_s;
        grand->summary = SummaryType::GrandTotal;
        auto* hidden = ReportFooter().add<Field>(u"txtHiddenTotal"_s);
        hidden->dataField = u"Total"_s;
        hidden->summary = SummaryType::GrandTotal;
        hidden->visible = false;

        RowSet rows;
        rows.appendColumn(u"Period"_s, RowSet::Type::Text, 250);
        rows.appendColumn(u"Total"_s, RowSet::Type::Int32);
        for (int i = 0; i < rowCount; ++i)
            rows.appendRow({u"P%1"_s.arg(i + 1), (i + 1) * 10});
        setDataSource(rows);
    }

    QStringList log;
    std::function<void(LoggingReport&)> onStart, onDetail, onFooter;
    bool showErrorItself = false;

protected:
    void onReportStart() override {
        log << u"ReportStart"_s;
        if (onStart)
            onStart(*this);
    }
    void onDetailFormat() override {
        log << u"Detail_Format %1 %2"_s.arg(field(u"txtPeriod"_s)->text, field(u"txtTotal"_s)->text);
        field(u"txtDouble"_s)->text = QString::number(field(u"txtTotal"_s)->text.toInt() * 2);
        if (onDetail)
            onDetail(*this);
    }
    void onReportFooterFormat() override {
        log << u"ReportFooter_Format %1"_s.arg(field(u"txtGrandTotal"_s)->text);
        if (onFooter)
            onFooter(*this);
    }
    bool Error(const tallyrow::Error& e) override {
        log << u"Error %1 %2 %3"_s.arg(e.number()).arg(e.description(), e.steps().join(u'&'));
        return showErrorItself;
    }
};

/// A page 10000 twips high: 9600 for header, rows and report footer after the 400 footer.
PageSetup smallPage() {
    PageSetup s;
    s.paperSize = QSizeF(12240, 11440);
    s.printableRect = QRectF(720, 720, 10800, 10000);
    return s;
}

QStringList textsOf(const Page& page) {
    QStringList texts;
    for (const auto& item : page.items) {
        if (const auto* t = std::get_if<TextItem>(&item))
            texts << t->name + u"="_s + t->text;
    }
    return texts;
}

const TextItem* find(const Page& page, const QString& name) {
    for (const auto& item : page.items) {
        if (const auto* t = std::get_if<TextItem>(&item); t && t->name == name)
            return t;
    }
    return nullptr;
}

} // namespace

TEST(ReportRun, RaisesEventsInOrderWithBoundFieldsFilledBeforeEachRow) {
    LoggingReport report(3);
    ASSERT_TRUE(report.Run(smallPage()));
    EXPECT_EQ(report.log, (QStringList{u"ReportStart"_s, u"Detail_Format P1 10"_s, u"Detail_Format P2 20"_s,
                                       u"Detail_Format P3 30"_s, u"ReportFooter_Format 60"_s}));
    EXPECT_TRUE(report.hasRun());
}

TEST(ReportRun, RowSetReplacedInReportStartIsTheOneLaidOut) {
    LoggingReport report(5);
    report.onStart = [](LoggingReport& r) {
        RowSet rows;
        rows.appendColumn(u"Period"_s, RowSet::Type::Text);
        rows.appendColumn(u"Total"_s, RowSet::Type::Int32);
        rows.appendRow({u"only"_s, 4});
        r.setDataSource(rows);
    };
    ASSERT_TRUE(report.Run(smallPage()));
    EXPECT_EQ(report.log.size(), 3);
    EXPECT_EQ(report.log.at(1), u"Detail_Format only 4"_s);
}

TEST(ReportRun, FieldTextsWrittenByTheFormatEventAreWhatThePageShows) {
    LoggingReport report(2);
    ASSERT_TRUE(report.Run(smallPage()));
    const Page& page = report.pages().pages.at(0);
    QStringList doubles;
    for (const auto& item : page.items) {
        if (const auto* t = std::get_if<TextItem>(&item); t && t->name == u"txtDouble"_s)
            doubles << t->text;
    }
    EXPECT_EQ(doubles, (QStringList{u"20"_s, u"40"_s}));
}

TEST(ReportRun, MissingColumnShowsNothingAndHiddenFieldsAreNotDrawn) {
    LoggingReport report(1);
    ASSERT_TRUE(report.Run(smallPage()));
    const Page& page = report.pages().pages.at(0);
    const TextItem* missing = find(page, u"txtMissing"_s);
    ASSERT_NE(missing, nullptr);
    EXPECT_TRUE(missing->text.isEmpty());
    EXPECT_EQ(find(page, u"txtHiddenTotal"_s), nullptr);
    ASSERT_NE(find(page, u"txtGrandTotal"_s), nullptr);
    EXPECT_EQ(find(page, u"txtGrandTotal"_s)->text, u"10"_s);
}

TEST(ReportRun, GrandTotalIsTheSumOverAllRowsAsPlainDigits) {
    LoggingReport report(200); // 10 + 20 + ... + 2000
    ASSERT_TRUE(report.Run(smallPage()));
    const Page& last = report.pages().pages.last();
    ASSERT_NE(find(last, u"txtGrandTotal"_s), nullptr);
    EXPECT_EQ(find(last, u"txtGrandTotal"_s)->text, u"201000"_s);
}

TEST(ReportRun, PaginatesWithHeadersFootersAndPageCount) {
    // Page 1: report header 1000 + page header 500 + 27 rows (8100) fill the 9600 above the footer.
    LoggingReport report(40);
    ASSERT_TRUE(report.Run(smallPage()));
    const auto& pages = report.pages().pages;
    ASSERT_EQ(pages.size(), 2);
    int rowsOnFirst = 0;
    for (const auto& item : pages.at(0).items) {
        if (const auto* t = std::get_if<TextItem>(&item); t && t->name == u"txtPeriod"_s)
            ++rowsOnFirst;
    }
    EXPECT_EQ(rowsOnFirst, 27);
    for (int i = 0; i < pages.size(); ++i) {
        SCOPED_TRACE(i);
        const TextItem* number = find(pages.at(i), u"txtPageNumber"_s);
        const TextItem* count = find(pages.at(i), u"txtPageCount"_s);
        ASSERT_TRUE(number && count);
        EXPECT_EQ(number->text, QString::number(i + 1));
        EXPECT_EQ(count->text, u"2"_s);
        EXPECT_DOUBLE_EQ(number->rect.top(), 9600) << "the page footer sits at the bottom";
        ASSERT_NE(find(pages.at(i), u"lblTotal"_s), nullptr) << "page header on every page";
    }
    EXPECT_EQ(find(pages.at(1), u"lblTotal"_s)->rect.top(), 0);
    EXPECT_EQ(find(pages.at(0), u"lblReportName"_s)->rect.top(), 0);
    EXPECT_EQ(find(pages.at(1), u"lblReportName"_s), nullptr) << "report header only once";
}

TEST(ReportRun, HiddenSectionsAreNeitherDrawnNorTakeRoom) {
    LoggingReport report(40);
    report.onStart = [](LoggingReport& r) {
        r.PageHeader().visible = false;
        r.Detail().visible = false;
        r.ReportFooter().visible = false;
    };
    ASSERT_TRUE(report.Run(smallPage()));
    ASSERT_EQ(report.pages().pages.size(), 1) << "only the header page with its page footer";
    const QStringList texts = textsOf(report.pages().pages.at(0));
    EXPECT_TRUE(texts.contains(u"lblReportName=Sample"_s));
    EXPECT_TRUE(texts.contains(u"txtPageCount=1"_s));
    EXPECT_FALSE(texts.contains(u"lblTotal=Total"_s));
    EXPECT_EQ(texts.filter(u"txtPeriod"_s).size(), 0);
    EXPECT_EQ(report.log.size(), 42) << "the format events still run; the report decides what they do";
}

TEST(ReportRun, ReportWithoutRowsStillHasAPage) {
    LoggingReport report(0);
    ASSERT_TRUE(report.Run(smallPage()));
    EXPECT_EQ(report.log, (QStringList{u"ReportStart"_s, u"ReportFooter_Format 0"_s}));
    ASSERT_EQ(report.pages().pages.size(), 1);
}

TEST(ReportRun, FailureEscapingAnEventRaisesTheErrorEventAndStopsTheRun) {
    struct Case {
        const char* name;
        std::function<void()> fail;
        long number;
        QString description;
        QString source;
    };
    const Case cases[] = {
        {"program error", [] { throw tallyrow::Error(13, u"Type mismatch"_s, u"Calc"_s); }, 13,
         u"Type mismatch"_s, u"Calc"_s},
        {"other exception", [] { throw std::runtime_error("boom"); }, tallyrow::ErrNo::Unexpected, u"boom"_s,
         u"Detail_Format"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoggingReport report(10);
        report.showErrorItself = true;
        report.onDetail = [&c](LoggingReport& r) {
            if (r.log.size() == 3)
                c.fail();
        };
        EXPECT_FALSE(report.Run(smallPage())) << "a failed run is not reported as a success";
        EXPECT_EQ(report.log.last(), u"Error %1 %2 %3"_s.arg(c.number).arg(c.description, c.source));
        EXPECT_TRUE(report.untoldErrors().isEmpty()) << "the report told of it itself";
        // Untold, it is kept for the viewer, with the event it happened in as its step when it
        // brought none of its own.
        LoggingReport untold(10);
        untold.onDetail = report.onDetail;
        untold.Run(smallPage());
        ASSERT_EQ(untold.untoldErrors().size(), 1);
        EXPECT_EQ(untold.untoldErrors().first().steps(), QStringList{c.source});
        EXPECT_EQ(report.log.filter(u"ReportFooter_Format"_s).size(), 0);
        ASSERT_EQ(report.pages().pages.size(), 1) << "the rows laid out so far are kept";
        EXPECT_EQ(textsOf(report.pages().pages.at(0)).filter(u"txtPeriod"_s).size(), 1);
    }
}

TEST(ReportRun, CancelInReportStartLaysOutNothingAndANewRunStartsAfresh) {
    LoggingReport report(3);
    report.onStart = [](LoggingReport& r) { r.Cancel(); };
    EXPECT_FALSE(report.Run(smallPage()));
    EXPECT_TRUE(report.cancelled());
    EXPECT_TRUE(report.pages().pages.isEmpty());
    EXPECT_EQ(report.log, QStringList{u"ReportStart"_s});

    report.onStart = nullptr;
    report.log.clear();
    EXPECT_TRUE(report.Run(smallPage()));
    EXPECT_EQ(report.log.size(), 5);
}

TEST(ReportRun, ChartIsLaidOutWithItsRowSetsData) {
    LoggingReport report(0);
    Chart* chart = report.ReportHeader().add<Chart>(u"chrtReport"_s);
    chart->rect = QRectF(75, 100, 8925, 800);
    chart->definition.chartType = ChartType::Bar3D;
    RowSet data;
    data.appendColumn(u"Time"_s, RowSet::Type::Text, 250);
    data.appendColumn(u"Monday"_s, RowSet::Type::Int32);
    data.appendColumn(u"All Days"_s, RowSet::Type::Int32);
    data.appendRow({u"12:00 AM"_s, 5, 3});
    data.appendRow({u"1:00 AM"_s, QVariant(), 4});
    chart->dataSource = data;
    ASSERT_TRUE(report.Run(smallPage()));
    const ChartItem* item = nullptr;
    for (const auto& i : report.pages().pages.at(0).items) {
        if (const auto* c = std::get_if<ChartItem>(&i))
            item = c;
    }
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->chart.chartType, ChartType::Bar3D);
    EXPECT_EQ(item->chart.categories, (QStringList{u"12:00 AM"_s, u"1:00 AM"_s}));
    ASSERT_EQ(item->chart.series.size(), 2);
    EXPECT_EQ(item->chart.series.at(0).name, u"Monday"_s);
    EXPECT_EQ(item->chart.series.at(0).values, (QVector<double>{5, 0}));
    EXPECT_EQ(item->chart.series.at(1).name, u"All Days"_s);
}

TEST(PageSetup, PaperFollowsTheLocaleAndTheLayoutWidthFits) {
    for (auto id : {QPageSize::A4, QPageSize::Letter}) {
        SCOPED_TRACE(int(id));
        const PageSetup s = PageSetup::forPageSize(QPageSize(id));
        EXPECT_LT(s.paperSize.width(), s.paperSize.height()) << "portrait";
        EXPECT_GE(s.printableRect.width(), 8930);
        EXPECT_GE(s.printableRect.height(), 13440 + 495) << "the tallest report header and a page footer fit";
        EXPECT_GE(s.printableRect.left(), 360);
        EXPECT_LE(s.printableRect.right(), s.paperSize.width() - 360);
    }
    const PageSetup letter = PageSetup::forPageSize(QPageSize(QPageSize::Letter));
    EXPECT_DOUBLE_EQ(letter.paperSize.width(), 12240);
    const PageSetup landscapeGiven =
        PageSetup::forPageSize(QPageSize(QSizeF(297, 210), QPageSize::Millimeter));
    EXPECT_LT(landscapeGiven.paperSize.width(), landscapeGiven.paperSize.height());
}
