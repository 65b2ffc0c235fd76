#include "datafile/ui/DialogFileChooser.h"

#include <QFileDialog>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace tallyrow {

QStringList qtNameFilters(const QString& filter) {
    QStringList parts = filter.split(u'|');
    if (!parts.isEmpty() && parts.constLast().isEmpty())
        parts.removeLast(); // every item ends in "|", so the last split is empty
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts.at(i + 1).split(u';', Qt::SkipEmptyParts)) {
            const QString p = pattern.trimmed();
            patterns.append(p == u"*.*"_s ? u"*"_s : p);
        }
        if (patterns.isEmpty())
            patterns.append(u"*"_s);
        result.append(parts.at(i) + u" ("_s + patterns.join(u' ') + u')');
    }
    return result;
}

std::optional<QString> DialogFileChooser::chooseFile(QWidget* parent, const QString& title,
                                                     const QString& filter, int filterIndex,
                                                     const QString& initialFolder) {
    QFileDialog dialog(parent, title);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // The descriptions already show their patterns; the converted list is only for matching.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const QStringList filters = qtNameFilters(filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        if (filterIndex >= 1 && filterIndex <= filters.size())
            dialog.selectNameFilter(filters.at(filterIndex - 1));
    }
    const QFileInfo start(initialFolder);
    if (start.isDir()) {
        dialog.setDirectory(initialFolder);
    } else if (start.exists()) {
        dialog.setDirectory(start.absolutePath());
        dialog.selectFile(start.fileName());
    } else if (QFileInfo(start.absolutePath()).isDir()) {
        dialog.setDirectory(start.absolutePath());
    }
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return std::nullopt;
    return files.constFirst();
}

} // namespace tallyrow
