#include "output/CompoundFile.h"
#include "output/DeviceWrite.h"
#include "output/ExportFilters.h"
#include "output/PageGrid.h"

#include "engine/ChartPainter.h"
#include "support/Error.h"

#include <QFontMetricsF>
#include <QHash>
#include <QIODevice>
#include <QMap>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tallyrow {

using engine::TextItem;

namespace {

// BIFF8 record types.
enum : quint16 {
    rtEOF = 0x000A,
    rtDatemode = 0x0022,
    rtContinue = 0x003C,
    rtWindow1 = 0x003D,
    rtCodepage = 0x0042,
    rtColinfo = 0x007D,
    rtBoundsheet = 0x0085,
    rtPalette = 0x0092,
    rtLeftMargin = 0x0026,
    rtRightMargin = 0x0027,
    rtTopMargin = 0x0028,
    rtBottomMargin = 0x0029,
    rtWsBool = 0x0081,
    rtSetup = 0x00A1,
    rtFont = 0x0031,
    rtXF = 0x00E0,
    rtSST = 0x00FC,
    rtLabelSST = 0x00FD,
    rtExtSST = 0x00FF,
    rtDimensions = 0x0200,
    rtNumber = 0x0203,
    rtWindow2 = 0x023E,
    rtStyle = 0x0293,
    rtBOF = 0x0809,
};

constexpr int kMaxRecordData = 8224;
constexpr int kMaxRows = 65536;
constexpr int kMaxColumns = 256;
constexpr int kMaxCellText = 32767;
// Texts whose anchors lie closer than this share a column (the report's columns are at least
// half an inch apart; 71 and 75 twips, say, are the same column drawn by two sections).
constexpr double kColumnTolerance = 100.0;
constexpr int kFirstOwnFont = 5; // font index 4 does not exist in BIFF
constexpr int kFirstOwnXF = 16;  // 15 style XFs and the default cell XF come first
constexpr int kFirstPaletteIndex = 8;

constexpr quint32 kDefaultPalette[56] = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0x800000, 0x008000,
    0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080, 0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF,
    0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF, 0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000,
    0x008080, 0x0000FF, 0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696, 0x003366, 0x339966,
    0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333,
};

class Bytes {
public:
    Bytes& u8(quint8 v) {
        m_b.append(char(v));
        return *this;
    }
    Bytes& u16(quint16 v) { return raw(qToLittleEndian(v)); }
    Bytes& u32(quint32 v) { return raw(qToLittleEndian(v)); }
    Bytes& f64(double v) {
        quint64 bits;
        std::memcpy(&bits, &v, sizeof bits);
        return raw(qToLittleEndian(bits));
    }
    Bytes& utf16(const QString& s) {
        for (QChar c : s)
            u16(c.unicode());
        return *this;
    }
    /// A string with a one-byte length, stored uncompressed (UTF-16).
    Bytes& shortString(const QString& s) {
        const QString t = s.left(255);
        return u8(quint8(t.size())).u8(1).utf16(t);
    }
    const QByteArray& data() const { return m_b; }
    QByteArray& data() { return m_b; }

private:
    template <typename T> Bytes& raw(T v) {
        m_b.append(reinterpret_cast<const char*>(&v), sizeof v);
        return *this;
    }
    QByteArray m_b;
};

class Stream {
public:
    void record(quint16 type, const QByteArray& data) {
        Bytes h;
        h.u16(type).u16(quint16(data.size()));
        m_b.append(h.data());
        m_b.append(data);
    }
    qsizetype size() const { return m_b.size(); }
    QByteArray& data() { return m_b; }

private:
    QByteArray m_b;
};

struct FontKey {
    QString face;
    int twentieths;
    bool bold;
    bool italic;
    int colorIndex;
    bool operator==(const FontKey&) const = default;
};
size_t qHash(const FontKey& k, size_t seed = 0) {
    return qHashMulti(seed, k.face, k.twentieths, k.bold, k.italic, k.colorIndex);
}

struct Cell {
    int xf;
    bool isNumber;
    double number;
    int sst;
};

