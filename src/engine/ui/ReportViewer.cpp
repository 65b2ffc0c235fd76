#include "engine/ui/ReportViewer.h"

#include "engine/ChartLayout.h"
#include "engine/PagePainter.h"
#include "engine/PageText.h"
#include "engine/Report.h"

#include <QApplication>
#include <QComboBox>
#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPageLayout>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QAccessible>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tallyrow::engine {

/// Draws one page of the viewer's collection at the viewer's zoom, on a grey desk with a shadow.
// The dark margin the page view leaves around the sheet, in pixels.
constexpr int kDesk = 12;

class PageView : public QWidget {
public:
    explicit PageView(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

    void show(const PageCollection* pages, int index, double pixelsPerTwip) {
        m_pages = pages;
        m_index = index;
        m_scale = pixelsPerTwip;
        const bool empty = !pages || index < 0;
        const QSize sheet = empty ? QSize() : sheetSize();
        setFixedSize(empty ? QSize(0, 0) : sheet + QSize(2 * kDesk, 2 * kDesk));
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), palette().color(QPalette::Dark));
        if (!m_pages || m_index < 0)
            return;
        const QRect sheet(QPoint(kDesk, kDesk), sheetSize());
        p.fillRect(sheet.translated(3, 3), QColor(0, 0, 0, 60));
        p.fillRect(sheet, Qt::white);
        paintPage(p, *m_pages, m_index, QRectF(sheet), PaintDetail::Screen);
    }

private:
    QSize sheetSize() const {
        return QSize(static_cast<int>(std::lround(m_pages->paperSize.width() * m_scale)),
                     static_cast<int>(std::lround(m_pages->paperSize.height() * m_scale)));
    }
    const PageCollection* m_pages = nullptr;
    int m_index = -1;
    double m_scale = 0.05;
};

namespace {

QToolButton* toolButton(QWidget* parent, const QString& name, QStyle::StandardPixmap icon,
                        const QString& tip) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setIcon(parent->style()->standardIcon(icon));
    b->setToolTip(tip);
    b->setAccessibleName(tip);
    b->setAutoRaise(true);
    return b;
}

const int kZoomSteps[] = {50, 75, 100, 125, 150, 200};

} // namespace

ReportViewer::ReportViewer(QWidget* parent) : QWidget(parent) {
    registerReportFonts();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    layout->addWidget(buildToolBar());

    m_notice = new QLabel(this);
    m_notice->setObjectName(u"lblViewerNotice"_s);
    m_notice->setAlignment(Qt::AlignCenter);
    m_notice->setWordWrap(true);
    m_notice->setMargin(6);
    m_notice->setAutoFillBackground(true);
    m_notice->setBackgroundRole(QPalette::ToolTipBase);
    m_notice->setForegroundRole(QPalette::ToolTipText);
    m_notice->hide();
    layout->addWidget(m_notice);

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(u"scrPages"_s);
    m_scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_view = new PageView(m_scroll);
    m_view->setObjectName(u"pageView"_s);
    m_scroll->setWidget(m_view);
    m_scroll->setWidgetResizable(false);
    layout->addWidget(m_scroll, 1);
    m_scroll->viewport()->installEventFilter(this);
    m_scroll->installEventFilter(this);
    m_view->installEventFilter(this);

    connectControls();
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(tr("Report viewer"));
    updateControls();
}

