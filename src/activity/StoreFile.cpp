#include "activity/StoreFile.h"

#include "support/AtomicFile.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <type_traits>

using namespace Qt::StringLiterals;

namespace tallyrow {

// The mapped sections are read in place, so their records must lie in memory exactly as the
// format writes them: little-endian, no padding.
static_assert(std::endian::native == std::endian::little, "saved copies are mapped as little-endian");
static_assert(sizeof(ActivityStore::Pair) == 32 && offsetof(ActivityStore::Pair, firstDay) == 16 &&
              offsetof(ActivityStore::Pair, firstSource) == 24);
static_assert(sizeof(ActivityStore::DayFigures) == 576 && offsetof(ActivityStore::DayFigures, count) == 192 &&
              offsetof(ActivityStore::DayFigures, max) == 288 &&
              offsetof(ActivityStore::DayFigures, min) == 336 &&
              offsetof(ActivityStore::DayFigures, maxCount) == 384 &&
              offsetof(ActivityStore::DayFigures, minCount) == 480);
static_assert(sizeof(ActivityStore::SourceLeaf) == 32 && offsetof(ActivityStore::SourceLeaf, low) == 8 &&
              offsetof(ActivityStore::SourceLeaf, sum) == 24);

namespace {

constexpr char kMagic[16] = {'T', 'A', 'L', 'L', 'Y', 'R', 'O',  'W',
                             '-', 'S', 'T', 'O', 'R', 'E', '\n', '\0'};
constexpr char kDeltaMagic[16] = {'T', 'A', 'L', 'L', 'Y', 'R', 'O',  'W',
                                  '-', 'D', 'E', 'L', 'T', 'A', '\n', '\0'};
constexpr std::size_t kAlign = 64;
constexpr std::uint32_t kIgnoreCase = 1;
constexpr std::uint32_t kKeyIndexOrder = 2;
constexpr std::size_t kMaxNames = std::size_t(1) << 26;

enum Section {
    Names,
    Pairs,
    Days,
    DayFigures,
    RunningTotal,
    RowDay,
    RowHours,
    BlockSums,
    RowSource,
    Leaves,
    SectionCount
};
// The leaves section: page size u32, root page u32, leaf count u64, then the leaves.
constexpr std::size_t kLeavesHeader = 16;

struct SectionEntry {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint64_t sum = 0;
};

// The fields of the header after the identity, in the order they are written.
struct Counts {
    std::uint32_t flags = 0;
    std::uint64_t rows = 0;
    std::uint64_t pairs = 0;
    std::uint64_t days = 0;
    std::uint32_t users = 0;
    std::uint32_t computers = 0;
    std::uint32_t blockRows = 0;
};

// Little-endian fields appended one by one.
class Fields {
public:
    QByteArray bytes;
    template <typename T> void put(T v) {
        static_assert(std::is_integral_v<T>);
        for (std::size_t i = 0; i < sizeof(T); ++i)
            bytes.append(char(std::uint8_t(std::make_unsigned_t<T>(v) >> (8 * i))));
    }
    void text(const QString& s) {
        const QByteArray u = s.toUtf8();
        put(std::uint32_t(u.size()));
        bytes.append(u);
    }
};

class FieldReader {
public:
    FieldReader(const char* p, std::size_t size) : m_p(p), m_end(p + size) {}
    template <typename T> bool get(T& v) {
        if (std::size_t(m_end - m_p) < sizeof(T))
            return false;
        std::make_unsigned_t<T> u = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            u |= std::make_unsigned_t<T>(std::uint8_t(m_p[i])) << (8 * i);
        v = T(u);
        m_p += sizeof(T);
        return true;
    }
    bool text(QString& s) {
        std::uint32_t n = 0;
        if (!get(n) || n > std::size_t(m_end - m_p))
            return false;
        s = QString::fromUtf8(m_p, qsizetype(n));
        m_p += n;
        return true;
    }
    bool bytes(QByteArray& b, std::size_t n) {
        if (n > std::size_t(m_end - m_p))
            return false;
        b = QByteArray(m_p, qsizetype(n));
        m_p += n;
        return true;
    }
    std::size_t consumed(const char* start) const { return std::size_t(m_p - start); }

private:
    const char* m_p;
    const char* m_end;
};

std::size_t aligned(std::size_t at) {
    return (at + kAlign - 1) / kAlign * kAlign;
}

QByteArray namesSection(const ActivityStore& store) {
    Fields f;
    for (const auto* names : {&store.users(), &store.computers()}) {
        for (const QString& n : *names)
            f.text(n);
    }
    return f.bytes;
}

// Records laid out in memory exactly as the format writes them (see the static_asserts above).
template <typename T> QByteArray recordsSection(const T* records, std::size_t count) {
    return QByteArray(reinterpret_cast<const char*>(records), qsizetype(count * sizeof(T)));
}

template <typename T> QByteArray arraySection(const T* values, std::size_t count) {
    Fields f;
    f.bytes.reserve(static_cast<qsizetype>(count) * static_cast<qsizetype>(sizeof(T)));
    for (std::size_t i = 0; i < count; ++i)
        f.put(values[i]);
    return f.bytes;
}

// The bytes of the file as they are handed to the writer, with the place they have reached.
class Output {
public:
    explicit Output(const std::function<bool(const char*, std::size_t)>& write) : m_write(write) {}
    bool write(const char* data, std::size_t size) {
        if (size == 0)
            return true;
        m_at += size;
        return m_write(data, size);
    }
    bool padTo(std::size_t at) {
        static const char zeros[kAlign] = {};
        while (m_at < at) {
            if (!write(zeros, std::min(kAlign, at - m_at)))
                return false;
        }
        return m_at == at;
    }

private:
    const std::function<bool(const char*, std::size_t)>& m_write;
    std::size_t m_at = 0;
};

struct Layout {
    Counts counts;
    std::array<SectionEntry, SectionCount> sections{};
    std::array<QByteArray, SectionCount> small; ///< the bytes of every section but the rows
};

Layout layoutOf(const ActivityStore& store, const ActivityStore::Columns& c) {
    Layout l;
    l.counts.flags = (store.grouping().namesIgnoreCase ? kIgnoreCase : 0) |
                     (store.grouping().keyIndexOrder ? kKeyIndexOrder : 0);
    l.counts.rows = c.rows;
    l.counts.pairs = c.pairCount;
    l.counts.days = c.dayCount;
    l.counts.users = std::uint32_t(store.users().size());
    l.counts.computers = std::uint32_t(store.computers().size());
    l.counts.blockRows = std::uint32_t(ActivityStore::kBlockRows);
    l.small[Names] = namesSection(store);
    l.small[Pairs] = recordsSection(c.pairs, c.pairCount);
    l.small[Days] = arraySection(c.days, c.dayCount);
    l.small[DayFigures] = recordsSection(c.dayFigures, c.dayCount);
    l.small[RunningTotal] = arraySection(c.runningTotal, c.dayCount);
    std::vector<std::uint64_t> sums((c.rows + ActivityStore::kBlockRows - 1) / ActivityStore::kBlockRows);
    for (std::size_t b = 0; b < sums.size(); ++b) {
        const std::size_t first = b * ActivityStore::kBlockRows;
        sums[b] = ActivityStore::blockChecksum(c.rowDay + first, c.rowHours + first * 24,
                                               std::min(ActivityStore::kBlockRows, c.rows - first));
    }
    l.small[BlockSums] = arraySection(sums.data(), sums.size());
    if (c.source.pageSize != 0) {
        Fields f;
        f.put(c.source.pageSize);
        f.put(c.source.root);
        f.put(std::uint64_t(c.source.leafCount));
        l.small[Leaves] = f.bytes + recordsSection(c.source.leaves, c.source.leafCount);
    }
    for (int s = 0; s < SectionCount; ++s) {
        l.sections[s].size = std::uint64_t(l.small[s].size());
        l.sections[s].sum = ActivityStore::checksum(l.small[s].constData(), std::size_t(l.small[s].size()));
    }
    l.sections[RowDay].size = c.rows * sizeof(std::int32_t);
    l.sections[RowHours].size = c.rows * 24 * sizeof(std::uint16_t);
    l.sections[RowDay].sum = l.sections[RowHours].sum = 0; // covered by the block sums
    if (c.rowSource) {
        l.sections[RowSource].size = c.rows * sizeof(std::int64_t);
        l.sections[RowSource].sum = ActivityStore::checksum(c.rowSource, c.rows * sizeof(std::int64_t));
    }
    return l;
}

QByteArray headerBytes(const Layout& l, const QByteArray& identity, std::uint32_t rulesVersion,
                       const char* magic) {
    Fields f;
    f.bytes.append(magic, sizeof(kMagic));
    f.put(StoreFile::kFormatVersion);
    f.put(rulesVersion);
    f.put(std::uint32_t(identity.size()));
    f.bytes.append(identity);
    f.put(l.counts.flags);
    f.put(l.counts.rows);
    f.put(l.counts.pairs);
    f.put(l.counts.days);
    f.put(l.counts.users);
    f.put(l.counts.computers);
    f.put(l.counts.blockRows);
    for (const SectionEntry& s : l.sections) {
        f.put(s.offset);
        f.put(s.size);
        f.put(s.sum);
    }
    f.put(ActivityStore::checksum(f.bytes.constData(), std::size_t(f.bytes.size())));
    return f.bytes;
}

// The rows' days (`hours` false) or hours, in chunks.
bool writeRows(Output& out, const ActivityStore::Columns& c, bool hours,
               const std::function<bool(int)>& progress) {
    constexpr std::size_t kChunkRows = 1 << 16;
    for (std::size_t at = 0; at < c.rows; at += kChunkRows) {
        const std::size_t rows = std::min(kChunkRows, c.rows - at);
        const bool written =
            hours ? out.write(reinterpret_cast<const char*>(c.rowHours + at * 24),
                              rows * 24 * sizeof(std::uint16_t))
                  : out.write(reinterpret_cast<const char*>(c.rowDay + at), rows * sizeof(std::int32_t));
        if (!written)
            return false;
        if (hours && progress && !progress(int(100 * (at + rows) / std::max<std::size_t>(1, c.rows))))
            return false;
    }
    return true;
}

} // namespace

namespace {

// Writes the store, or the rows `c` shows of it, under `magic`.
bool writeFile(const ActivityStore& store, const ActivityStore::Columns& c, const QString& path,
               const QByteArray& identity, const std::function<bool(int)>& progress, QString* error,
               std::uint32_t rulesVersion, const char* magic) {
    Layout l = layoutOf(store, c);
    // The header's size does not depend on the offsets it holds, so it is laid out once to
    // place the sections after it.
    std::size_t at = aligned(std::size_t(headerBytes(l, identity, rulesVersion, magic).size()));
    for (SectionEntry& s : l.sections) {
        s.offset = at;
        at = aligned(at + s.size);
    }
    const QByteArray header = headerBytes(l, identity, rulesVersion, magic);

    const FileWriteResult written = writeFileAtomically(
        path,
        [&](const std::function<bool(const char*, std::size_t)>& write) {
            Output out(write);
            if (!out.write(header.constData(), std::size_t(header.size())))
                return false;
            for (int s = 0; s < SectionCount; ++s) {
                if (!out.padTo(l.sections[s].offset))
                    return false;
                bool whole = false;
                if (s == RowDay || s == RowHours)
                    whole = writeRows(out, c, s == RowHours, progress);
                else if (s == RowSource)
                    whole = !c.rowSource || out.write(reinterpret_cast<const char*>(c.rowSource),
                                                      std::size_t(l.sections[s].size));
                else
                    whole = out.write(l.small[s].constData(), std::size_t(l.small[s].size()));
                if (!whole)
                    return false;
            }
            return true;
        },
        LinkAtTarget::Replace, NewFileAccess::OwnerOnly, FileSync::Cache);
    if (!written && error)
        *error = written.reason;
    return bool(written);
}

} // namespace

bool StoreFile::write(const ActivityStore& store, const QString& path, const QByteArray& identity,
                      const std::function<bool(int)>& progress, QString* error, std::uint32_t rulesVersion) {
    return writeFile(store, store.columns(), path, identity, progress, error, rulesVersion, kMagic);
}

QByteArray StoreFile::deltaIdentity(const QByteArray& baseIdentity, const QByteArray& identity) {
    Fields f;
    f.put(std::uint32_t(baseIdentity.size()));
    f.bytes.append(baseIdentity);
    f.bytes.append(identity);
    return f.bytes;
}

bool StoreFile::writeDelta(const ActivityStore& store, const QString& path, const QByteArray& baseIdentity,
                           const QByteArray& identity, QString* error) {
    // The second segment of rows stands in for the rows; the pairs say which segment each lies in.
    ActivityStore::Columns c = store.columns();
    c.rowDay = c.extraDay;
    c.rowHours = c.extraHours;
    c.rowSource = c.extraSource;
    c.rows = c.extraRows;
    c.rowSourceSum = 0;
    return writeFile(store, c, path, deltaIdentity(baseIdentity, identity), {}, error, kRulesVersion,
                     kDeltaMagic);
}

// ---------------------------------------------------------------------------------------------
// Opening

namespace {

struct Mapping {
    void* data = MAP_FAILED;
    std::size_t size = 0;
    ~Mapping() {
        if (data != MAP_FAILED)
            ::munmap(data, size);
    }
};

struct Opened {
    Counts counts;
    std::array<SectionEntry, SectionCount> sections{};
};

// Reads and checks the header; nothing when it is not one of this identity and these versions.
std::optional<Opened> readHeader(int fd, std::size_t fileSize, const StoreFile::IdentityCheck& accepted,
                                 QByteArray& ownIdentity, StoreFile::OpenFailure& failure,
                                 const char* ownMagic) {
    const std::size_t wanted = std::min<std::size_t>(fileSize, 1 << 16);
    QByteArray bytes(qsizetype(wanted), Qt::Uninitialized);
    if (::pread(fd, bytes.data(), wanted, 0) != ssize_t(wanted))
        return std::nullopt;
    FieldReader r(bytes.constData(), wanted);
    QByteArray magic;
    std::uint32_t format = 0;
    std::uint32_t rules = 0;
    std::uint32_t identitySize = 0;
    if (!r.bytes(magic, sizeof(kMagic)) || magic != QByteArray(ownMagic, sizeof(kMagic)) || !r.get(format) ||
        !r.get(rules) || format != StoreFile::kFormatVersion || rules != StoreFile::kRulesVersion ||
        !r.get(identitySize) || !r.bytes(ownIdentity, identitySize) || !accepted(ownIdentity))
        return std::nullopt; // another file, format or rules: a new copy is due, nothing is wrong
    failure = StoreFile::OpenFailure::Damaged;
    Opened o;
    if (!r.get(o.counts.flags) || !r.get(o.counts.rows) || !r.get(o.counts.pairs) || !r.get(o.counts.days) ||
        !r.get(o.counts.users) || !r.get(o.counts.computers) || !r.get(o.counts.blockRows))
        return std::nullopt;
    for (SectionEntry& s : o.sections) {
        if (!r.get(s.offset) || !r.get(s.size) || !r.get(s.sum))
            return std::nullopt;
    }
    const std::size_t summed = r.consumed(bytes.constData());
    std::uint64_t sum = 0;
    if (!r.get(sum) || sum != ActivityStore::checksum(bytes.constData(), summed))
        return std::nullopt;
    return o;
}

// Whether every section lies inside the file, aligned, with the size its counts give.
bool sectionsFit(const Opened& o, std::size_t fileSize, bool delta = false) {
    const Counts& c = o.counts;
    if (c.blockRows != ActivityStore::kBlockRows || c.rows > 0xFFFFFFFFULL || c.users > kMaxNames ||
        c.computers > kMaxNames || c.pairs > c.rows + 0xFFFFFFFFULL || (c.days > c.rows && !delta))
        return false;
    const std::uint64_t blocks = (c.rows + c.blockRows - 1) / c.blockRows;
    const std::array<std::uint64_t, SectionCount> sizes = {o.sections[Names].size,
                                                           c.pairs * 32,
                                                           c.days * 4,
                                                           c.days * 576,
                                                           c.days * 8,
                                                           c.rows * 4,
                                                           c.rows * 48,
                                                           blocks * 8,
                                                           o.sections[RowSource].size == 0 ? 0 : c.rows * 8,
                                                           o.sections[Leaves].size};
    const std::uint64_t leavesSize = o.sections[Leaves].size;
    if (leavesSize != 0 && (leavesSize < kLeavesHeader || (leavesSize - kLeavesHeader) % 32 != 0))
        return false;
    for (int s = 0; s < SectionCount; ++s) {
        const SectionEntry& e = o.sections[s];
        if (e.size != sizes[s] || e.offset % kAlign != 0 || e.offset > fileSize ||
            e.size > fileSize - e.offset)
            return false;
    }
    return true;
}

bool readNames(const char* base, const Opened& o, std::vector<QString>& users,
               std::vector<QString>& computers) {
    FieldReader r(base + o.sections[Names].offset, o.sections[Names].size);
    users.resize(o.counts.users);
    computers.resize(o.counts.computers);
    for (auto* names : {&users, &computers}) {
        for (QString& n : *names) {
            if (!r.text(n))
                return false;
        }
    }
    return r.consumed(base + o.sections[Names].offset) == o.sections[Names].size;
}

// The figures of each day as rows of whole seconds from 0 to 3600 can give them, and the running
// totals their sums.
bool dayFiguresValid(const ActivityStore::Columns& c) {
    std::int64_t running = 0;
    for (std::size_t i = 0; i < c.dayCount; ++i) {
        const ActivityStore::DayFigures& f = c.dayFigures[i];
        for (std::size_t h = 0; h < 24; ++h) {
            const bool none = f.count[h] == 0;
            if (f.count[h] < 0 || std::uint64_t(f.count[h]) > c.rows || f.sum[h] < 0 ||
                f.sum[h] > std::int64_t(f.count[h]) * 3600 || f.max[h] > 3600 ||
                (none ? f.min[h] != ActivityStore::kNoHour || f.sum[h] != 0 || f.maxCount[h] != 0 ||
                            f.minCount[h] != 0
                      : f.min[h] > f.max[h] || f.maxCount[h] < 1 || f.minCount[h] < 1 ||
                            f.maxCount[h] > f.count[h] || f.minCount[h] > f.count[h]))
                return false;
            running += f.sum[h];
        }
        if (c.runningTotal[i] != running)
            return false;
    }
    return true;
}

// The pairs and days must be usable as indexes before anything reads the rows through them.
bool tablesValid(const ActivityStore::Columns& c, const Opened& o) {
    std::uint64_t next = 0;
    for (std::size_t i = 0; i < c.pairCount; ++i) {
        const ActivityStore::Pair& p = c.pairs[i];
        if ((p.user != ActivityStore::kNoName && p.user >= o.counts.users) ||
            (p.computer != ActivityStore::kNoName && p.computer >= o.counts.computers) || p.firstRow != next)
            return false;
        next += p.rowCount;
    }
    if (next != c.rows)
        return false;
    for (std::size_t i = 1; i < c.dayCount; ++i) {
        if (c.days[i] <= c.days[i - 1])
            return false;
    }
    return dayFiguresValid(c);
}

} // namespace

namespace {

// Where the rows lie in the file they were read from, when the copy records it; false when the
// section is not what its size and checksum say.
bool readSource(const char* base, const Opened& o, ActivityStore::Columns& c) {
    const SectionEntry& leaves = o.sections[Leaves];
    if (o.sections[RowSource].size != 0) {
        c.rowSource = reinterpret_cast<const std::int64_t*>(base + o.sections[RowSource].offset);
        c.rowSourceSum = o.sections[RowSource].sum;
    }
    if (leaves.size == 0 || !c.rowSource)
        return true;
    FieldReader r(base + leaves.offset, kLeavesHeader);
    std::uint64_t count = 0;
    if (!r.get(c.source.pageSize) || !r.get(c.source.root) || !r.get(count) ||
        count != (leaves.size - kLeavesHeader) / 32 || c.source.pageSize < 512 || c.source.pageSize > 65536)
        return false;
    c.source.leaves =
        reinterpret_cast<const ActivityStore::SourceLeaf*>(base + leaves.offset + kLeavesHeader);
    c.source.leafCount = count;
    return true;
}

} // namespace

std::shared_ptr<const ActivityStore> StoreFile::open(const QString& path, const QByteArray& identity,
                                                     OpenFailure* failure) {
    QByteArray own;
    return open(
        path, [&](const QByteArray& i) { return i == identity; }, own, failure);
}

namespace {

// A saved copy or delta, mapped, with its header, small sections and names checked and its
// columns pointing into the mapping. `why` says why there is none.
struct MappedFile {
    std::shared_ptr<Mapping> mapping;
    Opened header;
    std::vector<QString> users;
    std::vector<QString> computers;
    ActivityStore::Columns columns;
    ActivityStore::Grouping grouping;
    const std::uint64_t* blockSums = nullptr;
};

std::optional<MappedFile> mapFile(const QString& path, const StoreFile::IdentityCheck& accepted,
                                  QByteArray& identity, StoreFile::OpenFailure& why, const char* magic) {
    const bool delta = magic == kDeltaMagic;
    why = StoreFile::OpenFailure::Missing;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    MappedFile m;
    m.mapping = std::make_shared<Mapping>();
    std::optional<Opened> o;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_size > 0) {
        o = readHeader(fd, std::size_t(st.st_size), accepted, identity, why, magic);
        if (o && sectionsFit(*o, std::size_t(st.st_size), delta)) {
            m.mapping->size = std::size_t(st.st_size);
            m.mapping->data = ::mmap(nullptr, m.mapping->size, PROT_READ, MAP_SHARED, fd, 0);
        }
    }
    ::close(fd);
    if (!o || m.mapping->data == MAP_FAILED)
        return std::nullopt;
    why = StoreFile::OpenFailure::Damaged;
    const char* base = static_cast<const char*>(m.mapping->data);
    // A copy's row ids are checked when it is brought up to date; a delta's at once.
    for (const Section s : {Names, Pairs, Days, DayFigures, RunningTotal, BlockSums, Leaves, RowSource}) {
        if ((s != RowSource || delta) &&
            ActivityStore::checksum(base + o->sections[s].offset, o->sections[s].size) != o->sections[s].sum)
            return std::nullopt;
    }
    if (!readNames(base, *o, m.users, m.computers))
        return std::nullopt;
    ActivityStore::Columns& c = m.columns;
    const auto at = [&](Section s) { return base + o->sections[s].offset; };
    c.rowDay = reinterpret_cast<const std::int32_t*>(at(RowDay));
    c.rowHours = reinterpret_cast<const std::uint16_t*>(at(RowHours));
    c.rows = o->counts.rows;
    c.pairs = reinterpret_cast<const ActivityStore::Pair*>(at(Pairs));
    c.pairCount = o->counts.pairs;
    c.days = reinterpret_cast<const std::int32_t*>(at(Days));
    c.dayFigures = reinterpret_cast<const ActivityStore::DayFigures*>(at(DayFigures));
    c.runningTotal = reinterpret_cast<const std::int64_t*>(at(RunningTotal));
    c.dayCount = o->counts.days;
    m.grouping = {(o->counts.flags & kIgnoreCase) != 0, (o->counts.flags & kKeyIndexOrder) != 0};
    m.blockSums = reinterpret_cast<const std::uint64_t*>(at(BlockSums));
    m.header = *o;
    return m;
}

} // namespace

