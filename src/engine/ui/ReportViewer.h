#pragma once

#include "engine/PageCollection.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QComboBox;
class QLabel;
class QPrinter;
class QScrollArea;
class QSpinBox;
class QAction;
class QHBoxLayout;
class QToolButton;

namespace tallyrow::engine {

class Report;
class PageView;

/// The report viewer (objectName arvPreview): runs the report it is given and shows its pages one at a
/// time, with page navigation, zoom and printing. It holds no report logic: it only runs the
/// report and draws the page collection that comes out.
class ReportViewer : public QWidget {
    Q_OBJECT
public:
    enum class ZoomMode { FitWidth, FitPage, Percent };

    explicit ReportViewer(QWidget* parent = nullptr);
    ~ReportViewer() override;

    /// Runs `report` (with the locale's default page setup) and shows its pages, then raises
    /// LoadCompleted once. nullptr empties the viewer. The viewer does not own the report.
    void setReportSource(Report* report);
    /// The shown report; nullptr when empty, showing a page collection, or the report is gone.
    Report* reportSource() const;

    /// Shows a page collection without a report (a reopened report document); raises LoadCompleted.
    void setPages(const PageCollection& pages);
    const PageCollection& pages() const { return m_pages; }

    /// Prints every page; with `showDialog` the print dialog comes first (Cancel prints nothing).
    /// Returns true when pages went to the printer.
    bool PrintReport(bool showDialog);
    /// Paints the shown pages (or the printer's chosen page range) onto `printer`.
    bool printTo(QPrinter& printer);
    /// The print job's name in the printer queue (the report, its range and whom it is for);
    /// the pages' title when empty.
    void setJobTitle(const QString& title);
    /// Forgets the printer, orientation, range and copies the print dialog was last left at
    /// (they are kept for the rest of the session otherwise).
    static void forgetPrintChoices();
    /// Offers or holds back the viewer's Print button (shown pages that are out of date); any
    /// newly shown pages offer it again.
    void setPrintEnabled(bool enabled);
    /// Puts a button for `action` at the front of the tool bar (the host's Back, say); the button
    /// follows the action's text, tooltip and enabled state and is named `objectName`.
    void addToolBarAction(QAction* action, const QString& objectName);
    /// Replaces the print dialog (tests); the function returns false for Cancel.
    void setPrintDialogRunner(std::function<bool(QPrinter&, QWidget*)> runner);

    int pageCount() const { return static_cast<int>(m_pages.pages.size()); }
    /// 0-based; -1 when there are no pages.
    int currentPage() const { return m_current; }
    void setCurrentPage(int index);
    void firstPage() { setCurrentPage(0); }
    void previousPage() { setCurrentPage(m_current - 1); }
    void nextPage() { setCurrentPage(m_current + 1); }
    void lastPage() { setCurrentPage(pageCount() - 1); }

    ZoomMode zoomMode() const { return m_zoomMode; }
    /// The zoom in percent of the page's real size on screen (also for the fit modes).
    int zoomPercent() const;
    void setZoomMode(ZoomMode mode);
    /// 50 to 200 percent (clamped); switches to ZoomMode::Percent.
    void setZoomPercent(int percent);

    /// One zoom step in (direction > 0) or out, as Ctrl+wheel and Ctrl+plus/minus do.
    void zoomStep(int direction);

    /// A line shown above the pages (never on them, nor printed), such as a report without
    /// data; cleared whenever other pages are shown. Empty hides it.
    void setNotice(const QString& text);
    QString notice() const;

    /// Text of the last run's unhandled errors, as shown in the viewer's status line.
    QString statusText() const;

    /// The text item of the shown page at `viewPoint` (a point of the page widget): its control
    /// name, and its place among the items of that name from the first page on (the row of a
    /// table); for a chart of categories, "chart" and the category's index; -1 when there is none.
    std::pair<QString, int> textItemAt(QPoint viewPoint) const;

Q_SIGNALS:
    void LoadCompleted();
    void currentPageChanged(int index);
    /// A click on a text of the shown page (a table's row, say): its control name, its place
    /// among the texts of that name from the first page on, and where on the screen it was.
    void textItemClicked(const QString& name, int ordinal, QPoint globalPos);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool pageKey(QKeyEvent* key);
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildToolBar();
    void connectControls();
    void showPages(PageCollection pages);
    void announceReady();
    void updateView();
    void updateControls();
    double pixelsPerTwip() const;

    QPointer<Report> m_report;
    PageCollection m_pages;
    int m_current = -1;
    bool m_printHeld = false;
    QString m_jobTitle;
    ZoomMode m_zoomMode = ZoomMode::FitWidth;
    int m_percent = 100;
    std::function<bool(QPrinter&, QWidget*)> m_printDialog;

    QToolButton* m_first = nullptr;
    QToolButton* m_previous = nullptr;
    QToolButton* m_next = nullptr;
    QToolButton* m_last = nullptr;
    QToolButton* m_print = nullptr;
    QHBoxLayout* m_toolRow = nullptr;
    QSpinBox* m_pageBox = nullptr;
    QLabel* m_pageOf = nullptr;
    QComboBox* m_zoom = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_notice = nullptr;
    int m_wheelRest = 0;
    QScrollArea* m_scroll = nullptr;
    PageView* m_view = nullptr;
};

} // namespace tallyrow::engine
