#include "output/ReportDocument.h"
#include "output/SaveReport.h"

#include "TestPages.h"
#include "Tools.h"

#include "support/Error.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace tallyrow;
using namespace tallyrow::engine;

namespace {

QString seedDir() {
    return QStringLiteral(TALLYROW_OUTPUT_TEST_DIR "/fuzz/corpus");
}

void expectSame(const PageCollection& a, const PageCollection& b) {
    EXPECT_EQ(a.title, b.title);
    EXPECT_EQ(a.paperSize, b.paperSize);
    EXPECT_EQ(a.printableRect, b.printableRect);
    ASSERT_EQ(a.pages.size(), b.pages.size());
    for (qsizetype p = 0; p < a.pages.size(); ++p) {
        ASSERT_EQ(a.pages[p].items.size(), b.pages[p].items.size()) << "page " << p;
        for (qsizetype i = 0; i < a.pages[p].items.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "page " << p << " item " << i);
            const PageItem& x = a.pages[p].items[i];
            const PageItem& y = b.pages[p].items[i];
            ASSERT_EQ(x.index(), y.index());
            if (const auto* t = std::get_if<TextItem>(&x)) {
                const auto& u = std::get<TextItem>(y);
                EXPECT_EQ(t->rect, u.rect);
                EXPECT_EQ(t->text, u.text);
                EXPECT_EQ(t->font, u.font);
                EXPECT_EQ(t->color, u.color);
                EXPECT_EQ(t->alignment, u.alignment);
                EXPECT_EQ(t->name, u.name);
            } else if (const auto* l = std::get_if<LineItem>(&x)) {
                const auto& m = std::get<LineItem>(y);
                EXPECT_EQ(l->from, m.from);
                EXPECT_EQ(l->to, m.to);
                EXPECT_EQ(l->width, m.width);
                EXPECT_EQ(l->color, m.color);
            } else if (const auto* f = std::get_if<FillItem>(&x)) {
                EXPECT_EQ(f->rect, std::get<FillItem>(y).rect);
                EXPECT_EQ(f->color, std::get<FillItem>(y).color);
            } else {
                const ChartDefinition& c = std::get<ChartItem>(x).chart;
                const ChartDefinition& d = std::get<ChartItem>(y).chart;
                EXPECT_EQ(std::get<ChartItem>(x).rect, std::get<ChartItem>(y).rect);
                EXPECT_EQ(c.chartType, d.chartType);
                for (int k = 0; k < 2; ++k) {
                    EXPECT_EQ(c.axes[k].title, d.axes[k].title);
                    EXPECT_EQ(c.axes[k].majorGridStyle, d.axes[k].majorGridStyle);
                    EXPECT_EQ(c.axes[k].tickStyle, d.axes[k].tickStyle);
                }
                EXPECT_EQ(c.legendLocation, d.legendLocation);
                EXPECT_EQ(c.showLegend, d.showLegend);
                EXPECT_EQ(c.categories, d.categories);
                ASSERT_EQ(c.series.size(), d.series.size());
                for (qsizetype s = 0; s < c.series.size(); ++s) {
                    EXPECT_EQ(c.series[s].name, d.series[s].name);
                    EXPECT_EQ(c.series[s].values, d.series[s].values);
                    EXPECT_EQ(c.series[s].lighter, d.series[s].lighter);
                }
            }
        }
    }
}

// Hand-made documents, to put exactly the damage a test wants behind a valid header.
struct Payload {
    QByteArray b;
    Payload& u8(quint8 v) {
        b.append(char(v));
        return *this;
    }
    Payload& u32(quint32 v) {
        b.append(4, '\0');
        qToLittleEndian(v, b.data() + b.size() - 4);
        return *this;
    }
    Payload& f64(double v) {
        quint64 bits;
        std::memcpy(&bits, &v, 8);
        b.append(8, '\0');
        qToLittleEndian(bits, b.data() + b.size() - 8);
        return *this;
    }
    Payload& str(const QByteArray& s) {
        u32(quint32(s.size()));
        b.append(s);
        return *this;
    }
    // Title, paper and printable area of a Letter page.
    Payload& start() { return str("t").f64(12240).f64(15840).f64(1440).f64(720).f64(9360).f64(14400); }
};