QWidget* ReportViewer::buildToolBar() {
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    m_toolRow = row;
    row->setContentsMargins(4, 2, 4, 2);
    m_print = toolButton(bar, u"cmdViewerPrint"_s, QStyle::SP_DialogSaveButton, tr("Print"));
    m_print->setText(tr("Print"));
    m_print->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_first = toolButton(bar, u"cmdFirstPage"_s, QStyle::SP_MediaSkipBackward, tr("First page"));
    m_previous = toolButton(bar, u"cmdPreviousPage"_s, QStyle::SP_MediaSeekBackward, tr("Previous page"));
    m_pageBox = new QSpinBox(bar);
    m_pageBox->setObjectName(u"spnPage"_s);
    m_pageBox->setAccessibleName(tr("Page number"));
    m_pageOf = new QLabel(bar);
    m_pageOf->setObjectName(u"lblPageOf"_s);
    m_next = toolButton(bar, u"cmdNextPage"_s, QStyle::SP_MediaSeekForward, tr("Next page"));
    m_last = toolButton(bar, u"cmdLastPage"_s, QStyle::SP_MediaSkipForward, tr("Last page"));
    m_zoom = new QComboBox(bar);
    m_zoom->setObjectName(u"cboZoom"_s);
    m_zoom->setAccessibleName(tr("Zoom"));
    m_zoom->addItem(tr("Fit width"));
    m_zoom->addItem(tr("Fit page"));
    for (int z : kZoomSteps)
        m_zoom->addItem(u"%1%"_s.arg(z), z);
    m_status = new QLabel(bar);
    m_status->setObjectName(u"lblViewerStatus"_s);
    row->addWidget(m_print);
    row->addSpacing(12);
    row->addWidget(m_first);
    row->addWidget(m_previous);
    row->addWidget(m_pageBox);
    row->addWidget(m_pageOf);
    row->addWidget(m_next);
    row->addWidget(m_last);
    row->addSpacing(12);
    row->addWidget(m_zoom);
    row->addSpacing(12);
    row->addWidget(m_status, 1);
    return bar;
}

void ReportViewer::addToolBarAction(QAction* action, const QString& objectName) {
    auto* button = new QToolButton(m_toolRow->parentWidget());
    button->setObjectName(objectName);
    button->setDefaultAction(action);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setAccessibleName(action->text().remove(u'&'));
    m_toolRow->insertWidget(0, button);
}

void ReportViewer::connectControls() {
    auto zoomKey = [this](const QKeySequence& keys, int direction) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, direction] { zoomStep(direction); });
    };
    zoomKey(QKeySequence::ZoomIn, 1);
    zoomKey(QKeySequence(Qt::CTRL | Qt::Key_Equal), 1); // the plus key without Shift
    zoomKey(QKeySequence::ZoomOut, -1);
    // Ctrl+0: the page at its real size, as in browsers and document viewers.
    auto* actualSize = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_0), this);
    actualSize->setContext(Qt::WidgetWithChildrenShortcut);
    connect(actualSize, &QShortcut::activated, this, [this] { setZoomPercent(100); });

    connect(m_first, &QToolButton::clicked, this, [this] { firstPage(); });
    connect(m_previous, &QToolButton::clicked, this, [this] { previousPage(); });
    connect(m_next, &QToolButton::clicked, this, [this] { nextPage(); });
    connect(m_last, &QToolButton::clicked, this, [this] { lastPage(); });
    connect(m_print, &QToolButton::clicked, this, [this] { PrintReport(true); });
    connect(m_pageBox, &QSpinBox::valueChanged, this, [this](int value) {
        if (value - 1 != m_current && value >= 1)
            setCurrentPage(value - 1);
    });
    connect(m_zoom, &QComboBox::activated, this, [this](int index) {
        if (index == 0)
            setZoomMode(ZoomMode::FitWidth);
        else if (index == 1)
            setZoomMode(ZoomMode::FitPage);
        else
            setZoomPercent(m_zoom->itemData(index).toInt());
    });
}

ReportViewer::~ReportViewer() = default;

void ReportViewer::setReportSource(Report* report) {
    m_report = report;
    if (!report) {
        showPages(PageCollection{});
        m_status->clear();
        return;
    }
    // The run is synchronous: show that something is going on until it ends.
    m_status->setText(tr("Running report..."));
    m_status->repaint();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    report->Run();
    QApplication::restoreOverrideCursor();
    QStringList problems;
    for (const auto& e : report->untoldErrors())
        problems << tr("Error %1: %2").arg(e.number()).arg(e.description());
    m_status->setText(problems.join(u"; "_s));
    showPages(report->pages());
    announceReady();
    emit LoadCompleted();
}

