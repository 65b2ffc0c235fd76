#include "output/ReportDocument.h"

#include "output/DeviceWrite.h"
#include "support/AtomicFile.h"
#include "support/Error.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include <zlib.h>

namespace tallyrow {

using namespace engine;

namespace {

// Layout of the fixed header; docs/report-document-format.md describes every field.
constexpr char kMagic[8] = {'\x89', 'T', 'R', 'D', 'F', '\r', '\n', '\x1A'};
constexpr qsizetype kHeaderSize = 20;

enum ItemKind : quint8 { KindText = 1, KindLine = 2, KindChart = 3, KindFill = 4 };

// Filled rectangles came with version 2; a document without any is written as version 1, so
// older readers keep opening it.
constexpr quint16 kFirstVersionWithFills = 2;

// Limits that keep a reloaded document paintable: every coordinate within about 7,000 inches,
// paper up to 200 inches (the largest page PDF allows), fonts up to 1,638 points.
constexpr double kMaxCoordinate = 1.0e7;
constexpr double kMaxPaper = 288000.0;
constexpr double kMaxPointSize = 1638.0;
constexpr double kMaxLineWidth = 14400.0;
// Bounds well beyond the largest report the program makes (a Totals report of 100,000 periods
// has two series of that many values and some 2,500 pages; every report has one chart): a
// document beyond them is refused before it is shown or turned into another format, whose cost
// grows with what is drawn.
constexpr qsizetype kMaxPages = 20000;
constexpr qsizetype kMaxItemsPerPage = 20000;
constexpr qsizetype kMaxCharts = 16;
constexpr qsizetype kMaxChartValues = 1000000;

// Smallest encoded sizes, used to refuse counts the remaining data could never hold.
constexpr qsizetype kMinPage = 4;
constexpr qsizetype kMinItem = 1 + 4 * 8 + 4; // a filled rectangle
constexpr qsizetype kMinString = 4;
constexpr qsizetype kMinSeries = 4 + 4;

// ---- writing ----

class Writer {
public:
    void u8(quint8 v) { m_out.append(char(v)); }
    void u16(quint16 v) { raw(qToLittleEndian(v)); }
    void u32(quint32 v) { raw(qToLittleEndian(v)); }
    void i32(qint32 v) { raw(qToLittleEndian(v)); }
    void f64(double v, double lo, double hi) {
        // Values the reader would refuse are brought into range here, so that whatever this
        // program saves it can open again.
        if (!std::isfinite(v))
            v = 0;
        v = std::clamp(v, lo, hi);
        quint64 bits;
        std::memcpy(&bits, &v, sizeof bits);
        raw(qToLittleEndian(bits));
    }
    void coord(double v) { f64(v, -kMaxCoordinate, kMaxCoordinate); }
    void length(double v) { f64(v, 0, kMaxCoordinate); }
    void str(const QString& s) {
        const QByteArray utf8 = s.toUtf8();
        u32(quint32(utf8.size()));
        m_out.append(utf8);
    }
    void rect(const QRectF& r) {
        coord(r.x());
        coord(r.y());
        length(r.width());
        length(r.height());
    }
    void color(const QColor& c) { u32(c.isValid() ? c.rgba() : 0u); }
    QByteArray& data() { return m_out; }

private:
    template <typename T> void raw(T v) { m_out.append(reinterpret_cast<const char*>(&v), sizeof v); }
    QByteArray m_out;
};

/// The oldest version that holds `pages`: 2 only when a page has a filled rectangle or a chart
/// series is drawn lighter.
quint16 versionFor(const PageCollection& pages) {
    for (const Page& page : pages.pages) {
        for (const PageItem& item : page.items) {
            if (std::holds_alternative<FillItem>(item))
                return 2;
            if (const auto* chart = std::get_if<ChartItem>(&item)) {
                for (const ChartSeries& s : chart->chart.series)
                    if (s.lighter)
                        return 2;
            }
        }
    }
    return 1;
}

void writeChart(Writer& w, const ChartItem& chart, quint16 version) {
    w.rect(chart.rect);
    const ChartDefinition& definition = chart.chart;
    w.i32(definition.chartType);
    for (const ChartAxis& axis : definition.axes) {
        w.str(axis.title);
        w.i32(axis.majorGridStyle);
        w.i32(axis.tickStyle);
    }
    w.i32(definition.legendLocation);
    w.u8(definition.showLegend ? 1 : 0);
    w.u32(quint32(definition.categories.size()));
    for (const QString& c : definition.categories)
        w.str(c);
    w.u32(quint32(definition.series.size()));
    for (const ChartSeries& s : definition.series) {
        w.str(s.name);
        w.u32(quint32(s.values.size()));
        for (double v : s.values)
            w.f64(v, -std::numeric_limits<double>::max(), std::numeric_limits<double>::max());
        if (version >= 2)
            w.u8(s.lighter ? 1 : 0);
    }
}

QByteArray payload(const PageCollection& pages, quint16 version) {
    Writer w;
    w.str(pages.title);
    w.f64(pages.paperSize.width(), 1, kMaxPaper);
    w.f64(pages.paperSize.height(), 1, kMaxPaper);
    w.rect(pages.printableRect);
    w.u32(quint32(pages.pages.size()));
    for (const Page& page : pages.pages) {
        w.u32(quint32(page.items.size()));
        for (const PageItem& item : page.items) {
            if (const auto* text = std::get_if<TextItem>(&item)) {
                w.u8(KindText);
                w.rect(text->rect);
                w.str(text->text);
                w.str(text->font.face);
                w.f64(text->font.pointSize, 1.0 / 64, kMaxPointSize);
                w.u8(quint8((text->font.bold ? 1 : 0) | (text->font.italic ? 2 : 0)));
                w.color(text->color);
                w.i32(text->alignment);
                w.str(text->name);
            } else if (const auto* line = std::get_if<LineItem>(&item)) {
                w.u8(KindLine);
                w.coord(line->from.x());
                w.coord(line->from.y());
                w.coord(line->to.x());
                w.coord(line->to.y());
                w.f64(line->width, 0, kMaxLineWidth);
                w.color(line->color);
            } else if (const auto* chart = std::get_if<ChartItem>(&item)) {
                w.u8(KindChart);
                writeChart(w, *chart, version);
            } else if (const auto* fill = std::get_if<FillItem>(&item)) {
                w.u8(KindFill);
                w.rect(fill->rect);
                w.color(fill->color);
            }
        }
    }
    return std::move(w.data());
}

// ---- reading ----

class Reader {
public:
    Reader(QByteArrayView data, const QString& fileName) : m_data(data), m_fileName(fileName) {}