// Turns texts into fonts, colours and cell formats, reusing each combination once.
class Styles {
public:
    Styles() { std::copy(std::begin(kDefaultPalette), std::end(kDefaultPalette), m_palette); }

    /// The cell format of `item`; `fill` is the colour behind it (invalid for none).
    int xfFor(const TextItem& item, const QColor& fill) {
        const int font = fontFor(item);
        const int fillIndex = fill.isValid() ? colorIndex(fill) : 0;
        int halign = 1; // left
        if (item.alignment & Qt::AlignRight)
            halign = 3;
        else if (item.alignment & Qt::AlignHCenter)
            halign = 2;
        int valign = 0; // top
        if (item.alignment & Qt::AlignVCenter)
            valign = 1;
        else if (item.alignment & Qt::AlignBottom)
            valign = 2;
        const quint64 key =
            quint64(font) << 16 | quint64(fillIndex) << 8 | quint64(halign) << 4 | quint64(valign);
        auto it = m_xfs.find(key);
        if (it == m_xfs.end()) {
            it = m_xfs.insert(key, kFirstOwnXF + int(m_xfOrder.size()));
            m_xfOrder.push_back({font, halign, valign, fillIndex});
        }
        return it.value();
    }

    void writeGlobals(Stream& s) const {
        // Fonts 0-3: the workbook's default font.
        for (int i = 0; i < 4; ++i)
            s.record(rtFont, font(QStringLiteral("Arial"), 200, false, false, 0x7FFF));
        for (const FontKey& k : m_fontOrder)
            s.record(rtFont, font(k.face, k.twentieths, k.bold, k.italic, k.colorIndex));
        for (int i = 0; i < 15; ++i)
            s.record(rtXF, xf({0, 0, 0, 0}, true));
        s.record(rtXF, xf({0, 0, 0, 0}, false));
        for (const XfSpec& x : m_xfOrder)
            s.record(rtXF, xf(x, false));
        Bytes style;
        style.u16(0x8000).u8(0).u8(0xFF); // built-in "Normal" on XF 0
        s.record(rtStyle, style.data());
        Bytes palette;
        palette.u16(56);
        for (quint32 rgb : m_palette)
            palette.u8(quint8(rgb >> 16)).u8(quint8(rgb >> 8)).u8(quint8(rgb)).u8(0);
        s.record(rtPalette, palette.data());
    }

private:
    struct XfSpec {
        int font, halign, valign;
        int fill; ///< palette index of a solid fill; 0 for none
    };

    int colorIndex(const QColor& color) {
        const quint32 rgb = color.isValid() ? (color.rgb() & 0xFFFFFF) : 0;
        for (int i = 0; i < 56; ++i)
            if (m_palette[i] == rgb) {
                m_used[i] = true;
                return kFirstPaletteIndex + i;
            }
        // A colour the default palette lacks takes the place of one from its end that no cell
        // uses yet; once all are taken the nearest colour stands in.
        while (m_nextCustom >= 16 && m_used[m_nextCustom])
            --m_nextCustom;
        if (m_nextCustom >= 16) {
            m_palette[m_nextCustom] = rgb;
            m_used[m_nextCustom] = true;
            return kFirstPaletteIndex + m_nextCustom--;
        }
        int best = 0;
        long bestDistance = -1;
        for (int i = 0; i < 56; ++i) {
            const long dr = long(m_palette[i] >> 16 & 0xFF) - long(rgb >> 16 & 0xFF);
            const long dg = long(m_palette[i] >> 8 & 0xFF) - long(rgb >> 8 & 0xFF);
            const long db = long(m_palette[i] & 0xFF) - long(rgb & 0xFF);
            const long d = dr * dr + dg * dg + db * db;
            if (bestDistance < 0 || d < bestDistance) {
                bestDistance = d;
                best = i;
            }
        }
        return kFirstPaletteIndex + best;
    }