Report* ReportViewer::reportSource() const {
    return m_report.data();
}

void ReportViewer::setPages(const PageCollection& pages) {
    m_report = nullptr;
    m_status->clear();
    showPages(pages);
    announceReady();
    emit LoadCompleted();
}

// A screen reader hears that the report is there, and how long it is.
void ReportViewer::announceReady() {
    setAccessibleDescription(tr("Report ready, %n page(s)", nullptr, pageCount()));
    QAccessibleEvent ready(this, QAccessible::Alert);
    QAccessible::updateAccessibility(&ready);
}

QString ReportViewer::statusText() const {
    return m_status->text();
}

void ReportViewer::setNotice(const QString& text) {
    m_notice->setText(text);
    m_notice->setVisible(!text.isEmpty());
}

QString ReportViewer::notice() const {
    return m_notice->text();
}

void ReportViewer::zoomStep(int direction) {
    const int now = zoomPercent();
    int next = direction > 0 ? kZoomSteps[std::size(kZoomSteps) - 1] : kZoomSteps[0];
    for (int z : kZoomSteps) {
        if (direction > 0 && z > now) {
            next = z;
            break;
        }
        if (direction < 0 && z < now)
            next = z;
    }
    setZoomPercent(next);
}

std::pair<QString, int> ReportViewer::textItemAt(QPoint viewPoint) const {
    if (m_current < 0 || m_current >= pageCount())
        return {QString(), -1};
    const double scale = pixelsPerTwip();
    const QPointF twips((viewPoint.x() - kDesk) / scale - m_pages.printableRect.left(),
                        (viewPoint.y() - kDesk) / scale - m_pages.printableRect.top());
    for (const PageItem& item : m_pages.pages[m_current].items) {
        // A chart answers with the category under the point: a bar, a point, a period.
        if (const auto* chart = std::get_if<ChartItem>(&item); chart && chart->rect.contains(twips)) {
            const int category = categoryAt(layoutChart(chart->chart, chart->rect), twips);
            if (category < 0)
                return {QString(), -1};
            return {QStringLiteral("chart"), category};
        }
        const auto* text = std::get_if<TextItem>(&item);
        if (!text || text->name.isEmpty() || !text->rect.contains(twips))
            continue;
        int ordinal = 0;
        for (int p = 0; p <= m_current; ++p) {
            for (const PageItem& other : m_pages.pages[p].items) {
                if (&other == &item)
                    return {text->name, ordinal};
                if (const auto* t = std::get_if<TextItem>(&other); t && t->name == text->name)
                    ++ordinal;
            }
        }
    }
    return {QString(), -1};
}

bool ReportViewer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_view && event->type() == QEvent::MouseButtonRelease) {
        auto* click = static_cast<QMouseEvent*>(event);
        if (click->button() == Qt::LeftButton) {
            const auto [name, ordinal] = textItemAt(click->position().toPoint());
            if (ordinal >= 0)
                emit textItemClicked(name, ordinal, click->globalPosition().toPoint());
        }
        return false;
    }
    if (watched == m_scroll && event->type() == QEvent::KeyPress)
        return pageKey(static_cast<QKeyEvent*>(event)) || QWidget::eventFilter(watched, event);
    if (watched != m_scroll->viewport() || event->type() != QEvent::Wheel)
        return QWidget::eventFilter(watched, event);
    auto* wheel = static_cast<QWheelEvent*>(event);
    const int delta = wheel->angleDelta().y();
    if (wheel->modifiers() & Qt::ControlModifier) {
        m_wheelRest += delta;
        while (std::abs(m_wheelRest) >= QWheelEvent::DefaultDeltasPerStep) {
            zoomStep(m_wheelRest > 0 ? 1 : -1);
            m_wheelRest -=
                m_wheelRest > 0 ? QWheelEvent::DefaultDeltasPerStep : -QWheelEvent::DefaultDeltasPerStep;
        }
        return true;
    }
    // Scrolling on past the end of a page turns to the next one (and back past its top).
    QScrollBar* bar = m_scroll->verticalScrollBar();
    const bool down = delta < 0;
    const bool atEdge = down ? bar->value() >= bar->maximum() : bar->value() <= bar->minimum();
    const bool canTurn = down ? m_current < pageCount() - 1 : m_current > 0;
    if (delta == 0 || !atEdge || !canTurn) {
        m_wheelRest = 0;
        return QWidget::eventFilter(watched, event);
    }
    m_wheelRest += delta;
    if (std::abs(m_wheelRest) >= QWheelEvent::DefaultDeltasPerStep) {
        m_wheelRest = 0;
        if (down) {
            nextPage();
        } else {
            previousPage();
            bar->setValue(bar->maximum());
        }
    }
    return true;
}

