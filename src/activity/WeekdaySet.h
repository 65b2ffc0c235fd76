#pragma once

#include <Qt>

#include <cstdint>
#include <initializer_list>

namespace tallyrow {

/// A set of weekdays, named as Qt names them (Qt::Monday … Qt::Sunday): the weekdays a report
/// counts, or the weekdays a range of dates holds. The data's own numbering (a day number's
/// remainder, Saturday 0) is met only at the query, through remainderMask().
class WeekdaySet {
public:
    constexpr WeekdaySet() = default;
    constexpr WeekdaySet(std::initializer_list<Qt::DayOfWeek> days) {
        for (const Qt::DayOfWeek day : days)
            set(day, true);
    }
    static constexpr WeekdaySet all() {
        WeekdaySet s;
        s.m_bits = 0x7F;
        return s;
    }

    constexpr bool contains(Qt::DayOfWeek day) const { return valid(day) && (m_bits & bit(day)) != 0; }
    constexpr void set(Qt::DayOfWeek day, bool on) {
        if (!valid(day))
            return;
        m_bits = on ? std::uint8_t(m_bits | bit(day)) : std::uint8_t(m_bits & ~bit(day));
    }
    constexpr bool isEmpty() const { return m_bits == 0; }
    constexpr int count() const {
        int n = 0;
        for (std::uint8_t b = m_bits; b != 0; b &= std::uint8_t(b - 1))
            ++n;
        return n;
    }
    /// The days as bits of day-number remainders (bit 0 Saturday, 1 Sunday, … 6 Friday).
    constexpr std::uint8_t remainderMask() const {
        std::uint8_t mask = 0;
        for (int d = Qt::Monday; d <= Qt::Sunday; ++d) {
            if (contains(Qt::DayOfWeek(d)))
                mask |= std::uint8_t(1U << ((d + 1) % 7));
        }
        return mask;
    }

    constexpr bool operator==(const WeekdaySet&) const = default;

private:
    static constexpr bool valid(Qt::DayOfWeek day) { return day >= Qt::Monday && day <= Qt::Sunday; }
    static constexpr std::uint8_t bit(Qt::DayOfWeek day) { return std::uint8_t(1U << (day - 1)); }

    std::uint8_t m_bits = 0; ///< bit 0 Monday … bit 6 Sunday
};

} // namespace tallyrow
