#include "SampleOffice.h"

#include <algorithm>
#include <cmath>
#include <random>

using namespace Qt::StringLiterals;

namespace tallyrow::sample {

namespace {

// Names as an office has them: mixed case, an apostrophe, letters beyond ASCII.
const QStringList kFirstNames = {u"anna"_s,    u"bob"_s,    u"carol"_s,  u"dave"_s,  u"erin"_s,   u"frank"_s,
                                 u"grace"_s,   u"heidi"_s,  u"ivan"_s,   u"judy"_s,  u"Jürgen"_s, u"o'neil"_s,
                                 u"mallory"_s, u"niaj"_s,   u"olivia"_s, u"peggy"_s, u"rupert"_s, u"sybil"_s,
                                 u"trent"_s,   u"victor"_s, u"walter"_s, u"zoë"_s};

std::uint64_t mix(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

} // namespace

int Office::dayNumber(const QDate& date) {
    return static_cast<int>(date.toJulianDay() - QDate(2000, 1, 1).toJulianDay());
}

Office::Office(int users, int computers, std::uint64_t seed) : m_seed(seed) {
    users = std::max(users, 1);
    computers = std::max(computers, 1);
    for (int i = 0; i < users; ++i) {
        const QString& base = kFirstNames[i % kFirstNames.size()];
        m_users.append(i < kFirstNames.size() ? base : base + QString::number(i / kFirstNames.size() + 1));
    }
    // About a quarter of the machines are laptops; the rest are desks, shared when there are
    // more people than desks.
    const int laptops = computers >= 4 ? computers / 4 : 0;
    const int desks = computers - laptops;
    for (int d = 0; d < desks; ++d) {
        m_computers.append(u"OFFICE%1"_s.arg(d + 1));
    }
    for (int l = 0; l < laptops; ++l) {
        m_computers.append(u"LAPTOP-%1"_s.arg(QChar(u'A' + l % 26)) +
                           (l >= 26 ? QString::number(l / 26) : QString()));
    }
    std::mt19937_64 rng(mix(seed));
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    for (int i = 0; i < users; ++i) {
        Person p;
        p.desk = i % desks;
        p.laptop = i < laptops ? desks + i : -1;
        p.start = 7.5 + 2.0 * uni(rng);
        p.end = p.start + 8.0 + uni(rng);
        p.diligence = 0.55 + 0.35 * uni(rng);
        p.holidayWeek = 26 + static_cast<int>(uni(rng) * 8);
        m_people.push_back(p);
    }
}

namespace {

// The hours of a working day from `start` to `end` (hours of the day), each as busy as the
// person's diligence, less at lunch and coffee.
void fillWorkingHours(ActivityRow& row, double start, double end, double diligence,
                      std::normal_distribution<double>& noise, std::mt19937_64& rng) {
    for (int h = 0; h < 24; ++h) {
        const double from = std::max<double>(h, start);
        const double to = std::min<double>(h + 1, end);
        if (to <= from)
            continue;
        double share = (to - from) * diligence * (1.0 + 0.15 * noise(rng));
        if (h == 12)
            share *= 0.35; // lunch
        else if (h == 15)
            share *= 0.85; // coffee
        row.seconds[h] = std::clamp(static_cast<int>(share * 3600), 0, 3600);
    }
}

} // namespace

void Office::day(const QDate& date, std::vector<ActivityRow>& out) const {
    const int dayNo = dayNumber(date);
    const int weekday = date.dayOfWeek(); // 1 Monday .. 7 Sunday
    const bool weekend = weekday >= 6;
    const int week = date.weekNumber();
    std::mt19937_64 rng(mix(m_seed ^ mix(static_cast<std::uint64_t>(dayNo) + 0x5eed)));
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    std::normal_distribution<double> noise(0.0, 1.0);

    for (int u = 0; u < static_cast<int>(m_people.size()); ++u) {
        const Person& p = m_people[u];
        const bool onHoliday = week == p.holidayWeek || week == p.holidayWeek + 1;
        const double roll = uni(rng);
        ActivityRow office{dayNo, u, p.desk, {}};
        ActivityRow mobile{dayNo, u, p.laptop >= 0 ? p.laptop : p.desk, {}};
        bool worked = false;

        if (!weekend && !onHoliday && roll > 0.04) { // the odd sick or free day
            // Laptop owners work from home on some days.
            ActivityRow& row = (p.laptop >= 0 && uni(rng) < 0.2) ? mobile : office;
            const double start = p.start + 0.4 * noise(rng);
            const double end = p.end + 0.5 * noise(rng);
            fillWorkingHours(row, start, end, p.diligence, noise, rng);
            worked = true;
        }
        // Evenings: now and then an hour or two, on the laptop when there is one.
        if (!onHoliday && uni(rng) < (weekend ? 0.04 : 0.12)) {
            ActivityRow& row = p.laptop >= 0 ? mobile : office;
            const int h = 19 + static_cast<int>(uni(rng) * 4);
            row.seconds[h] = std::max(row.seconds[h], static_cast<int>(600 + uni(rng) * 2400));
            if (uni(rng) < 0.4 && h < 23) {
                row.seconds[h + 1] = std::max(row.seconds[h + 1], static_cast<int>(uni(rng) * 1800));
            }
            worked = true;
        }
        // Weekend catch-up mornings.
        if (weekend && !onHoliday && uni(rng) < 0.06) {
            ActivityRow& row = p.laptop >= 0 ? mobile : office;
            for (int h = 10; h < 12 + static_cast<int>(uni(rng) * 3); ++h) {
                row.seconds[h] = static_cast<int>(1200 + uni(rng) * 2000);
            }
            worked = true;
        }
        if (!worked) {
            continue;
        }
        const auto any = [](const ActivityRow& r) {
            return std::any_of(r.seconds.begin(), r.seconds.end(), [](int s) { return s > 0; });
        };
        if (any(office)) {
            out.push_back(office);
        }
        if (p.laptop >= 0 && any(mobile)) {
            out.push_back(mobile);
        }
    }
}

} // namespace tallyrow::sample
