#include "output/ExportFilters.h"

#include "engine/PagePainter.h"
#include "support/Error.h"

#include <QFileDevice>
#include <QIODevice>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

namespace tallyrow {

namespace {

// Device resolution of the PDF: fine enough that twip positions survive rounding.
constexpr int kPdfResolution = 1440;

} // namespace

void writePdf(const engine::PageCollection& pages, QIODevice& device) {
    engine::registerReportFonts();
    const QSizeF paperTwips = pages.paperSize.isValid() && !pages.paperSize.isEmpty()
                                  ? pages.paperSize
                                  : QSizeF(12240, 15840); // US Letter when the collection has no paper
    const QSizeF paperPoints = paperTwips / 20.0;

    QPdfWriter writer(&device);
    writer.setTitle(pages.title);
    writer.setCreator(QStringLiteral("Tallyrow Reports"));
    writer.setResolution(kPdfResolution);
    // The page items carry their own margins (the printable area), so the PDF page is the whole
    // sheet.
    writer.setPageLayout(
        QPageLayout(QPageSize(paperPoints, QPageSize::Point, QString(), QPageSize::ExactMatch),
                    QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));

    QPainter painter;
    if (!painter.begin(&writer))
        throw Error(ErrNo::PathFileAccess, QStringLiteral("The PDF file could not be started."),
                    QStringLiteral("writePdf"));
    const QRectF sheet(0, 0, paperTwips.width() / engine::kTwipsPerInch * kPdfResolution,
                       paperTwips.height() / engine::kTwipsPerInch * kPdfResolution);
    // A collection without pages still gives a valid PDF: one blank sheet.
    for (qsizetype i = 0; i < pages.pages.size(); ++i) {
        if (i > 0)
            writer.newPage();
        painter.save();
        engine::paintPage(painter, pages, int(i), sheet);
        painter.restore();
    }
    painter.end();
    // QPdfWriter reports no write errors of its own; a device that refused data says so here.
    if (auto* file = qobject_cast<QFileDevice*>(&device); file && file->error() != QFileDevice::NoError)
        throw Error(ErrNo::PathFileAccess,
                    QStringLiteral("The PDF file could not be written: %1").arg(file->errorString()),
                    QStringLiteral("writePdf"));
}

} // namespace tallyrow
