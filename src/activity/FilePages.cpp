#include "activity/FilePages.h"

#include "datafile/KeptDescriptor.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

constexpr std::uint32_t kLogHeader = 32;
constexpr std::uint32_t kFrameHeader = 24;
constexpr int kDeepest = 40;
constexpr unsigned char kTableInterior = 0x05;
constexpr unsigned char kTableLeaf = 0x0D;

std::uint32_t be16(const unsigned char* p) {
    return (std::uint32_t(p[0]) << 8) | p[1];
}

std::uint32_t be32(const unsigned char* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

// A salt of the log as a stamp holds it: the wal-index keeps the log header's bytes as they are
// (read in the machine's order), the log itself big-endian.
std::uint32_t salt(const unsigned char* p, const DataFileStamp& state) {
    if (state.walSize != 0)
        return be32(p);
    std::uint32_t v = 0;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// A varint as the file format writes it; false when it runs past `end`.
bool varint(const unsigned char*& p, const unsigned char* end, std::uint64_t& v) {
    v = 0;
    for (int i = 0; i < 9; ++i) {
        if (p >= end)
            return false;
        const unsigned char b = *p++;
        if (i == 8) {
            v = (v << 8) | b;
            return true;
        }
        v = (v << 7) | (b & 0x7F);
        if ((b & 0x80) == 0)
            return true;
    }
    return true;
}

bool readFully(int fd, void* to, std::size_t size, std::uint64_t offset) {
    auto* p = static_cast<unsigned char*>(to);
    while (size > 0) {
        const ssize_t got = ::pread(fd, p, size, off_t(offset));
        if (got <= 0)
            return false;
        p += got;
        size -= std::size_t(got);
        offset += std::uint64_t(got);
    }
    return true;
}

} // namespace

FilePages::FilePages(FilePages&& o) noexcept
    : m_fd(o.m_fd), m_ownFd(o.m_ownFd), m_logFd(o.m_logFd), m_pageSize(o.m_pageSize),
      m_fileSize(o.m_fileSize), m_frames(o.m_frames), m_latestFrame(std::move(o.m_latestFrame)) {
    std::memcpy(m_salts, o.m_salts, sizeof m_salts);
    o.m_fd = -1;
    o.m_logFd = -1;
}

FilePages::~FilePages() {
    if (m_ownFd && m_fd >= 0)
        ::close(m_fd);
    if (m_logFd >= 0)
        ::close(m_logFd); // SQLite locks no byte of the log
}

std::optional<FilePages> FilePages::open(const QString& path, const DataFileStamp& state, bool ownFile) {
    FilePages pages;
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (ownFile) {
        pages.m_fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        pages.m_ownFd = true;
        if (pages.m_fd < 0 || ::fstat(pages.m_fd, &st) != 0)
            return std::nullopt;
    } else {
        pages.m_fd = keptDescriptor(native, st);
        if (pages.m_fd < 0)
            return std::nullopt;
    }
    pages.m_fileSize = std::uint64_t(st.st_size);
    unsigned char header[100];
    if (!readFully(pages.m_fd, header, sizeof header, 0) || std::memcmp(header, "SQLite format 3", 16) != 0)
        return std::nullopt;
    pages.m_pageSize = be16(header + 16) == 1 ? 65536 : be16(header + 16);
    if (pages.m_pageSize < 512 || (pages.m_pageSize & (pages.m_pageSize - 1)) != 0 || header[20] != 0)
        return std::nullopt; // reserved bytes at the end of pages are not expected in a data file
    if (state.walSize < 0 || state.walFrames == 0)
        return pages;
    pages.m_logFd = ::open((native + "-wal").constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    unsigned char logHeader[kLogHeader];
    if (pages.m_logFd < 0 || !readFully(pages.m_logFd, logHeader, sizeof logHeader, 0) ||
        be32(logHeader + 8) != pages.m_pageSize || salt(logHeader + 16, state) != state.walSalt1 ||
        salt(logHeader + 20, state) != state.walSalt2)
        return std::nullopt;
    pages.m_frames = state.walFrames;
    std::memcpy(pages.m_salts, logHeader + 16, sizeof pages.m_salts);
    const std::uint64_t frameSize = kFrameHeader + pages.m_pageSize;
    for (std::uint32_t f = 1; f <= state.walFrames; ++f) {
        unsigned char frame[kFrameHeader];
        if (!readFully(pages.m_logFd, frame, sizeof frame, kLogHeader + (f - 1) * frameSize) ||
            salt(frame + 8, state) != state.walSalt1 || salt(frame + 12, state) != state.walSalt2 ||
            be32(frame) == 0)
            return std::nullopt;
        pages.m_latestFrame[be32(frame)] = f;
    }
    return pages;
}

bool FilePages::read(std::uint32_t page, std::vector<unsigned char>& out) const {
    out.resize(m_pageSize);
    if (page == 0)
        return false;
    if (const auto it = m_latestFrame.find(page); it != m_latestFrame.end())
        return readFully(m_logFd, out.data(), m_pageSize,
                         kLogHeader + (it->second - 1) * std::uint64_t(kFrameHeader + m_pageSize) +
                             kFrameHeader);
    const std::uint64_t at = std::uint64_t(page - 1) * m_pageSize;
    return at + m_pageSize <= m_fileSize && readFully(m_fd, out.data(), m_pageSize, at);
}

std::vector<std::uint32_t> FilePages::pagesLoggedAfter(std::uint32_t frame) const {
    std::vector<std::uint32_t> pages;
    for (const auto& [page, last] : m_latestFrame) {
        if (last > frame)
            pages.push_back(page);
    }
    std::sort(pages.begin(), pages.end());
    return pages;
}

bool FilePages::walk(std::uint32_t page, std::int64_t low, std::int64_t high, int depth,
                     std::vector<ActivityStore::SourceLeaf>& leaves,
                     std::vector<unsigned char>& buffer) const {
    if (depth > kDeepest || !read(page, buffer))
        return false;
    const unsigned char* p = buffer.data() + (page == 1 ? 100 : 0);
    const unsigned char* end = buffer.data() + buffer.size();
    if (*p == kTableLeaf) {
        leaves.push_back({page, 0, low, high, 0});
        return true;
    }
    if (*p != kTableInterior)
        return false;
    const std::uint32_t cells = be16(p + 3);
    const std::uint32_t rightmost = be32(p + 8);
    const unsigned char* pointers = p + 12;
    if (pointers + 2 * std::size_t(cells) > end)
        return false;
    // Each child is read after the cell array is copied: the walk below reuses the buffer.
    std::vector<std::pair<std::uint32_t, std::int64_t>> children;
    children.reserve(cells);
    std::int64_t previous = low;
    for (std::uint32_t c = 0; c < cells; ++c) {
        const std::uint32_t offset = be16(pointers + 2 * std::size_t(c));
        if (offset + 4 > buffer.size())
            return false;
        const unsigned char* cell = buffer.data() + offset;
        const unsigned char* q = cell + 4;
        std::uint64_t key = 0;
        if (!varint(q, end, key))
            return false;
        const auto k = std::int64_t(key);
        if (k <= previous || k > high)
            return false;
        children.emplace_back(be32(cell), k);
        previous = k;
    }
    children.emplace_back(rightmost, high);
    // Every leaf of a table lies at the same depth: when the first child is a leaf, so are the
    // others, and they are listed without being read (their bytes are compared where they may
    // have changed).
    if (!read(children.front().first, buffer))
        return false;
    const unsigned char kind = buffer[children.front().first == 1 ? 100 : 0];
    previous = low;
    for (const auto& [child, key] : children) {
        if (kind == kTableLeaf)
            leaves.push_back({child, 0, previous, key, 0});
        else if (!walk(child, previous, key, depth + 1, leaves, buffer))
            return false;
        previous = key;
    }
    return kind == kTableLeaf || kind == kTableInterior;
}

std::optional<std::vector<ActivityStore::SourceLeaf>> FilePages::tableLeaves(std::uint32_t root,
                                                                             bool sums) const {
    std::vector<ActivityStore::SourceLeaf> leaves;
    std::vector<unsigned char> buffer;
    if (!walk(root, INT64_MIN, INT64_MAX, 0, leaves, buffer))
        return std::nullopt;
    // A page met twice would be a loop or a page shared by two parents: not a tree.
    std::vector<std::uint32_t> seen;
    seen.reserve(leaves.size());
    for (const auto& leaf : leaves)
        seen.push_back(leaf.page);
    std::sort(seen.begin(), seen.end());
    if (std::adjacent_find(seen.begin(), seen.end()) != seen.end())
        return std::nullopt;
    if ((sums && !sumLeaves(leaves)) || !logUnchanged())
        return std::nullopt;
    return leaves;
}

bool FilePages::logUnchanged() const {
    unsigned char header[kLogHeader];
    return m_logFd < 0 || (readFully(m_logFd, header, sizeof header, 0) &&
                           std::memcmp(header + 16, m_salts, sizeof m_salts) == 0);
}

bool FilePages::sumLeaves(std::vector<ActivityStore::SourceLeaf>& leaves,
                          const std::function<bool()>& between) const {
    constexpr std::size_t kPieceBytes = std::size_t(16) << 20;
    std::size_t sinceBetween = 0;
    // By page number, so the file is read in long runs of neighbouring pages.
    std::vector<std::size_t> order(leaves.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return leaves[a].page < leaves[b].page; });
    constexpr std::uint32_t kRunPages = 256;
    std::vector<unsigned char> run(std::size_t(kRunPages) * m_pageSize);
    std::vector<unsigned char> single;
    std::size_t i = 0;
    while (i < order.size()) {
        if (between && sinceBetween >= kPieceBytes) {
            if (!between())
                return false;
            sinceBetween = 0;
        }
        const std::uint32_t first = leaves[order[i]].page;
        std::size_t j = i;
        while (j < order.size() && leaves[order[j]].page - first < kRunPages)
            ++j;
        const std::uint32_t last = leaves[order[j - 1]].page;
        const std::uint64_t from = std::uint64_t(first - 1) * m_pageSize;
        const std::uint64_t bytes = std::min<std::uint64_t>(std::uint64_t(last - first + 1) * m_pageSize,
                                                            m_fileSize > from ? m_fileSize - from : 0);
        const bool fromFile = bytes > 0 && readFully(m_fd, run.data(), std::size_t(bytes), from);
        sinceBetween += std::size_t(bytes);
        for (std::size_t k = i; k < j; ++k) {
            ActivityStore::SourceLeaf& leaf = leaves[order[k]];
            const std::uint64_t at = std::uint64_t(leaf.page - first) * m_pageSize;
            const unsigned char* page = nullptr;
            if (m_latestFrame.count(leaf.page) != 0 || !fromFile || at + m_pageSize > bytes) {
                if (!read(leaf.page, single))
                    return false;
                page = single.data();
            } else {
                page = run.data() + at;
            }
            // A page listed as a leaf that holds anything else is no tree SQLite builds.
            if (page[leaf.page == 1 ? 100 : 0] != kTableLeaf)
                return false;
            leaf.sum = ActivityStore::checksum(page, m_pageSize);
        }
        i = j;
    }
    return logUnchanged();
}

} // namespace tallyrow
