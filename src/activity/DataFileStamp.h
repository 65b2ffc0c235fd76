#pragma once

#include <QString>

#include <array>
#include <cstdint>

namespace tallyrow {

/// What tells one committed state of a data file from another: the file's identity (device and
/// inode), size, modification and change times, SQLite's change counter and a checksum of its
/// first page and of pages sampled through it, and — when a write-ahead log lies beside the file
/// — the state readers are shown: the wal-index header's last commit frame, salts and that
/// frame's checksum. The log's own size and frames are used only where no wal-index can be read,
/// since a writer appends and syncs frames before it tells readers of them.
struct DataFileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = -1;
    std::int64_t mtimeNs = 0;
    std::int64_t ctimeNs = 0;
    std::uint32_t changeCounter = 0;
    std::int64_t walSize = -1;   ///< -1: no log; 0: the wal-index tells the state; else the log's size
    std::int64_t walMtimeNs = 0; ///< the log's modification time where no wal-index tells the state
    std::uint32_t walCheckpoint = 0;
    std::uint32_t walSalt1 = 0;
    std::uint32_t walSalt2 = 0;
    std::uint32_t walFrames = 0;    ///< the last frame of the last commit readers see
    std::uint64_t walCommitSum = 0; ///< that frame's checksum
    std::uint64_t contentSum = 0;   ///< checksum of the first page and of pages sampled through the file

    bool operator==(const DataFileStamp&) const = default;
    /// Whether both show readers the same log state (no log in both counts as the same).
    bool sameLogState(const DataFileStamp& o) const {
        return walSize == o.walSize && walMtimeNs == o.walMtimeNs && walSalt1 == o.walSalt1 &&
               walSalt2 == o.walSalt2 && walFrames == o.walFrames && walCommitSum == o.walCommitSum;
    }
    /// The stamp whose fields() these are.
    static DataFileStamp fromFields(const std::array<std::int64_t, 14>& f) {
        DataFileStamp s;
        s.device = std::uint64_t(f[0]);
        s.inode = std::uint64_t(f[1]);
        s.size = f[2];
        s.mtimeNs = f[3];
        s.ctimeNs = f[4];
        s.changeCounter = std::uint32_t(f[5]);
        s.walSize = f[6];
        s.walMtimeNs = f[7];
        s.walCheckpoint = std::uint32_t(f[8]);
        s.walSalt1 = std::uint32_t(f[9]);
        s.walSalt2 = std::uint32_t(f[10]);
        s.walFrames = std::uint32_t(f[11]);
        s.walCommitSum = std::uint64_t(f[12]);
        s.contentSum = std::uint64_t(f[13]);
        return s;
    }
    /// Every field above, in order, as the saved copy records the state it was made from.
    std::array<std::int64_t, 14> fields() const {
        return {std::int64_t(device),
                std::int64_t(inode),
                size,
                mtimeNs,
                ctimeNs,
                std::int64_t(changeCounter),
                walSize,
                walMtimeNs,
                std::int64_t(walCheckpoint),
                std::int64_t(walSalt1),
                std::int64_t(walSalt2),
                std::int64_t(walFrames),
                std::int64_t(walCommitSum),
                std::int64_t(contentSum)};
    }
};

/// The stamp of the file at `path` now (size -1 when it cannot be looked at).
DataFileStamp stampDataFile(const QString& path);

} // namespace tallyrow