    [[noreturn]] void fail(const QString& reason) const {
        throw Error(kErrInvalidFileFormat,
                    QStringLiteral("The report document '%1' is damaged: %2.").arg(m_fileName, reason));
    }

    qsizetype remaining() const { return m_data.size() - m_pos; }

    void need(qsizetype bytes, const char* what) const {
        if (bytes < 0 || remaining() < bytes)
            fail(QStringLiteral("it ends in the middle of %1").arg(QLatin1String(what)));
    }

    quint8 u8(const char* what) {
        need(1, what);
        return quint8(m_data[m_pos++]);
    }
    quint32 u32(const char* what) { return take<quint32>(what); }
    qint32 i32(const char* what) { return take<qint32>(what); }
    double f64(const char* what, double lo, double hi) {
        const quint64 bits = take<quint64>(what);
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (!std::isfinite(v) || v < lo || v > hi)
            fail(QStringLiteral("%1 holds an impossible value").arg(QLatin1String(what)));
        return v;
    }
    double coord(const char* what) { return f64(what, -kMaxCoordinate, kMaxCoordinate); }
    double length(const char* what) { return f64(what, 0, kMaxCoordinate); }

    QRectF rect(const char* what) {
        const double x = coord(what);
        const double y = coord(what);
        const double w = length(what);
        const double h = length(what);
        return {x, y, w, h};
    }

