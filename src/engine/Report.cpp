#include "engine/Report.h"

#include "engine/Pagination.h"
#include "engine/ValueText.h"
#include "support/Error.h"

#include <QHash>
#include <QLocale>

#include <exception>

using namespace Qt::StringLiterals;

namespace tallyrow::engine {

PageSetup PageSetup::forPageSize(const QPageSize& pageSize) {
    constexpr double layoutWidth = 8930.0;
    const QSizeF points = pageSize.isValid() ? pageSize.size(QPageSize::Point)
                                             : QPageSize(QPageSize::A4).size(QPageSize::Point);
    PageSetup setup;
    // Portrait whatever the size was given as.
    const double w = qMin(points.width(), points.height()) * 20.0;
    const double h = qMax(points.width(), points.height()) * 20.0;
    setup.paperSize = QSizeF(w, h);
    const double side = qBound(360.0, (w - layoutWidth) / 2.0, 1080.0);
    const double topBottom = 720.0;
    setup.printableRect = QRectF(side, topBottom, qMax(0.0, w - 2 * side), qMax(0.0, h - 2 * topBottom));
    return setup;
}

PageSetup PageSetup::forLocaleDefault() {
    const bool letter = QLocale::system().measurementSystem() == QLocale::ImperialUSSystem;
    return forPageSize(QPageSize(letter ? QPageSize::Letter : QPageSize::A4));
}

ChartDefinition chartDefinitionWithData(const ChartDefinition& settings, const RowSet& rows) {
    ChartDefinition definition = settings;
    definition.categories.clear();
    definition.series.clear();
    if (rows.columnCount() == 0)
        return definition;
    definition.categories.reserve(rows.rowCount());
    for (int r = 0; r < rows.rowCount(); ++r)
        definition.categories.append(valueText(rows.value(r, 0)));
    for (int c = 1; c < rows.columnCount(); ++c) {
        ChartSeries series;
        series.name = rows.column(c).name;
        series.values.reserve(rows.rowCount());
        for (int r = 0; r < rows.rowCount(); ++r)
            series.values.append(numericValue(rows.value(r, c)));
        definition.series.append(std::move(series));
    }
    return definition;
}

Report::Report(QObject* parent) : QObject(parent) {
    m_sections[0] = std::make_unique<Section>(SectionKind::ReportHeader, u"ReportHeader"_s, 0.0);
    m_sections[1] = std::make_unique<Section>(SectionKind::PageHeader, u"PageHeader"_s, 0.0);
    m_sections[2] = std::make_unique<Section>(SectionKind::Detail, u"Detail"_s, 0.0);
    m_sections[3] = std::make_unique<Section>(SectionKind::PageFooter, u"PageFooter"_s, 0.0);
    m_sections[4] = std::make_unique<Section>(SectionKind::ReportFooter, u"ReportFooter"_s, 0.0);
}

Report::~Report() = default;

Control* Report::control(const QString& name) {
    for (const auto& section : m_sections) {
        for (const auto& c : section->controls) {
            if (c->name.compare(name, Qt::CaseInsensitive) == 0)
                return c.get();
        }
    }
    return nullptr;
}

Label* Report::label(const QString& name) {
    return dynamic_cast<Label*>(control(name));
}
Field* Report::field(const QString& name) {
    return dynamic_cast<Field*>(control(name));
}
Chart* Report::chart(const QString& name) {
    return dynamic_cast<Chart*>(control(name));
}

bool Report::Error(const tallyrow::Error&) {
    return false;
}

void Report::raiseError(const tallyrow::Error& error) {
    bool told = false;
    try {
        told = Error(error);
    } catch (...) {
        // The report could not tell of it: it stays untold.
    }
    if (!told)
        m_untold.append(error);
}

bool Report::fire(void (Report::*handler)(), const QString& name) {
    try {
        (this->*handler)();
        return true;
    } catch (...) {
        tallyrow::Error error = currentError();
        if (error.steps().isEmpty())
            error.addStep(name);
        raiseError(error);
    }
    return false;
}

namespace {

/// Lays out one run: turns sections into page items while the pagination places them.
class Layout {
public:
    Layout(RowSet& rows, QVector<Page>& pages) : m_rows(rows), m_pages(pages) {}

    /// Grand totals of every summary field, over all rows of the run's row set.
    void computeTotals(const std::unique_ptr<Section>* sections) {
        for (int s = 0; s < 5; ++s) {
            for (const auto& c : sections[s]->controls) {
                auto* f = dynamic_cast<Field*>(c.get());
                if (!f || f->kind != FieldKind::Data || f->summary != SummaryType::GrandTotal)
                    continue;
                const int column = m_rows.columnIndex(f->dataField);
                if (column < 0) {
                    m_totals.insert(f, QString());
                    continue;
                }
                double sum = 0;
                for (int r = 0; r < m_rows.rowCount(); ++r)
                    sum += numericValue(m_rows.value(r, column));
                m_totals.insert(f, plainNumber(sum));
            }
        }
    }

    /// Gives the section's bound fields the values of row `row` (summary fields their total).
    void bind(Section& section, int row) {
        for (const auto& c : section.controls) {
            auto* f = dynamic_cast<Field*>(c.get());
            if (!f || f->kind != FieldKind::Data || f->dataField.isEmpty())
                continue;
            if (f->summary == SummaryType::GrandTotal) {
                f->text = m_totals.value(f);
                continue;
            }
            const int column = m_rows.columnIndex(f->dataField);
            f->text = column < 0 ? QString() : valueText(m_rows.value(row, column));
        }
    }

