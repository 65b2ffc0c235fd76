#include "output/DeviceWrite.h"
#include "output/ExportFilters.h"
#include "output/PageGrid.h"
#include "support/Printable.h"

#include <QIODevice>

#include <algorithm>
#include <cmath>

namespace tallyrow {

namespace {

// Gaps between bands wider than this (about one and a half lines of 10-point text) become one
// empty line, so the title block, the table and the page footer stay apart without copying the
// page's whole height into the file.
constexpr double kBlankLineGap = 360.0;

int toColumn(double twips) {
    return std::max(0, int(std::lround(twips / kTextTwipsPerChar)));
}

// Lays one band out on character columns, in the order the texts start. A text that would run
// into its left neighbour is pushed right, leaving one blank, so no text is ever cut.
QString bandLine(const PageBand& band) {
    struct Placed {
        int start;
        QString text;
    };
    QVector<Placed> placed;
    for (const engine::TextItem* item : band.texts) {
        // A line break inside a text is a blank; any other control character is shown as its
        // escape, so that nothing in a name acts on the terminal the file is shown in.
        QString text = item->text;
        text.replace(u'\r', u' ').replace(u'\n', u' ').replace(u'\t', u' ').replace(u'\f', u' ');
        text = printable(text.trimmed());
        const int width = int(text.size());
        int start;
        if (item->alignment & Qt::AlignRight)
            start = toColumn(item->rect.right()) - width;
        else if (item->alignment & Qt::AlignHCenter)
            start = toColumn(item->rect.center().x()) - width / 2;
        else
            start = toColumn(item->rect.left());
        placed.push_back({std::max(start, 0), text});
    }
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
        for (const PageBand& band : pageBands(pages.pages[p])) {
            if (band.chart)
                continue;
            if (!first && band.top - previousBottom > kBlankLineGap)
                out += u'\n';
            out += bandLine(band);
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