QByteArray withHeader(const QByteArray& payload, quint16 version = 1) {
    QByteArray out("\x89TRDF\r\n\x1A", 8);
    out.append(12, '\0');
    qToLittleEndian(version, out.data() + 8);
    qToLittleEndian(quint32(payload.size()), out.data() + 12);
    qToLittleEndian(reportDocumentChecksum(payload), out.data() + 16);
    return out + payload;
}

long parseErrorNumber(const QByteArray& data, QString* description = nullptr) {
    try {
        parseReportDocument(data, QStringLiteral("/reports/week.rdf"));
    } catch (const Error& e) {
        if (description)
            *description = e.description();
        return e.number();
    }
    return 0;
}

PageCollection smallDocument() {
    PageCollection doc = testpages::dayReport(3, 3);
    doc.pages.resize(1);
    return doc;
}

} // namespace

TEST(ReportDocument, SavedAndReopenedDocumentHoldsEveryItemUnchanged) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("week.rdf"));
    const PageCollection doc = testpages::dayReport(24, 12);
    ASSERT_TRUE(saveReport(doc, path, ReportFormat::Rdf));
    expectSame(doc, loadReportDocument(path));
}

TEST(ReportDocument, FilledCellsComeBackAndOnlyDocumentsWithThemNeedTheNewerVersion) {
    PageCollection plain = smallDocument();
    const QByteArray plainBytes = serializeReportDocument(plain);
    EXPECT_EQ(qFromLittleEndian<quint16>(plainBytes.constData() + 8), 1) << "older readers keep opening it";

    PageCollection shaded = plain;
    shaded.pages[0].items.prepend(FillItem{QRectF(100, 200, 708, 405), QColor(64, 64, 191)});
    shaded.pages[0].items.append(FillItem{QRectF(0, 0, 10, 10), QColor(0, 0, 128)});
    const QByteArray shadedBytes = serializeReportDocument(shaded);
    EXPECT_EQ(qFromLittleEndian<quint16>(shadedBytes.constData() + 8), 2);
    expectSame(shaded, parseReportDocument(shadedBytes, QStringLiteral("shaded.rdf")));

    // A version 1 file cannot hold a fill: the same bytes labelled version 1 are damaged.
    QByteArray relabelled = shadedBytes;
    qToLittleEndian<quint16>(1, relabelled.data() + 8);
    QString why;
    EXPECT_EQ(parseErrorNumber(relabelled, &why), kErrInvalidFileFormat);
    EXPECT_TRUE(why.contains(QStringLiteral("unknown kind 4"))) << why.toStdString();
}

// A chart with a lighter series (a comparison) needs the second version; everything else is
// still written as the first, so older programs keep opening it.
TEST(ReportDocument, ALighterSeriesIsKeptAndRaisesTheVersion) {
    PageCollection doc = testpages::dayReport(24, 12);
    const QByteArray plain = serializeReportDocument(doc);
    EXPECT_EQ(qFromLittleEndian<quint16>(plain.constData() + 8), 1);

    ChartItem* chart = nullptr;
    for (PageItem& item : doc.pages.first().items)
        if (auto* c = std::get_if<ChartItem>(&item))
            chart = c;
    ASSERT_NE(chart, nullptr);
    ChartSeries previous = chart->chart.series.first();
    previous.name = QStringLiteral("Previous");
    previous.lighter = true;
    chart->chart.series.append(previous);
    const QByteArray compared = serializeReportDocument(doc);
    EXPECT_EQ(qFromLittleEndian<quint16>(compared.constData() + 8), 2);
    const PageCollection back = parseReportDocument(compared, QStringLiteral("compared.rdf"));
    expectSame(doc, back);

    // The flag is a byte of 0 or 1; anything else is damage.
    QByteArray payload = compared.mid(20);
    const qsizetype at = payload.lastIndexOf(QByteArray("Previous"));
    ASSERT_GT(at, 0);
    const qsizetype flag = at + 8 + 4 + previous.values.size() * 8;
    ASSERT_EQ(payload.at(flag), 1);
    payload[flag] = 2;
    QString description;
    EXPECT_EQ(parseErrorNumber(withHeader(payload, 2), &description), kErrInvalidFileFormat);
    EXPECT_TRUE(description.contains(QStringLiteral("lighter flag"))) << description.toStdString();
}