// Page Down scrolls the page and, at its end, turns to the top of the next one; Page Up the
// same way back. True when the key was taken.
bool ReportViewer::pageKey(QKeyEvent* key) {
    const bool down = key->key() == Qt::Key_PageDown;
    if ((!down && key->key() != Qt::Key_PageUp) || key->modifiers() != Qt::NoModifier)
        return false;
    QScrollBar* bar = m_scroll->verticalScrollBar();
    const bool atEdge = down ? bar->value() >= bar->maximum() : bar->value() <= bar->minimum();
    if (!atEdge) {
        bar->triggerAction(down ? QAbstractSlider::SliderPageStepAdd : QAbstractSlider::SliderPageStepSub);
        return true;
    }
    if (down && m_current < pageCount() - 1) {
        nextPage();
    } else if (!down && m_current > 0) {
        previousPage();
        bar->setValue(bar->maximum());
    }
    return true;
}

void ReportViewer::setPrintEnabled(bool enabled) {
    m_printHeld = !enabled;
    updateControls();
}

void ReportViewer::showPages(PageCollection pages) {
    setNotice(QString());
    m_printHeld = false;
    m_pages = std::move(pages);
    m_current = m_pages.pages.isEmpty() ? -1 : 0;
    updateView();
    updateControls();
    m_scroll->verticalScrollBar()->setValue(0);
    emit currentPageChanged(m_current);
}

void ReportViewer::setCurrentPage(int index) {
    if (m_pages.pages.isEmpty())
        return;
    index = qBound(0, index, pageCount() - 1);
    if (index == m_current)
        return;
    m_current = index;
    updateView();
    updateControls();
    m_scroll->verticalScrollBar()->setValue(0);
    emit currentPageChanged(m_current);
}

double ReportViewer::pixelsPerTwip() const {
    const double realSize = logicalDpiX() / kTwipsPerInch;
    if (m_zoomMode == ZoomMode::Percent || m_pages.paperSize.isEmpty())
        return realSize * m_percent / 100.0;
    // The room without scroll bars, whether they show now or not: a fitted page needs none but
    // the vertical one a page taller than the room brings, and the width leaves room for it.
    const QSize room = m_scroll->maximumViewportSize() - QSize(2 * kDesk + 4, 2 * kDesk + 4);
    double byWidth = std::max(1, room.width()) / m_pages.paperSize.width();
    if (m_zoomMode == ZoomMode::FitWidth) {
        if (m_pages.paperSize.height() * byWidth > room.height()) {
            const int bar = m_scroll->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr,
                                                           m_scroll->verticalScrollBar());
            byWidth = std::max(1, room.width() - bar) / m_pages.paperSize.width();
        }
        return byWidth;
    }
    return std::min(byWidth, std::max(1, room.height()) / m_pages.paperSize.height());
}

int ReportViewer::zoomPercent() const {
    return static_cast<int>(std::lround(pixelsPerTwip() / (logicalDpiX() / kTwipsPerInch) * 100.0));
}

