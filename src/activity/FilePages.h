#pragma once

#include "activity/ActivityStore.h"
#include "activity/DataFileStamp.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

namespace tallyrow {

/// The pages of a SQLite file as a reader of one committed state sees them: the database file,
/// overlaid by the frames of its write-ahead log up to that state's last commit frame. Read as
/// the file format lays them out, while a read transaction of that state keeps a checkpoint from
/// overwriting what it shows. Never writes.
class FilePages {
public:
    /// The pages of `path` in the state `state` names. `ownFile`: a private copy nobody else has
    /// locked, opened and closed freely; otherwise the data file is looked into only through the
    /// descriptor kept open for it. Nothing when the header or the log cannot be read as SQLite
    /// writes them.
    static std::optional<FilePages> open(const QString& path, const DataFileStamp& state, bool ownFile);
    FilePages(FilePages&& other) noexcept;
    FilePages& operator=(FilePages&&) = delete;
    FilePages(const FilePages&) = delete;
    FilePages& operator=(const FilePages&) = delete;
    ~FilePages();

    std::uint32_t pageSize() const { return m_pageSize; }
    /// Page `page` (from 1) into `out`; false when it lies outside the file and its log.
    bool read(std::uint32_t page, std::vector<unsigned char>& out) const;
    /// The pages the log holds after frame `frame`, up to the state's last commit frame.
    std::vector<std::uint32_t> pagesLoggedAfter(std::uint32_t frame) const;
    /// The leaves of the table b-tree rooted at `root`, in row id order, each with the row ids it
    /// may hold; their checksums too when `sums`. Nothing when the tree is not one SQLite builds
    /// (a page of another kind, keys out of order, a loop).
    std::optional<std::vector<ActivityStore::SourceLeaf>> tableLeaves(std::uint32_t root, bool sums) const;
    /// Sets the checksum of each of `leaves` from its page's bytes, reading the file in runs.
    /// `between`, when given, is called between pieces of some 16 MB; false from it stops.
    bool sumLeaves(std::vector<ActivityStore::SourceLeaf>& leaves,
                   const std::function<bool()>& between = {}) const;

    /// Whether the log still is the one the pages were read from (a writer restarts it only when
    /// no reader needs it, so this holds while a read transaction of the state is open).
    bool logUnchanged() const;

private:
    FilePages() = default;
    bool walk(std::uint32_t page, std::int64_t low, std::int64_t high, int depth,
              std::vector<ActivityStore::SourceLeaf>& leaves, std::vector<unsigned char>& buffer) const;

    int m_fd = -1;
    bool m_ownFd = false;
    int m_logFd = -1;
    std::uint32_t m_pageSize = 0;
    std::uint64_t m_fileSize = 0;
    std::uint32_t m_frames = 0;
    unsigned char m_salts[8] = {};
    std::unordered_map<std::uint32_t, std::uint32_t> m_latestFrame; ///< page → its last frame in the state
};

} // namespace tallyrow