    int fontFor(const TextItem& item) {
        const FontKey key{item.font.face.left(255),
                          std::clamp(int(std::lround(item.font.pointSize * 20)), 20, 8191), item.font.bold,
                          item.font.italic, colorIndex(item.color)};
        auto it = m_fonts.find(key);
        if (it == m_fonts.end()) {
            it = m_fonts.insert(key, kFirstOwnFont + int(m_fontOrder.size()));
            m_fontOrder.push_back(key);
        }
        return it.value();
    }

    static QByteArray font(const QString& face, int twentieths, bool bold, bool italic, int color) {
        Bytes b;
        b.u16(quint16(twentieths))
            .u16(quint16((bold ? 0x0001 : 0) | (italic ? 0x0002 : 0))) // bit 0 for older readers
            .u16(quint16(color))
            .u16(bold ? 700 : 400);
        b.u16(0).u8(0).u8(0).u8(0).u8(0); // no super/subscript, underline, family, charset
        b.shortString(face);
        return b.data();
    }

    static QByteArray xf(const XfSpec& x, bool style) {
        Bytes b;
        b.u16(quint16(x.font)).u16(0);  // font, number format "General"
        b.u16(style ? 0xFFF5 : 0x0001); // style XF: locked, style flag, no parent; cell XF: locked, parent 0
        b.u8(quint8(x.halign | x.valign << 4)).u8(0).u8(0);
        b.u8(style ? 0x00 : 0xF8); // a cell XF sets its own font, alignment, borders, pattern, protection
        b.u32(0);                  // no borders
        if (x.fill) {
            b.u32(1u << 26);                  // solid pattern
            b.u16(quint16(x.fill | 64 << 7)); // in the fill colour, on the window background
        } else {
            b.u32(0);
            b.u16(64 | 65 << 7); // automatic pattern colours, no fill
        }
        return b.data();
    }

    quint32 m_palette[56] = {};
    int m_nextCustom = 55;
    bool m_used[56] = {};
    QHash<FontKey, int> m_fonts;
    QVector<FontKey> m_fontOrder;
    QMap<quint64, int> m_xfs;
    QVector<XfSpec> m_xfOrder;
};

// The shared-string table, split into CONTINUE records where it outgrows one record; a string's
// header never straddles two records, and a continued string repeats its option byte.
void writeSST(Stream& s, const QVector<QString>& strings, quint32 total) {
    Bytes first;
    first.u32(total).u32(quint32(strings.size()));
    QByteArray current = first.data();
    bool isFirstRecord = true;
    const int perBucket = std::max(8, int((strings.size() + 127) / 128));
    Bytes ext;
    ext.u16(quint16(perBucket));
    auto flush = [&] {
        s.record(isFirstRecord ? rtSST : rtContinue, current);
        isFirstRecord = false;
        current.clear();
    };
    for (qsizetype i = 0; i < strings.size(); ++i) {
        const QString& text = strings[i];
        const qsizetype charBytes = text.size() * 2;
        if (current.size() + 3 + std::min<qsizetype>(charBytes, 2) > kMaxRecordData)
            flush();
        if (i % perBucket == 0)
            ext.u32(quint32(s.size() + 4 + current.size())).u16(quint16(4 + current.size())).u16(0);
        Bytes h;
        h.u16(quint16(text.size())).u8(1);
        current.append(h.data());
        Bytes chars;
        chars.utf16(text);
        qsizetype done = 0;
        while (done < charBytes) {
            qsizetype room = (kMaxRecordData - current.size()) & ~qsizetype(1);
            if (room <= 0) {
                flush();
                current.append(char(1)); // the rest of the string, still UTF-16
                room = (kMaxRecordData - current.size()) & ~qsizetype(1);
            }
            const qsizetype take = std::min(room, charBytes - done);
            current.append(chars.data().constData() + done, take);
            done += take;
        }
    }
    flush();
    s.record(rtExtSST, ext.data());
}

QByteArray bof(quint16 kind) {
    Bytes b;
    b.u16(0x0600).u16(kind).u16(0x0DBB).u16(0x07CC).u32(0).u32(0x06);
    return b.data();
}