    QString str(const char* what) {
        const quint32 size = u32(what);
        need(qsizetype(size), what);
        QString s = QString::fromUtf8(m_data.sliced(m_pos, qsizetype(size)));
        m_pos += qsizetype(size);
        return s;
    }

    QColor color(const char* what) { return QColor::fromRgba(u32(what)); }

    /// A count of elements that take at least `minSize` bytes each: refused when the rest of
    /// the data could not hold that many, so a corrupt count never drives an allocation.
    qsizetype count(const char* what, qsizetype minSize) {
        const quint32 n = u32(what);
        if (quint64(n) * quint64(minSize) > quint64(remaining()))
            fail(QStringLiteral("the number of %1 (%2) is more than the file can hold")
                     .arg(QLatin1String(what))
                     .arg(n));
        return qsizetype(n);
    }

private:
    template <typename T> T take(const char* what) {
        need(qsizetype(sizeof(T)), what);
        const T v = qFromLittleEndian<T>(m_data.data() + m_pos);
        m_pos += qsizetype(sizeof(T));
        return v;
    }

    QByteArrayView m_data;
    qsizetype m_pos = 0;
    QString m_fileName;
};

ChartItem readChart(Reader& r, quint16 version) {
    ChartItem chart;
    chart.rect = r.rect("a chart");
    ChartDefinition& definition = chart.chart;
    definition.chartType = r.i32("a chart");
    for (ChartAxis& axis : definition.axes) {
        axis.title = r.str("an axis title");
        axis.majorGridStyle = r.i32("an axis");
        axis.tickStyle = r.i32("an axis");
    }
    definition.legendLocation = r.i32("a chart");
    const quint8 legend = r.u8("a chart");
    if (legend > 1)
        r.fail(QStringLiteral("a chart's legend flag is neither 0 nor 1"));
    definition.showLegend = legend == 1;
    const qsizetype categories = r.count("chart categories", kMinString);
    definition.categories.reserve(categories);
    for (qsizetype i = 0; i < categories; ++i)
        definition.categories.push_back(r.str("a chart category"));
    const qsizetype series = r.count("chart series", kMinSeries);
    definition.series.reserve(series);
    for (qsizetype i = 0; i < series; ++i) {
        ChartSeries s;
        s.name = r.str("a series name");
        const qsizetype values = r.count("series values", 8);
        s.values.reserve(values);
        for (qsizetype v = 0; v < values; ++v)
            s.values.push_back(r.f64("a series value", -std::numeric_limits<double>::max(),
                                     std::numeric_limits<double>::max()));
        if (version >= 2) {
            const quint8 lighter = r.u8("a series");
            if (lighter > 1)
                r.fail(QStringLiteral("a series' lighter flag is neither 0 nor 1"));
            s.lighter = lighter == 1;
        }
        definition.series.push_back(std::move(s));
    }
    return chart;
}

PageItem readItem(Reader& r, quint16 version) {
    const quint8 kind = r.u8("a page item");
    switch (kind) {
    case KindFill:
        if (version < kFirstVersionWithFills)
            break;
        return FillItem{r.rect("a filled rectangle"), r.color("a fill colour")};
    case KindText: {
        TextItem t;
        t.rect = r.rect("a text");
        t.text = r.str("a text");
        t.font.face = r.str("a font name");
        t.font.pointSize = r.f64("a font size", 1.0 / 64, kMaxPointSize);
        const quint8 style = r.u8("a font style");
        if (style > 3)
            r.fail(QStringLiteral("a font style holds unknown flags"));
        t.font.bold = style & 1;
        t.font.italic = style & 2;
        t.color = r.color("a text colour");
        t.alignment = r.i32("a text alignment");
        t.name = r.str("a control name");
        return t;
    }
    case KindLine: {
        LineItem l;
        const double x1 = r.coord("a rule");
        const double y1 = r.coord("a rule");
        const double x2 = r.coord("a rule");
        const double y2 = r.coord("a rule");
        l.from = {x1, y1};
        l.to = {x2, y2};
        l.width = r.f64("a rule width", 0, kMaxLineWidth);
        l.color = r.color("a rule colour");
        return l;
    }
    case KindChart:
        return readChart(r, version);
    default:
        break;
    }
    r.fail(QStringLiteral("it holds a page item of unknown kind %1").arg(kind));
}

} // namespace

quint32 reportDocumentChecksum(QByteArrayView data) {
    return static_cast<quint32>(crc32_z(crc32_z(0, nullptr, 0), reinterpret_cast<const Bytef*>(data.data()),
                                        std::size_t(data.size())));
}

QByteArray serializeReportDocument(const PageCollection& pages) {
    const quint16 used = versionFor(pages);
    const QByteArray body = payload(pages, used);
    QByteArray out;
    out.reserve(kHeaderSize + body.size());
    out.append(kMagic, sizeof kMagic);
    const quint16 version = qToLittleEndian(used);
    const quint16 flags = 0;
    const quint32 size = qToLittleEndian(quint32(body.size()));
    const quint32 crc = qToLittleEndian(reportDocumentChecksum(body));
    out.append(reinterpret_cast<const char*>(&version), 2);
    out.append(reinterpret_cast<const char*>(&flags), 2);
    out.append(reinterpret_cast<const char*>(&size), 4);
    out.append(reinterpret_cast<const char*>(&crc), 4);
    out.append(body);
    return out;
}

void writeReportDocument(const PageCollection& pages, QIODevice& device) {
    writeWholeData(device, serializeReportDocument(pages), QStringLiteral("report document"),
                   QStringLiteral("writeReportDocument"));
}

namespace {

// Checks the header against the body it describes (magic, version, flags, size, checksum) and
// gives the format version.
quint16 checkedVersion(QByteArrayView data, const QString& fileName) {
    if (data.size() < qsizetype(sizeof kMagic) || std::memcmp(data.data(), kMagic, sizeof kMagic) != 0)
        throw Error(kErrInvalidFileFormat,
                    QStringLiteral("The file '%1' is not a Tallyrow report document.").arg(fileName));
    Reader header(data.first(std::min(data.size(), kHeaderSize)), fileName);
    header.need(kHeaderSize, "the file header");
    const quint16 version = qFromLittleEndian<quint16>(data.data() + 8);
    const quint16 flags = qFromLittleEndian<quint16>(data.data() + 10);
    const quint32 size = qFromLittleEndian<quint32>(data.data() + 12);
    const quint32 crc = qFromLittleEndian<quint32>(data.data() + 16);
    if (version == 0 || version > kReportDocumentVersion)
        throw Error(kErrInvalidFileFormat,
                    QStringLiteral("The report document '%1' has format version %2; this program reads "
                                   "versions 1 to %3.")
                        .arg(fileName)
                        .arg(version)
                        .arg(kReportDocumentVersion));
    if (flags != 0)
        header.fail(QStringLiteral("its header holds unknown flags"));
    const QByteArrayView body = data.sliced(kHeaderSize);
    if (quint64(body.size()) < size)
        header.fail(
            QStringLiteral("it is %1 bytes shorter than its header says").arg(quint64(size) - body.size()));
    if (quint64(body.size()) > size)
        header.fail(
            QStringLiteral("it has %1 bytes more than its header says").arg(body.size() - qsizetype(size)));
    if (reportDocumentChecksum(body) != crc)
        header.fail(QStringLiteral("its checksum does not match its contents"));
    return version;
}

} // namespace

PageCollection parseReportDocument(QByteArrayView data, const QString& fileName) {
    const quint16 version = checkedVersion(data, fileName);
    Reader r(data.sliced(kHeaderSize), fileName);
    PageCollection doc;
    doc.title = r.str("the title");
    const double paperWidth = r.f64("the paper size", 1, kMaxPaper);
    const double paperHeight = r.f64("the paper size", 1, kMaxPaper);
    doc.paperSize = {paperWidth, paperHeight};
    doc.printableRect = r.rect("the printable area");
    const auto tooLarge = [&](const QString& what) {
        throw Error(kErrInvalidFileFormat,
                    QStringLiteral("The report document '%1' is larger than any report: it holds %2.")
                        .arg(fileName, what));
    };
    const qsizetype pageCount = r.count("pages", kMinPage);
    if (pageCount > kMaxPages)
        tooLarge(QStringLiteral("%1 pages, where a report has at most %2").arg(pageCount).arg(kMaxPages));
    doc.pages.reserve(pageCount);
    qsizetype charts = 0;
    qsizetype chartValues = 0;
    for (qsizetype p = 0; p < pageCount; ++p) {
        Page page;
        const qsizetype items = r.count("page items", kMinItem);
        if (items > kMaxItemsPerPage)
            tooLarge(QStringLiteral("%1 items on page %2, where a page has at most %3")
                         .arg(items)
                         .arg(p + 1)
                         .arg(kMaxItemsPerPage));
        page.items.reserve(items);
        for (qsizetype i = 0; i < items; ++i) {
            page.items.push_back(readItem(r, version));
            if (const auto* chart = std::get_if<ChartItem>(&page.items.back())) {
                if (++charts > kMaxCharts)
                    tooLarge(QStringLiteral("more than %1 charts").arg(kMaxCharts));
                for (const ChartSeries& series : chart->chart.series)
                    chartValues += series.values.size();
                chartValues += chart->chart.categories.size();
                if (chartValues > kMaxChartValues)
                    tooLarge(QStringLiteral("charts of more than %1 values").arg(kMaxChartValues));
            }
        }
        doc.pages.push_back(std::move(page));
    }
    if (r.remaining() != 0)
        r.fail(QStringLiteral("it holds unexpected data after the last page"));
    return doc;
}

bool isReportDocumentFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray start = file.read(sizeof kMagic);
    return start.size() == qsizetype(sizeof kMagic) && std::memcmp(start.data(), kMagic, sizeof kMagic) == 0;
}