    void emitSection(const Section& section, int page, double top) {
        while (m_pages.size() <= page)
            m_pages.append(Page{});
        auto& items = m_pages[page].items;
        for (const auto& c : section.controls) {
            if (!c->visible)
                continue;
            const QRectF rect = c->rect.translated(0, top);
            if (c->backColor.isValid())
                items.append(FillItem{rect, c->backColor});
            if (auto* label = dynamic_cast<const Label*>(c.get())) {
                items.append(
                    TextItem{rect, label->caption, label->font, label->color, label->alignment, label->name});
            } else if (auto* f = dynamic_cast<const Field*>(c.get())) {
                QString text = f->text;
                if (f->kind == FieldKind::PageNumber)
                    text = QString::number(page + 1);
                if (f->kind == FieldKind::PageCount)
                    m_pageCountItems.append({page, static_cast<int>(items.size())});
                items.append(TextItem{rect, text, f->font, f->color, f->alignment, f->name});
            } else if (auto* line = dynamic_cast<const Line*>(c.get())) {
                items.append(LineItem{line->from + QPointF(0, top), line->to + QPointF(0, top), line->width,
                                      line->color});
            } else if (auto* chart = dynamic_cast<const Chart*>(c.get())) {
                ChartDefinition definition = chartDefinitionWithData(chart->definition, chart->dataSource);
                for (ChartSeries& s : definition.series)
                    s.lighter = chart->lighterSeries.contains(s.name);
                items.append(ChartItem{rect, std::move(definition)});
            }
        }
    }

    void fillPageCounts(int count) {
        const QString text = QString::number(count);
        for (const auto& [page, index] : m_pageCountItems)
            std::get<TextItem>(m_pages[page].items[index]).text = text;
    }

private:
    RowSet& m_rows;
    QVector<Page>& m_pages;
    QHash<const Field*, QString> m_totals;
    QVector<std::pair<int, int>> m_pageCountItems;
};

double shownHeight(const Section& s) {
    return s.visible ? qMax(0.0, s.height) : 0.0;
}

// Closes the last page and gives every page its header and footer, bound to the page's first row.
void finishPages(Layout& layout, Pagination& pagination, QVector<Page>& pages,
                 const QVector<int>& firstRowOfPage, Section& header, Section& footer) {
    pagination.finish();
    const int pageCount = pagination.pageCount();
    while (pages.size() < pageCount)
        pages.append(Page{});
    for (int page = 0; page < pageCount; ++page) {
        const int firstRow = page < firstRowOfPage.size() ? firstRowOfPage.at(page) : 0;
        const double headerTop = pagination.pageHeaderTop(page);
        if (headerTop >= 0) {
            layout.bind(header, firstRow);
            layout.emitSection(header, page, headerTop);
        }
        if (footer.visible) {
            layout.bind(footer, firstRow);
            layout.emitSection(footer, page, pagination.pageFooterTop());
        }
    }
    layout.fillPageCounts(pageCount);
}

} // namespace

bool Report::Run(const PageSetup& setup) {
    m_cancelled = false;
    m_untold.clear();
    m_pages = PageCollection{};
    m_pages.title = documentTitle;
    m_pages.paperSize = setup.paperSize;
    m_pages.printableRect = setup.printableRect;

    bool ok = fire(&Report::onReportStart, u"ReportStart"_s) && !m_cancelled;
    QVector<Page> pages;
    RowSet rows = m_data.clone();
    Layout layout(rows, pages);
    Pagination pagination(setup.printableRect.height(), shownHeight(PageHeader()), shownHeight(PageFooter()));
    QVector<int> firstRowOfPage{0};
    int lastPageCount = 0;
    auto reportProgress = [&](int page) {
        while (firstRowOfPage.size() <= page)
            firstRowOfPage.append(rows.currentRow());
        if (page + 1 != lastPageCount) {
            lastPageCount = page + 1;
            emit progress(lastPageCount);
        }
    };

    if (ok) {
        layout.computeTotals(m_sections);
        if (ReportHeader().visible) {
            layout.bind(ReportHeader(), 0);
            const auto p = pagination.placeReportHeader(shownHeight(ReportHeader()));
            layout.emitSection(ReportHeader(), p.page, p.top);
        }
        for (rows.toFirst(); ok && !rows.atEnd(); rows.next()) {
            layout.bind(Detail(), rows.currentRow());
            m_detailRow = rows.currentRow();
            ok = fire(&Report::onDetailFormat, u"Detail_Format"_s) && !m_cancelled;
            if (ok && Detail().visible) {
                const auto p = pagination.placeBand(shownHeight(Detail()));
                reportProgress(p.page);
                layout.emitSection(Detail(), p.page, p.top);
            }
        }
    }
    if (ok) {
        layout.bind(ReportFooter(), qMax(0, rows.rowCount() - 1));
        ok = fire(&Report::onReportFooterFormat, u"ReportFooter_Format"_s) && !m_cancelled;
        if (ok && ReportFooter().visible) {
            const auto p = pagination.placeBand(shownHeight(ReportFooter()));
            reportProgress(p.page);
            layout.emitSection(ReportFooter(), p.page, p.top);
        }
    }

    // A run stopped in onReportStart has laid out nothing; otherwise every page started so far gets
    // its page header and footer, so a partial report still reads as pages.
    if (!pages.isEmpty() || (ok && pagination.pageCount() > 0))
        finishPages(layout, pagination, pages, firstRowOfPage, PageHeader(), PageFooter());
    m_pages.pages = std::move(pages);
    m_hasRun = true;
    return ok;
}

} // namespace tallyrow::engine
