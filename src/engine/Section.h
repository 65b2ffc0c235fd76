#pragma once

#include "engine/Control.h"

#include <QString>

#include <memory>
#include <vector>

namespace tallyrow::engine {

enum class SectionKind { ReportHeader, PageHeader, Detail, PageFooter, ReportFooter };

/// A band of the report (header, detail, footer) and the controls laid out in it.
class Section {
public:
    Section(SectionKind kind, QString name, double height);
    SectionKind kind;
    QString name;
    double height; ///< twips
    bool visible = true;
    std::vector<std::unique_ptr<Control>> controls;

    template <typename T> T* add(const QString& controlName) {
        auto c = std::make_unique<T>();
        c->name = controlName;
        T* raw = c.get();
        controls.push_back(std::move(c));
        return raw;
    }
};

} // namespace tallyrow::engine