// The Users report's horizontal bars come back as horizontal bars. The type is a code in the
// field every version has, so the document stays a first-version one: older programs open it and
// draw it as the 2D bars they know.
TEST(ReportDocument, AHorizontalBarChartComesBackAsOne) {
    PageCollection doc = testpages::dayReport(24, 12);
    for (PageItem& item : doc.pages.first().items)
        if (auto* c = std::get_if<ChartItem>(&item))
            c->chart.chartType = ChartType::HorizontalBar2D;
    const QByteArray bytes = serializeReportDocument(doc);
    EXPECT_EQ(qFromLittleEndian<quint16>(bytes.constData() + 8), 1);
    expectSame(doc, parseReportDocument(bytes, QStringLiteral("users.rdf")));
}

TEST(ReportDocument, ValuesItCouldNotReadBackAreBroughtIntoRangeWhenSaving) {
    PageCollection doc = smallDocument();
    TextItem odd;
    odd.rect = QRectF(std::nan(""), 0, -5, std::numeric_limits<double>::infinity());
    odd.text = QStringLiteral("odd");
    odd.font.pointSize = 0;
    doc.pages[0].items.push_back(odd);
    const PageCollection back = parseReportDocument(serializeReportDocument(doc), QStringLiteral("odd.rdf"));
    const auto& t = std::get<TextItem>(back.pages[0].items.last());
    EXPECT_EQ(t.text, QStringLiteral("odd"));
    EXPECT_EQ(t.rect.x(), 0);
    EXPECT_EQ(t.rect.width(), 0);
    EXPECT_GT(t.font.pointSize, 0);
}

TEST(ReportDocument, EveryTruncationIsRefusedAsDamaged) {
    const QByteArray full = serializeReportDocument(smallDocument());
    const QByteArray payload = full.mid(20);
    for (qsizetype n = 0; n < full.size(); ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(parseErrorNumber(full.left(n)), kErrInvalidFileFormat);
    }
    // The same cuts behind a header that matches them, so the reader meets the missing data
    // itself rather than a length or checksum mismatch.
    for (qsizetype n = 0; n < payload.size(); ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(parseErrorNumber(withHeader(payload.left(n))), kErrInvalidFileFormat);
    }
}