void ReportViewer::setZoomMode(ZoomMode mode) {
    m_zoomMode = mode;
    updateView();
    updateControls();
}

void ReportViewer::setZoomPercent(int percent) {
    m_percent = qBound(50, percent, 200);
    m_zoomMode = ZoomMode::Percent;
    updateView();
    updateControls();
}

void ReportViewer::updateView() {
    m_view->show(&m_pages, m_current, pixelsPerTwip());
    // What the page says, in reading order, for a screen reader on the pages or the sheet.
    const QString name =
        m_current < 0 ? tr("No report") : tr("Page %1 of %2").arg(m_current + 1).arg(pageCount());
    const QString text = pageReadingText(m_pages, m_current);
    for (QWidget* w : {static_cast<QWidget*>(m_scroll), static_cast<QWidget*>(m_view)}) {
        w->setAccessibleName(name);
        w->setAccessibleDescription(text);
    }
}

void ReportViewer::updateControls() {
    const int count = pageCount();
    const bool any = count > 0;
    m_first->setEnabled(any && m_current > 0);
    m_previous->setEnabled(any && m_current > 0);
    m_next->setEnabled(any && m_current < count - 1);
    m_last->setEnabled(any && m_current < count - 1);
    m_print->setEnabled(any && !m_printHeld);
    m_pageBox->setEnabled(any);
    {
        const QSignalBlocker block(m_pageBox);
        m_pageBox->setRange(any ? 1 : 0, count);
        m_pageBox->setValue(m_current + 1);
    }
    m_pageOf->setText(any ? tr("of %1").arg(count) : QString());
    const QSignalBlocker block(m_zoom);
    if (m_zoomMode == ZoomMode::FitWidth) {
        m_zoom->setCurrentIndex(0);
    } else if (m_zoomMode == ZoomMode::FitPage) {
        m_zoom->setCurrentIndex(1);
    } else {
        const int index = m_zoom->findData(m_percent);
        if (index >= 0) {
            m_zoom->setCurrentIndex(index);
        } else {
            m_zoom->addItem(u"%1%"_s.arg(m_percent), m_percent);
            m_zoom->setCurrentIndex(m_zoom->count() - 1);
        }
    }
}

void ReportViewer::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_zoomMode != ZoomMode::Percent)
        updateView();
}

void ReportViewer::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_PageDown:
        nextPage();
        break;
    case Qt::Key_PageUp:
        previousPage();
        break;
    case Qt::Key_Home:
        if (event->modifiers() & Qt::ControlModifier)
            firstPage();
        break;
    case Qt::Key_End:
        if (event->modifiers() & Qt::ControlModifier)
            lastPage();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void ReportViewer::setPrintDialogRunner(std::function<bool(QPrinter&, QWidget*)> runner) {
    m_printDialog = std::move(runner);
}

namespace {

// What the print dialog was last left at, kept for the rest of the session: the printer, the
// orientation, the range and the copies.
struct PrintChoices {
    bool made = false;
    QString printerName;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    QPrinter::PrintRange range = QPrinter::AllPages;
    int from = 0;
    int to = 0;
    int copies = 1;
};

PrintChoices& lastPrintChoices() {
    static PrintChoices choices;
    return choices;
}

// The PDF printer (cups-pdf) has no paper to turn: the page it writes is the sheet, and it
// writes an upright sheet with the landscape page lying on its side in it. Asked for the sheet
// across instead, it writes landscape pages, which is what its user opens the file to read. A
// printer with paper keeps its paper upright and turns the landscape page itself.
void askPdfPrinterForThePageAcross(QPrinter& printer) {
    if (printer.outputFormat() != QPrinter::NativeFormat ||
        printer.pageLayout().orientation() != QPageLayout::Landscape ||
        !QPrinterInfo(printer).makeAndModel().contains(u"CUPS-PDF"_s, Qt::CaseInsensitive))
        return;
    const QSizeF upright = printer.pageLayout().pageSize().size(QPageSize::Point);
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setPageSize(QPageSize(upright.transposed(), QPageSize::Point, QString(), QPageSize::ExactMatch));
}

} // namespace

