#include "output/DeviceWrite.h"
#include "output/ExportFilters.h"
#include "output/PageGrid.h"
#include "support/Printable.h"

#include <QHash>
#include <QIODevice>

#include <algorithm>
#include <array>
#include <cmath>
#include <tuple>
#include <vector>

namespace tallyrow {

namespace {

// Gaps between bands wider than this (about one and a half lines of 10-point text) become one
// empty line, so the title block, the table and the page footer stay apart without copying the
// page's whole height into the file.
constexpr double kBlankLineGap = 360.0;

int toColumn(double twips) {
    return std::max(0, int(std::lround(twips / kTextTwipsPerChar)));
}

// Edges (or centres) of texts this close, in twips, belong to one column of the page.
constexpr double kSameColumn = 180.0;

// A text as the file shows it: a line break inside is a blank; any other control character is
// shown as its escape, so that nothing in a name acts on the terminal the file is shown in.
QString shownText(const engine::TextItem& item) {
    QString text = item.text;
    text.replace(u'\r', u' ').replace(u'\n', u' ').replace(u'\t', u' ').replace(u'\f', u' ');
    return printable(text.trimmed());
}

// The character each text of a page starts at. The heading, the rows and the totals of a table
// column sit a few twips apart on the page and would round onto neighbouring characters one by
// one, so texts whose edges lie that close share one column: left-aligned ones start where the
// leftmost does, right-aligned ones end where the rightmost does, and centred ones (the numbers
// under a centred heading) end together, as wide a box as the widest of them needs.
QHash<const engine::TextItem*, int> textStarts(const QVector<PageBand>& bands) {
    struct Entry {
        double anchor;
        const engine::TextItem* item;
        int width;
        // Centred texts share a column only with texts in boxes as wide (a page number centred
        // under a table column does not belong to it).
        long box = 0;
    };
    std::array<std::vector<Entry>, 3> byKind; // left, right, centred
    for (const PageBand& band : bands)
        for (const engine::TextItem* item : band.texts) {
            const int width = int(shownText(*item).size());
            if (item->alignment & Qt::AlignRight)
                byKind[1].push_back({item->rect.right(), item, width});
            else if (item->alignment & Qt::AlignHCenter)
                byKind[2].push_back(
                    {item->rect.center().x(), item, width, std::lround(item->rect.width() / kSameColumn)});
            else
                byKind[0].push_back({item->rect.left(), item, width});
        }
    QHash<const engine::TextItem*, int> starts;
    for (std::size_t kind = 0; kind < byKind.size(); ++kind) {
        std::vector<Entry>& entries = byKind[kind];
        std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
            return std::tie(a.box, a.anchor) < std::tie(b.box, b.anchor);
        });
        for (std::size_t first = 0; first < entries.size();) {
            std::size_t end = first + 1;
            while (end < entries.size() && entries[end].box == entries[end - 1].box &&
                   entries[end].anchor - entries[end - 1].anchor <= kSameColumn)
                ++end;
            int widest = 0;
            for (std::size_t i = first; i < end; ++i)
                widest = std::max(widest, entries[i].width);
            const double low = entries[first].anchor;
            const double high = entries[end - 1].anchor;
            for (std::size_t i = first; i < end; ++i) {
                const Entry& e = entries[i];
                int start = 0;
                if (kind == 0)
                    start = toColumn(low);
                else if (kind == 1)
                    start = toColumn(high) - e.width;
                else
                    start = toColumn((low + high) / 2) - widest / 2 + (widest - e.width);
                starts.insert(e.item, std::max(start, 0));
            }
            first = end;
        }
    }
    return starts;
}

// Lays one band out on character columns, in the order the texts start. A text that would run
// into its left neighbour is pushed right, leaving one blank, so no text is ever cut.
QString bandLine(const PageBand& band, const QHash<const engine::TextItem*, int>& starts) {
    struct Placed {
        int start;
        QString text;
    };
    QVector<Placed> placed;
    for (const engine::TextItem* item : band.texts)
        placed.push_back({starts.value(item), shownText(*item)});
    std::stable_sort(placed.begin(), placed.end(),
                     [](const Placed& a, const Placed& b) { return a.start < b.start; });
    QString line;
    for (const Placed& p : placed) {
        const int start = line.isEmpty() ? p.start : std::max(p.start, int(line.size()) + 1);
        line += QString(start - int(line.size()), u' ');
        line += p.text;
    }
    return line;
}

} // namespace

QByteArray plainTextExport(const engine::PageCollection& pages) {
    QString out;
    for (qsizetype p = 0; p < pages.pages.size(); ++p) {
        if (p > 0)
            out += u'\f';
        bool first = true;
        double previousBottom = 0;
        const QVector<PageBand> bands = pageBands(pages.pages[p]);
        const QHash<const engine::TextItem*, int> starts = textStarts(bands);
        for (const PageBand& band : bands) {
            if (band.chart)
                continue;
            if (!first && band.top - previousBottom > kBlankLineGap)
                out += u'\n';
            out += bandLine(band, starts);
            out += u'\n';
            previousBottom = band.bottom;
            first = false;
        }
    }
    return out.toUtf8();
}

void writePlainText(const engine::PageCollection& pages, QIODevice& device) {
    writeWholeData(device, plainTextExport(pages), QStringLiteral("text file"),
                   QStringLiteral("writePlainText"));
}

} // namespace tallyrow
