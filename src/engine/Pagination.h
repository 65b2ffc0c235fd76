#pragma once

#include <QVector>

namespace tallyrow::engine {

/// The page-breaking arithmetic of a report run, apart from any report: it decides on which
/// page and at which height each band goes. Heights are twips; a hidden section is passed as 0.
///
/// Page 0 starts with the report header; the page header follows it on page 0 only together
/// with the next band that fits under it, and stands at the top of every later page. Bands go
/// under each other while they end at or above the page footer; a band that doesn't fit starts a
/// new page. A band taller than a whole page is put on a page of its own (and overflows it)
/// rather than breaking pages forever.
class Pagination {
public:
    struct Placement {
        int page = 0;
        double top = 0;
    };

    Pagination(double pageHeight, double pageHeaderHeight, double pageFooterHeight);

    /// The report header: top of page 0. Call at most once, before any band.
    Placement placeReportHeader(double height);
    /// A Detail row or the report footer.
    Placement placeBand(double height);
    /// Ends the run: puts the page header on page 0 when nothing else claimed the space under
    /// the report header and it fits there.
    void finish();

    int pageCount() const { return m_pageCount; }
    /// Where the page header stands on `page`; negative when that page has none.
    double pageHeaderTop(int page) const;
    /// Top of the page footer (the same on every page).
    double pageFooterTop() const { return m_pageHeight - m_footerHeight; }
    /// Lowest point a band may reach.
    double bodyBottom() const { return m_pageHeight - m_footerHeight; }

private:
    void startPage();
    void placePendingHeader();

    double m_pageHeight;
    double m_headerHeight;
    double m_footerHeight;
    int m_pageCount = 1;
    double m_y = 0;
    bool m_headerPending = true; ///< the current page still lacks its page header
    bool m_pageHasBand = false;  ///< something besides the page header is on the current page
    QVector<double> m_headerTops{-1.0};
};

} // namespace tallyrow::engine