// The anchors of every text of every page, clustered into columns, so a column means the same on
// all pages.
QVector<double> sheetColumns(const engine::PageCollection& pages) {
    QVector<double> anchors;
    for (const engine::Page& page : pages.pages)
        for (const engine::PageItem& item : page.items)
            if (const auto* t = std::get_if<TextItem>(&item); t && !t->text.trimmed().isEmpty())
                anchors.push_back(columnAnchor(*t));
    return clusterPositions(anchors, kColumnTolerance);
}

// How wide `item`'s text comes out in its font, in twips.
double textWidth(const TextItem& item) {
    const QFontMetricsF metrics(engine::reportFont(item.font, 20.0));
    return metrics.horizontalAdvance(item.text.trimmed());
}

// The report's texts placed in rows and columns, with the shared strings they use.
struct SheetCells {
    Styles styles;
    QVector<QString> strings;
    QHash<QString, int> stringIndex;
    quint32 stringUses = 0;
    QVector<QMap<int, Cell>> rows;
    int lastColumn = 0;

    QMap<int, double> numberWidths; ///< by column: twips of its widest number

    Cell cellFor(const TextItem& item, const QColor& fill) {
        Cell cell{styles.xfFor(item, fill), false, 0, 0};
        if (isPlainNumber(item.text, &cell.number)) {
            cell.isNumber = true;
            return cell;
        }
        const QString text = item.text.trimmed().left(kMaxCellText);
        auto it = stringIndex.find(text);
        if (it == stringIndex.end()) {
            it = stringIndex.insert(text, int(strings.size()));
            strings.push_back(text);
        }
        cell.sst = it.value();
        ++stringUses;
        return cell;
    }

    void addBand(const PageBand& band, const QVector<double>& columns) {
        QMap<int, Cell> row;
        for (qsizetype k = 0; k < band.texts.size(); ++k) {
            const TextItem* item = band.texts.at(k);
            int col = columnIndex(columns, columnAnchor(*item));
            while (row.contains(col)) // two texts in one column: the later one moves right
                ++col;
            if (col >= kMaxColumns)
                throw Error(ErrNo::Overflow,
                            QStringLiteral("The report has more columns than a spreadsheet can hold."),
                            QStringLiteral("spreadsheetExport"));
            lastColumn = std::max(lastColumn, col);
            row.insert(col, cellFor(*item, band.fills.value(k)));
            // A number wider than its column shows as "###"; a text runs on into the next cell.
            if (row.value(col).isNumber)
                numberWidths[col] = std::max(numberWidths.value(col), textWidth(*item));
        }
        rows.push_back(row);
    }
};

// Printed as the report: on its paper and margins, as many pages down as it takes but one page
// across, so no column (the totals at the right) goes onto a page of its own.
void writePageSetup(Stream& s, const engine::PageCollection& pages) {
    s.record(rtWsBool, Bytes().u16(0x05C1).data()); // the usual flags and "fit to pages"
    const QSizeF paper = pages.paperSize.isEmpty() ? QSizeF(12240, 15840) : pages.paperSize;
    const QRectF area = pages.printableRect.isEmpty() ? QRectF(QPointF(), paper) : pages.printableRect;
    const double margins[] = {area.left(), paper.width() - area.right(), area.top(),
                              paper.height() - area.bottom()};
    const quint16 types[] = {rtLeftMargin, rtRightMargin, rtTopMargin, rtBottomMargin};
    for (int i = 0; i < 4; ++i)
        s.record(types[i], Bytes().f64(std::max(0.0, margins[i]) / engine::kTwipsPerInch).data());
    const bool letter = std::abs(paper.width() - 12240) < 100 && std::abs(paper.height() - 15840) < 100;
    s.record(rtSetup, Bytes()
                          .u16(letter ? 1 : 9) // paper: letter, else A4
                          .u16(100)            // scale, used when not fitting
                          .u16(1)              // first page number
                          .u16(1)              // pages across
                          .u16(0)              // pages down: as many as it takes
                          .u16(0x0002)         // portrait; paper, scale and orientation valid
                          .u16(600)
                          .u16(600)
                          .f64(0.3)
                          .f64(0.3)
                          .u16(1)
                          .data());
}

