#include "activity/DataFileStamp.h"

#include "activity/ActivityStore.h"
#include "datafile/KeptDescriptor.h"

#include <QByteArray>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

using namespace Qt::StringLiterals;

namespace tallyrow {

namespace {

// A big-endian 32-bit field, as SQLite writes its file headers.
std::uint32_t be32(const unsigned char* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

// A 32-bit field of the wal-index, which SQLite keeps in the machine's own byte order.
std::uint32_t native32(const unsigned char* p) {
    std::uint32_t v = 0;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Pages read into the stamp's content checksum: the first, and these many more spread evenly
// through the file. A file replaced within its file system's timestamp resolution by another of
// the same size and change counter (a copy of another office's file) differs in its rows.
constexpr int kSampledPages = 32;
constexpr qint64 kSamplePage = 4096;

// Up to `size` bytes at `offset`, appended to `bytes`.
void appendRead(int fd, qint64 offset, qint64 size, QByteArray& bytes) {
    const qsizetype at = bytes.size();
    bytes.resize(at + size);
    const ssize_t got = ::pread(fd, bytes.data() + at, std::size_t(size), offset);
    bytes.resize(at + std::max<qsizetype>(0, got));
}

// The first page and the sampled pages of the file, one after another.
QByteArray sampledBytes(int fd, qint64 size) {
    QByteArray bytes;
    appendRead(fd, 0, kSamplePage, bytes);
    const qint64 pages = size / kSamplePage;
    for (int i = 1; pages > 1 && i <= kSampledPages; ++i) {
        const qint64 page = std::min(pages - 1, pages * i / (kSampledPages + 1) + 1);
        appendRead(fd, page * kSamplePage, kSamplePage, bytes);
    }
    return bytes;
}

std::int64_t nanoseconds(const struct timespec& t) {
    return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// The log's checkpoint sequence from its header, and — read from the log itself — its last
// commit frame and that frame's checksum: used only where the wal-index cannot be read.
void stampLogFile(int fd, std::int64_t size, DataFileStamp& s) {
    unsigned char header[32];
    if (size < 32 || ::pread(fd, header, sizeof header, 0) != ssize_t(sizeof header))
        return;
    s.walCheckpoint = be32(header + 12);
    s.walSalt1 = be32(header + 16);
    s.walSalt2 = be32(header + 20);
    const std::uint32_t pageSize = be32(header + 8);
    if (pageSize < 512 || pageSize > 65536)
        return;
    const std::int64_t frameSize = 24 + std::int64_t(pageSize);
    const auto frames = std::int64_t((size - 32) / frameSize);
    // From the last frame back to the last one that ends a commit (of this log's salts).
    for (std::int64_t f = frames - 1; f >= 0 && f >= frames - 4096; --f) {
        unsigned char frame[24];
        if (::pread(fd, frame, sizeof frame, 32 + f * frameSize) != ssize_t(sizeof frame))
            return;
        if (be32(frame + 8) != s.walSalt1 || be32(frame + 12) != s.walSalt2 || be32(frame + 4) == 0)
            continue;
        s.walFrames = std::uint32_t(f + 1);
        s.walCommitSum = (std::uint64_t(be32(frame + 16)) << 32) | be32(frame + 20);
        return;
    }
}

// The wal-index header SQLite keeps at the start of "-shm", twice: what a reader beginning now
// is shown. False when there is none, or it is being written (the copies differ), or it was
// never filled in; a writer rewrites both copies within microseconds, so a few looks suffice.
bool stampLogIndex(const QString& path, DataFileStamp& s) {
    struct stat st {};
    const int fd = keptDescriptor(QFile::encodeName(path + u"-shm"_s), st);
    if (fd < 0)
        return false;
    for (int look = 0; look < 8; ++look) {
        unsigned char copies[96];
        if (::pread(fd, copies, sizeof copies, 0) != ssize_t(sizeof copies))
            return false;
        // iVersion, unused, iChange, isInit, bigEndCksum, szPage, mxFrame, nPage,
        // aFrameCksum[2], aSalt[2], aCksum[2]
        if (std::memcmp(copies, copies + 48, 48) != 0 || copies[12] != 1) {
            ::usleep(200);
            continue;
        }
        s.walFrames = native32(copies + 16);
        s.walCommitSum = (std::uint64_t(native32(copies + 24)) << 32) | native32(copies + 28);
        s.walSalt1 = native32(copies + 32);
        s.walSalt2 = native32(copies + 36);
        return true;
    }
    return false;
}

} // namespace

DataFileStamp stampDataFile(const QString& path) {
    DataFileStamp s;
    struct stat st {};
    // Only a regular file is looked into (opening a pipe would wait for a writer), through a
    // descriptor kept open, as is "-shm": closing one would drop the locks of this process's
    // connections to the file, and a writer could then commit in the middle of their reads.
    const int fd = keptDescriptor(QFile::encodeName(path), st);
    if (fd < 0)
        return s;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.mtimeNs = nanoseconds(st.st_mtim);
    s.ctimeNs = nanoseconds(st.st_ctim);
    const QByteArray sampled = sampledBytes(fd, st.st_size);
    if (sampled.size() >= 100 && sampled.startsWith("SQLite format 3"))
        s.changeCounter = be32(reinterpret_cast<const unsigned char*>(sampled.constData()) + 24);
    s.contentSum = ActivityStore::checksum(sampled.constData(), std::size_t(sampled.size()));
    const QByteArray wal = QFile::encodeName(path + u"-wal"_s);
    struct stat ws {};
    if (::stat(wal.constData(), &ws) != 0 || !S_ISREG(ws.st_mode))
        return s;
    if (stampLogIndex(path, s)) {
        s.walSize = 0;
        return s;
    }
    s.walSize = ws.st_size;
    s.walMtimeNs = nanoseconds(ws.st_mtim);
    // SQLite locks no byte of the log itself: this descriptor may be closed again.
    const int logFd = ::open(wal.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (logFd >= 0) {
        stampLogFile(logFd, ws.st_size, s);
        ::close(logFd);
    }
    return s;
}

} // namespace tallyrow