PageCollection loadReportDocument(const QString& path) {
    return withStep(QStringLiteral("reading the report document"), [&] {
        QFile file(path);
        const QFileInfo info(path);
        if (!info.exists())
            throw Error(ErrNo::FileNotFound,
                        QStringLiteral("The report document '%1' does not exist.").arg(path));
        if (info.isDir())
            throw Error(ErrNo::PathFileAccess,
                        QStringLiteral("'%1' is a folder, not a report document.").arg(path));
        // Opening a pipe or a device for reading would wait for a writer or read without end.
        if (const auto kind = nonRegularFileKind(path))
            throw Error(ErrNo::PathFileAccess,
                        QStringLiteral("'%1' is %2, not a regular file.").arg(path, *kind));
        if (!file.open(QIODevice::ReadOnly))
            throw Error(ErrNo::PermissionDenied,
                        QStringLiteral("The report document '%1' cannot be opened: %2")
                            .arg(path, file.errorString()));
        if (file.size() > kMaxReportDocumentSize)
            throw Error(kErrInvalidFileFormat,
                        QStringLiteral("The file '%1' is too large to be a report document.").arg(path));
        const QByteArray data = file.read(kMaxReportDocumentSize + 1);
        if (file.error() != QFileDevice::NoError)
            throw Error(
                ErrNo::PathFileAccess,
                QStringLiteral("The report document '%1' cannot be read: %2").arg(path, file.errorString()));
        if (data.size() > kMaxReportDocumentSize)
            throw Error(kErrInvalidFileFormat,
                        QStringLiteral("The file '%1' is too large to be a report document.").arg(path));
        return parseReportDocument(data, path);
    });
}

} // namespace tallyrow
