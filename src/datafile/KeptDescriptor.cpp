#include "datafile/KeptDescriptor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace tallyrow {

namespace {

using FileKey = std::pair<dev_t, ino_t>;

// Past this many, descriptors of files no longer linked anywhere are let go: no writer can reach
// such a file by its name again, and a long session looking at many files stays within its limit.
constexpr std::size_t kSweepAbove = 64;

struct Kept {
    std::mutex mutex;
    std::map<FileKey, int> byFile;
    std::vector<int> spare; // a second descriptor of a file met twice in a race: kept, never closed
};

Kept& kept() {
    static Kept* k = new Kept; // outlives every static destructor: never closed at exit either
    return *k;
}

void sweepUnlinked(Kept& k) {
    for (auto it = k.byFile.begin(); it != k.byFile.end();) {
        struct stat st {};
        if (::fstat(it->second, &st) == 0 && st.st_nlink == 0) {
            ::close(it->second);
            it = k.byFile.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace

int keptDescriptor(const QByteArray& nativePath, struct stat& st) {
    Kept& k = kept();
    std::lock_guard lock(k.mutex);
    if (::stat(nativePath.constData(), &st) == 0 && S_ISREG(st.st_mode)) {
        const auto it = k.byFile.find({st.st_dev, st.st_ino});
        if (it != k.byFile.end() && ::fstat(it->second, &st) == 0)
            return it->second;
    }
    // Opened without waiting (a pipe would wait for a writer) and judged by what was opened, in
    // case the name was given to something else in between.
    const int fd = ::open(nativePath.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = S_ISREG(st.st_mode) ? errno : EINVAL;
        ::close(fd); // no regular file: no lock of SQLite's lies on it
        errno = error;
        return -1;
    }
    const FileKey key{st.st_dev, st.st_ino};
    if (const auto it = k.byFile.find(key); it != k.byFile.end()) {
        k.spare.push_back(fd);
        return it->second;
    }
    if (k.byFile.size() >= kSweepAbove)
        sweepUnlinked(k);
    k.byFile.emplace(key, fd);
    return fd;
}

} // namespace tallyrow
