// Preloaded into the test writer to stand in for a slow disk: while the file named by
// TALLYROW_HOLD_LOG_SYNC exists, a sync of a write-ahead log ("-wal") that already holds frames
// waits, after printing "holding" on standard error once. A writer is then caught between writing
// a commit's frames to its log and telling readers of them in the wal-index.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool isLogWithFrames(int fd) {
    char link[64];
    char target[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    struct stat st {};
    return n > 4 && std::memcmp(target + n - 4, "-wal", 4) == 0 && ::fstat(fd, &st) == 0 && st.st_size > 32;
}

void holdWhileAsked(int fd) {
    const char* marker = std::getenv("TALLYROW_HOLD_LOG_SYNC");
    if (!marker || !isLogWithFrames(fd))
        return;
    bool told = false;
    struct stat st {};
    while (::stat(marker, &st) == 0) {
        if (!told) {
            static const char kHolding[] = "holding\n";
            (void)!::write(2, kHolding, sizeof kHolding - 1);
            told = true;
        }
        ::usleep(10'000);
    }
}

template <typename F> F real(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int fsync(int fd) {
    holdWhileAsked(fd);
    static const auto next = real<int (*)(int)>("fsync");
    return next(fd);
}

extern "C" int fdatasync(int fd) {
    holdWhileAsked(fd);
    static const auto next = real<int (*)(int)>("fdatasync");
    return next(fd);
}