std::shared_ptr<const ActivityStore> StoreFile::open(const QString& path, const IdentityCheck& accepted,
                                                     QByteArray& identity, OpenFailure* failure) {
    OpenFailure why = OpenFailure::Missing;
    std::optional<MappedFile> m = mapFile(path, accepted, identity, why, kMagic);
    const char* base = m ? static_cast<const char*>(m->mapping->data) : nullptr;
    if (!m || !tablesValid(m->columns, m->header) || !readSource(base, m->header, m->columns)) {
        if (failure)
            *failure = why;
        return nullptr;
    }
    if (failure)
        *failure = OpenFailure::None;
    return std::make_shared<const ActivityStore>(m->grouping, std::move(m->users), std::move(m->computers),
                                                 m->columns, std::shared_ptr<const void>(m->mapping),
                                                 m->blockSums);
}

namespace {

// The pairs of a delta: those in the second segment one after another, the others inside the
// rows of the store it is a delta of; then the days and their figures as for a store of all rows.
bool deltaTablesValid(ActivityStore::Columns c, const Opened& o, std::size_t baseRows) {
    std::uint64_t next = 0;
    for (std::size_t i = 0; i < c.pairCount; ++i) {
        const ActivityStore::Pair& p = c.pairs[i];
        if ((p.user != ActivityStore::kNoName && p.user >= o.counts.users) ||
            (p.computer != ActivityStore::kNoName && p.computer >= o.counts.computers))
            return false;
        if ((p.firstRow & ActivityStore::kExtraRows) != 0) {
            if ((p.firstRow & ~ActivityStore::kExtraRows) != next)
                return false;
            next += p.rowCount;
        } else if (std::uint64_t(p.firstRow) + p.rowCount > baseRows) {
            return false;
        }
    }
    if (next != c.rows)
        return false;
    for (std::size_t i = 1; i < c.dayCount; ++i) {
        if (c.days[i] <= c.days[i - 1])
            return false;
    }
    c.rows += baseRows;
    return dayFiguresValid(c);
}

} // namespace