void ReportViewer::setJobTitle(const QString& title) {
    m_jobTitle = title;
}

void ReportViewer::forgetPrintChoices() {
    lastPrintChoices() = PrintChoices{};
}

bool ReportViewer::PrintReport(bool showDialog) {
    if (m_pages.pages.isEmpty())
        return false;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(!m_jobTitle.isEmpty()     ? m_jobTitle
                       : m_pages.title.isEmpty() ? tr("Report")
                                                 : m_pages.title);
    printer.setPageSize(QPageSize(m_pages.paperSize / 20.0, QPageSize::Point));
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setFullPage(true);
    printer.setFromTo(0, 0);
    PrintChoices& last = lastPrintChoices();
    if (last.made) {
        if (!last.printerName.isEmpty())
            printer.setPrinterName(last.printerName);
        printer.setPageOrientation(last.orientation);
        printer.setCopyCount(last.copies);
        if (last.range == QPrinter::PageRange && last.from <= pageCount()) {
            printer.setPrintRange(QPrinter::PageRange);
            printer.setFromTo(last.from, std::min(last.to, pageCount()));
        }
    }
    if (showDialog) {
        bool accepted = false;
        if (m_printDialog) {
            accepted = m_printDialog(printer, this);
        } else {
            QPrintDialog dialog(&printer, this);
            dialog.setMinMax(1, pageCount());
            dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
            dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, true);
            accepted = dialog.exec() == QDialog::Accepted;
            if (accepted && dialog.printRange() == QAbstractPrintDialog::CurrentPage)
                printer.setFromTo(m_current + 1, m_current + 1);
        }
        if (!accepted)
            return false;
        last = PrintChoices{true,
                            printer.printerName(),
                            printer.pageLayout().orientation(),
                            printer.printRange(),
                            printer.fromPage(),
                            printer.toPage(),
                            printer.copyCount()};
    }
    askPdfPrinterForThePageAcross(printer);
    return printTo(printer);
}

namespace {

// Where a page of `paper` goes on a sheet of `sheet`: the whole sheet when their shapes agree,
// else the page at its own proportions, upright and centred. A portrait report on a landscape
// sheet is never turned a quarter: the print system already turns a landscape page onto its
// portrait paper, and a second turn would cancel the first.
QRectF sheetArea(QSizeF sheet, QSizeF paper) {
    if (paper.isEmpty() || (sheet.width() > sheet.height()) == (paper.width() > paper.height()))
        return {QPointF(0, 0), sheet};
    const QSizeF fitted = paper.scaled(sheet, Qt::KeepAspectRatio);
    return {QPointF((sheet.width() - fitted.width()) / 2, (sheet.height() - fitted.height()) / 2), fitted};
}

} // namespace

bool ReportViewer::printTo(QPrinter& printer) {
    if (m_pages.pages.isEmpty())
        return false;
    int from = printer.fromPage();
    int to = printer.toPage();
    if (from <= 0 || to <= 0) {
        from = 1;
        to = pageCount();
    }
    from = qBound(1, from, pageCount());
    to = qBound(from, to, pageCount());
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QPainter painter;
    bool ok = painter.begin(&printer);
    for (int i = from - 1; ok && i < to; ++i) {
        if (i > from - 1)
            ok = printer.newPage();
        if (!ok)
            break;
        // The whole sheet in device pixels; the printer's own unprintable margin is its business.
        const QRectF sheet = printer.paperRect(QPrinter::DevicePixel);
        paintPage(painter, m_pages, i, sheetArea(sheet.size(), m_pages.paperSize));
    }
    if (painter.isActive())
        ok = painter.end() && ok;
    QApplication::restoreOverrideCursor();
    return ok;
}

} // namespace tallyrow::engine
