#include "dateselector/TypedDate.h"

#include <QList>

#include <algorithm>
#include <optional>

namespace tallyrow {

namespace {

enum class Part { Day, Month, Year };

struct Token {
    QString text;
    bool digits = false;
};

// Runs of digits and runs of letters; everything else separates.
std::optional<QList<Token>> tokenize(const QString& text) {
    QList<Token> tokens;
    for (const QChar c : text) {
        const bool digit = c.isDigit();
        const bool letter = c.isLetter();
        if (!digit && !letter) {
            if (!c.isSpace() && !c.isPunct() && !c.isSymbol())
                return std::nullopt;
            if (!tokens.isEmpty() && !tokens.last().text.isEmpty())
                tokens.append(Token{});
            continue;
        }
        if (tokens.isEmpty() || (!tokens.last().text.isEmpty() && tokens.last().digits != digit))
            tokens.append(Token{});
        tokens.last().text.append(c);
        tokens.last().digits = digit;
    }
    if (!tokens.isEmpty() && tokens.last().text.isEmpty())
        tokens.removeLast();
    return tokens;
}

// The order of day, month and year in the locale's short format ("dd/MM/yyyy": day first).
QList<Part> partOrder(const QLocale& locale) {
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    QList<std::pair<qsizetype, Part>> at{{format.indexOf(u'd'), Part::Day},
                                         {format.indexOf(u'M'), Part::Month},
                                         {format.indexOf(u'y'), Part::Year}};
    std::sort(at.begin(), at.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QList<Part> order;
    for (const auto& [index, part] : at)
        order.append(part);
    return order;
}

// The month a word names: 1–12, 0 for a beginning shared by several or still short, -1 for none.
int monthOfWord(const QString& word, const QLocale& locale) {
    const QLocale english(QLocale::English);
    int found = 0;
    bool partial = false;
    for (int m = 1; m <= 12; ++m) {
        for (const QLocale& l : {locale, english}) {
            for (const QString& name :
                 {l.monthName(m, QLocale::LongFormat), l.monthName(m, QLocale::ShortFormat),
                  l.standaloneMonthName(m, QLocale::LongFormat),
                  l.standaloneMonthName(m, QLocale::ShortFormat)}) {
                QString plain = name;
                plain.remove(u'.');
                if (plain.compare(word, Qt::CaseInsensitive) == 0)
                    return m;
                if (plain.startsWith(word, Qt::CaseInsensitive)) {
                    partial = true;
                    if (word.size() >= 3 && (found == 0 || found == m))
                        found = m;
                    else if (word.size() >= 3)
                        found = -2; // several months begin so
                }
            }
        }
    }
    if (found > 0)
        return found;
    return partial ? 0 : -1;
}

// How a number typed for a part stands: -1 impossible, 0 unfinished, 1 done.
int numberState(const QString& digits, Part part, bool last) {
    const int value = digits.toInt();
    if (part == Part::Year)
        return digits.size() > 4 ? -1 : digits.size() == 4 ? 1 : 0;
    const int most = part == Part::Day ? 31 : 12;
    if (digits.size() > 2 || value > most)
        return -1;
    if (value == 0)
        return digits.size() == 1 && last ? 0 : -1;
    return 1;
}

} // namespace

TypedDate readTypedDate(const QString& text, const QLocale& locale) {
    const auto tokens = tokenize(text);
    if (!tokens || tokens->size() > 3)
        return {};
    QList<Part> order = partOrder(locale);
    if (!tokens->isEmpty() && tokens->first().digits && tokens->first().text.size() == 4)
        order = {Part::Year, Part::Month, Part::Day};
    // A named month takes the month's place; the numbers keep the format's order of the others.
    int named = -1;
    for (qsizetype i = 0; i < tokens->size(); ++i)
        if (!tokens->at(i).digits) {
            if (named >= 0)
                return {};
            named = static_cast<int>(i);
        }
    if (named >= 0) {
        order.removeAll(Part::Month);
        order.insert(named, Part::Month);
    }
    int day = 0;
    int month = 0;
    int year = 0;
    bool finished = tokens->size() == 3;
    for (qsizetype i = 0; i < tokens->size(); ++i) {
        const Token& token = tokens->at(i);
        const bool last = i + 1 == tokens->size();
        const Part part = order.at(i);
        int state = 0;
        int value = 0;
        if (token.digits) {
            state = numberState(token.text, part, last);
            value = token.text.toInt();
        } else {
            value = monthOfWord(token.text, locale);
            state = value > 0 ? 1 : value == 0 && last ? 0 : -1;
        }
        if (state < 0)
            return {};
        finished = finished && state > 0;
        (part == Part::Day ? day : part == Part::Month ? month : year) = value;
    }
    if (!finished)
        return {TypedDate::State::Partial, {}};
    const QDate date(year, month, day);
    if (!date.isValid())
        return {};
    return {TypedDate::State::Complete, date};
}

} // namespace tallyrow