std::shared_ptr<const ActivityStore> StoreFile::openDelta(const QString& path, const ActivityStore& base,
                                                          const QByteArray& baseIdentity,
                                                          const IdentityCheck& accepted, QByteArray& identity,
                                                          OpenFailure* failure) {
    OpenFailure why = OpenFailure::Missing;
    const QByteArray prefix = deltaIdentity(baseIdentity, {});
    const auto ofBase = [&](const QByteArray& i) {
        return i.startsWith(prefix) && accepted(i.mid(prefix.size()));
    };
    QByteArray composite;
    std::optional<MappedFile> m = mapFile(path, ofBase, composite, why, kDeltaMagic);
    const ActivityStore::Columns& b = base.columns();
    const auto fail = [&]() -> std::shared_ptr<const ActivityStore> {
        if (failure)
            *failure = why;
        return nullptr;
    };
    if (!m)
        return fail();
    identity = composite.mid(prefix.size());
    ActivityStore::Columns c = m->columns;
    const Opened& o = m->header;
    // Its leaves are read as a copy's are, with the copy's row ids standing in where it has no
    // rows of its own.
    c.rowSource = b.rowSource;
    if (!deltaTablesValid(c, o, b.rows) || !b.rowSource ||
        !readSource(static_cast<const char*>(m->mapping->data), o, c) ||
        (c.rows > 0 && o.sections[RowSource].size == 0) ||
        m->grouping.namesIgnoreCase != base.grouping().namesIgnoreCase ||
        m->grouping.keyIndexOrder != base.grouping().keyIndexOrder)
        return fail();
    if (o.sections[RowSource].size == 0)
        c.rowSource = nullptr;
    // The delta's own rows become the second segment, under the rows of the store it is a delta of.
    c.extraDay = c.rowDay;
    c.extraHours = c.rowHours;
    c.extraSource = c.rowSource;
    c.extraRows = c.rows;
    c.rowDay = b.rowDay;
    c.rowHours = b.rowHours;
    c.rowSource = b.rowSource;
    c.rowSourceSum = b.rowSourceSum;
    c.rows = b.rows;
    if (failure)
        *failure = OpenFailure::None;
    return std::make_shared<const ActivityStore>(m->grouping, std::move(m->users), std::move(m->computers), c,
                                                 std::shared_ptr<const void>(m->mapping), base.blockSums(),
                                                 m->blockSums, base.firstRowsOwner());
}

} // namespace tallyrow
