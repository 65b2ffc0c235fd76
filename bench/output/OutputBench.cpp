// Prints how long each save format takes for a 2,000-row report (target: under a second each).
// Run: QT_QPA_PLATFORM=offscreen bench_output [rows]
#include "output/SaveReport.h"

#include "engine/PagePainter.h"

#include "TestPages.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>

using namespace tallyrow;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    engine::registerReportFonts();
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 2000;
    const engine::PageCollection pages = testpages::dayReport(rows, 34);
    QTemporaryDir dir;
    const struct {
        ReportFormat format;
        const char* name;
    } formats[] = {{ReportFormat::Rdf, "report.rdf"},
                   {ReportFormat::Pdf, "report.pdf"},
                   {ReportFormat::Txt, "report.txt"},
                   {ReportFormat::Rtf, "report.rtf"},
                   {ReportFormat::Xls, "report.xls"}};
    std::printf("%d rows on %lld pages\n", rows, static_cast<long long>(pages.pages.size()));
    bool allFast = true;
    for (const auto& f : formats) {
        const QString path = dir.filePath(QString::fromLatin1(f.name));
        qint64 best = -1;
        for (int run = 0; run < 3; ++run) { // best of three, so a busy machine counts less
            QElapsedTimer timer;
            timer.start();
            if (!saveReport(pages, path, f.format)) {
                std::printf("%s: save failed\n", f.name);
                return 1;
            }
            const qint64 ms = timer.elapsed();
            best = best < 0 ? ms : std::min(best, ms);
        }
        allFast = allFast && best < 1000;
        std::printf("%-11s %6lld ms  %9lld bytes\n", f.name, static_cast<long long>(best),
                    static_cast<long long>(QFileInfo(path).size()));
    }
    std::puts(allFast ? "every format under 1 s" : "some format took 1 s or more");
    return 0;
}