TEST(ReportDocument, ForeignAndDamagedFilesGetAnErrorNamingFileAndReason) {
    const QByteArray good = serializeReportDocument(smallDocument());
    QByteArray flipped = good;
    flipped[good.size() / 2] = char(flipped[good.size() / 2] ^ 0x40);
    struct Case {
        const char* name;
        QByteArray data;
        const char* reason;
    } cases[] = {
        {"pdf", QByteArray("%PDF-1.4\n%\xE2\xE3\n1 0 obj"), "is not a Tallyrow report document"},
        {"empty", QByteArray(), "is not a Tallyrow report document"},
        {"newer", withHeader(good.mid(20), kReportDocumentVersion + 1), "format version 3"},
        {"flipped byte", flipped, "checksum"},
        {"appended", good + "x", "more than its header says"},
        {"unknown item", withHeader(Payload().start().u32(1).u32(1).u8(9).b + QByteArray(60, '\0')),
         "unknown kind 9"},
        {"trailing data", withHeader(Payload().start().u32(0).u8(0).b),
         "unexpected data after the last page"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QString description;
        EXPECT_EQ(parseErrorNumber(c.data, &description), kErrInvalidFileFormat);
        EXPECT_TRUE(description.contains(QStringLiteral("/reports/week.rdf"))) << description.toStdString();
        EXPECT_TRUE(description.contains(QLatin1String(c.reason))) << description.toStdString();
    }
}

TEST(ReportDocument, AbsurdCountsAndValuesAreRefusedBeforeAnythingIsAllocated) {
    const double nan = std::nan("");
    struct Case {
        const char* name;
        QByteArray payload;
        const char* reason;
    } cases[] = {
        {"page count", Payload().start().u32(0xFFFFFFFF).b, "number of pages"},
        {"item count", Payload().start().u32(1).u32(0x7FFFFFFF).b, "number of page items"},
        {"string length", Payload().u32(0xFFFFFFF0).b, "ends in the middle of the title"},
        {"category count",
         Payload()
             .start()
             .u32(1)
             .u32(1)
             .u8(3)
             .f64(0)
             .f64(0)
             .f64(10)
             .f64(10)
             .u32(1)
             .str("")
             .u32(1)
             .u32(1)
             .str("")
             .u32(1)
             .u32(1)
             .u32(6)
             .u8(1)
             .u32(0x40000000)
             .b,
         "number of chart categories"},
        {"not a number", Payload().str("t").f64(nan).f64(15840).b, "impossible value"},
        {"negative width", Payload().str("t").f64(12240).f64(15840).f64(0).f64(0).f64(-1).f64(1).b,
         "impossible value"},
        {"font style",
         Payload()
             .start()
             .u32(1)
             .u32(1)
             .u8(1)
             .f64(0)
             .f64(0)
             .f64(1)
             .f64(1)
             .str("x")
             .str("Tahoma")
             .f64(10)
             .u8(0x80)
             .b,
         "unknown flags"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QString description;
        EXPECT_EQ(parseErrorNumber(withHeader(c.payload), &description), kErrInvalidFileFormat);
        EXPECT_TRUE(description.contains(QLatin1String(c.reason))) << description.toStdString();
    }
}

// Sound in every field, but far beyond any report: such a document would take minutes to show
// or convert, so it is refused with its size.
TEST(ReportDocument, DocumentsBeyondAnyReportAreRefusedWithWhatTheyHold) {
    const PageCollection report = smallDocument();
    const auto chartOf = [](const PageCollection& doc) {
        for (const Page& page : doc.pages)
            for (const PageItem& item : page.items)
                if (std::holds_alternative<ChartItem>(item))
                    return std::get<ChartItem>(item);
        return ChartItem{};
    };
    PageCollection manyCharts = report;
    manyCharts.pages = QVector<Page>(17, Page{{chartOf(report)}});
    PageCollection manyPages = report;
    manyPages.pages.resize(20001);
    PageCollection bigChart = report;
    ChartItem huge = chartOf(report);
    huge.chart.series =
        QVector<ChartSeries>(8, ChartSeries{QStringLiteral("s"), QVector<double>(200000, 1.0), false});
    bigChart.pages = {Page{{huge}}};
    const std::pair<const PageCollection*, const char*> cases[] = {
        {&manyCharts, "it holds more than 16 charts"},
        {&manyPages, "it holds 20001 pages"},
        {&bigChart, "it holds charts of more than 1000000 values"},
    };
    for (const auto& [doc, reason] : cases) {
        SCOPED_TRACE(reason);
        QString why;
        EXPECT_EQ(parseErrorNumber(serializeReportDocument(*doc), &why), kErrInvalidFileFormat);
        EXPECT_TRUE(
            why.startsWith(QStringLiteral("The report document '/reports/week.rdf' is larger than any "
                                          "report: ") +
                           QLatin1String(reason)))
            << why.toStdString();
    }
    EXPECT_EQ(parseErrorNumber(serializeReportDocument(report)), 0);
}

TEST(ReportDocument, LoaderTellsMissingFilesAndFoldersApartFromDamage) {
    QTemporaryDir dir;
    struct Case {
        QString path;
        long number;
    } cases[] = {
        {dir.filePath(QStringLiteral("missing.rdf")), ErrNo::FileNotFound},
        {dir.path(), ErrNo::PathFileAccess},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        try {
            loadReportDocument(c.path);
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), c.number);
            EXPECT_TRUE(e.description().contains(c.path));
            EXPECT_EQ(e.steps().first(), QStringLiteral("reading the report document"));
        }
    }
}

// Documents of earlier builds must keep opening; the same files seed the fuzzer.
// TALLYROW_WRITE_SEEDS=1 rewrites them from the current writer.
TEST(ReportDocument, CheckedInDocumentsStillOpen) {
    const QDir seeds(seedDir());
    if (qEnvironmentVariableIsSet("TALLYROW_WRITE_SEEDS")) {
        PageCollection empty;
        empty.paperSize = QSizeF(12240, 15840);
        testtools::writeFile(seeds.filePath(QStringLiteral("valid-empty.rdf")),
                             serializeReportDocument(empty));
        testtools::writeFile(seeds.filePath(QStringLiteral("valid-day.rdf")),
                             serializeReportDocument(smallDocument()));
    }
    const QStringList valid = seeds.entryList({QStringLiteral("valid-*.rdf")}, QDir::Files);
    ASSERT_GE(valid.size(), 2);
    for (const QString& name : valid) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_NO_THROW(loadReportDocument(seeds.filePath(name)));
    }
    const PageCollection day = loadReportDocument(seeds.filePath(QStringLiteral("valid-day.rdf")));
    EXPECT_EQ(testpages::pageTexts(day, 0), testpages::pageTexts(smallDocument(), 0));
}