// The worksheet substream: page setup, dimensions, column widths, the cells.
void writeSheet(Stream& s, const SheetCells& cells, const QVector<double>& columns,
                const engine::PageCollection& pages) {
    const auto& rows = cells.rows;
    const int lastColumn = cells.lastColumn;
    s.record(rtBOF, bof(0x0010));
    writePageSetup(s, pages);
    const bool empty = rows.isEmpty();
    s.record(rtDimensions, Bytes()
                               .u32(0)
                               .u32(empty ? 0 : quint32(rows.size()))
                               .u16(0)
                               .u16(empty ? 0 : quint16(lastColumn + 1))
                               .u16(0)
                               .data());
    for (int c = 0; c <= lastColumn && c < columns.size(); ++c) {
        // Width up to the next column, in 1/256 of a default character (about 105 twips), and
        // room for its widest number.
        double twips = c + 1 < columns.size() ? columns[c + 1] - columns[c] : 1440.0;
        twips = std::max(twips, cells.numberWidths.value(c) + 120.0);
        const int width = std::clamp(int(twips / 105.0 * 256.0), 512, 65280);
        s.record(rtColinfo,
                 Bytes().u16(quint16(c)).u16(quint16(c)).u16(quint16(width)).u16(15).u16(0).u16(0).data());
    }
    for (qsizetype r = 0; r < rows.size(); ++r) {
        for (auto it = rows[r].cbegin(); it != rows[r].cend(); ++it) {
            const Cell& cell = it.value();
            Bytes b;
            b.u16(quint16(r)).u16(quint16(it.key())).u16(quint16(cell.xf));
            if (cell.isNumber) {
                b.f64(cell.number);
                s.record(rtNumber, b.data());
            } else {
                b.u32(quint32(cell.sst));
                s.record(rtLabelSST, b.data());
            }
        }
    }
    s.record(rtWindow2, Bytes().u16(0x06B6).u16(0).u16(0).u16(64).u16(0).u16(0).u16(0).u32(0).data());
    s.record(rtEOF, {});
}

} // namespace

QByteArray spreadsheetExport(const engine::PageCollection& pages) {
    const QVector<double> columns = sheetColumns(pages);
    SheetCells cells;
    for (qsizetype p = 0; p < pages.pages.size(); ++p) {
        if (p > 0)
            cells.rows.push_back({});
        for (const PageBand& band : pageBands(pages.pages[p])) {
            if (!band.chart)
                cells.addBand(band, columns);
        }
    }
    if (cells.rows.size() > kMaxRows)
        throw Error(ErrNo::Overflow, QStringLiteral("The report has more rows than a spreadsheet can hold."),
                    QStringLiteral("spreadsheetExport"));

    // Workbook globals.
    Stream s;
    s.record(rtBOF, bof(0x0005));
    s.record(rtCodepage, Bytes().u16(1200).data());
    s.record(
        rtWindow1,
        Bytes().u16(0).u16(0).u16(0x3000).u16(0x2000).u16(0x0038).u16(0).u16(0).u16(1).u16(0x0258).data());
    s.record(rtDatemode, Bytes().u16(0).data());
    cells.styles.writeGlobals(s);
    const qsizetype boundsheetAt = s.size();
    s.record(rtBoundsheet, Bytes().u32(0).u8(0).u8(0).shortString(QStringLiteral("Report")).data());
    writeSST(s, cells.strings, cells.stringUses);
    s.record(rtEOF, {});

    // The sheet.
    const quint32 sheetStart = quint32(s.size());
    qToLittleEndian(sheetStart, s.data().data() + boundsheetAt + 4);
    writeSheet(s, cells, columns, pages);

    return compoundFile({{QStringLiteral("Workbook"), s.data()}});
}

void writeSpreadsheet(const engine::PageCollection& pages, QIODevice& device) {
    writeWholeData(device, spreadsheetExport(pages), QStringLiteral("spreadsheet"),
                   QStringLiteral("writeSpreadsheet"));
}

} // namespace tallyrow
