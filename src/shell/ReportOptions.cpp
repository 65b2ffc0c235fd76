#include "shell/ReportOptions.h"

#include "shell/UserList.h"
#include "support/Error.h"

#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace tallyrow {

WeekdaySet availableWeekdays(const DateRange& range) {
    const qint64 n = range.start.daysTo(range.end);
    if (n >= 6)
        return WeekdaySet::all();
    WeekdaySet available;
    for (qint64 k = 0; k <= n; ++k)
        available.set(Qt::DayOfWeek((range.start.dayOfWeek() - 1 + k) % 7 + 1), true);
    return available;
}

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

} // namespace

bool isNumericText(const QString& text, const QLocale& locale) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    const QString decimal = locale.decimalPoint();
    const QString group = locale.groupSeparator();
    qsizetype i = 0;
    if (t[i] == u'+' || t[i] == u'-')
        ++i;
    bool digits = false;
    bool inFraction = false;
    while (i < t.size()) {
        if (t[i].isDigit()) {
            digits = true;
            ++i;
        } else if (!inFraction && !decimal.isEmpty() && t.mid(i, decimal.size()) == decimal) {
            inFraction = true;
            i += decimal.size();
        } else if (!inFraction && digits && !group.isEmpty() && t.mid(i, group.size()) == group) {
            i += group.size();
        } else {
            break;
        }
    }
    if (!digits)
        return false;
    if (i < t.size() && (t[i] == u'e' || t[i] == u'E')) {
        ++i;
        if (i < t.size() && (t[i] == u'+' || t[i] == u'-'))
            ++i;
        const qsizetype expStart = i;
        while (i < t.size() && t[i].isDigit())
            ++i;
        if (i == expStart)
            return false;
    }
    return i == t.size();
}

double leadingNumber(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    QString number;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        number += text[i++];
    bool digits = false;
    while (i < text.size() && text[i].isDigit()) {
        number += text[i++];
        digits = true;
    }
    if (i < text.size() && text[i] == u'.') {
        number += text[i++];
        while (i < text.size() && text[i].isDigit()) {
            number += text[i++];
            digits = true;
        }
    }
    if (!digits)
        return 0.0;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        QString exponent = u"e"_s;
        if (j < text.size() && (text[j] == u'+' || text[j] == u'-'))
            exponent += text[j++];
        const qsizetype expDigits = j;
        while (j < text.size() && text[j].isDigit())
            exponent += text[j++];
        if (j > expDigits)
            number += exponent;
    }
    bool ok = false;
    const double value = number.toDouble(&ok);
    if (!ok) // only an exponent too large for a double gets here
        return number.startsWith(u'-') ? -std::numeric_limits<double>::infinity()
                                       : std::numeric_limits<double>::infinity();
    return value;
}

std::int32_t ReadUnits(const QString& text) {
    const double rounded = std::nearbyint(leadingNumber(text)); // the default mode rounds halves to even
    if (!std::isfinite(rounded) || rounded < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        throw Error(ErrNo::Overflow, u"Overflow"_s, u"ReadUnits"_s);
    return static_cast<std::int32_t>(rounded);
}

namespace {

QString withoutAngleBrackets(QString text) {
    text.remove(u'<');
    text.remove(u'>');
    text.replace(u'/', u'-');
    return trimSpaces(text);
}

} // namespace

QString reportNameFor(const QString& userFilter, const QString& computerFilter) {
    QString u = withoutAngleBrackets(userFilter);
    if (!u.isEmpty())
        u += u" - "_s;
    const QString name = u + withoutAngleBrackets(computerFilter);
    return name.isEmpty() ? u"Usage Report"_s : u"Usage Report - "_s + name;
}

} // namespace tallyrow
