#include "support/TemporaryFiles.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace tallyrow {

namespace {

enum SlotState : int { Free, Filling, Armed };

struct Slot {
    std::atomic<int> state{Free};
    char path[4096] = {};
};

// Enough for every file the program writes at once: a report, a saved copy, a workbook's scratch.
std::array<Slot, 16> g_slots;

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads the states");

void onSignal(int signal) {
    const int kept = errno;
    removeRegisteredTemporaries();
    errno = kept;
    // The handler was installed with SA_RESETHAND and SA_NODEFER: the signal now takes its
    // default course at once.
    ::raise(signal);
}

} // namespace

int registerTemporary(const char* path) {
    const std::size_t length = std::strlen(path);
    if (length >= sizeof(Slot::path))
        return -1;
    for (std::size_t i = 0; i < g_slots.size(); ++i) {
        int expected = Free;
        if (!g_slots[i].state.compare_exchange_strong(expected, Filling))
            continue;
        std::memcpy(g_slots[i].path, path, length + 1);
        g_slots[i].state.store(Armed);
        return static_cast<int>(i);
    }
    return -1;
}

void releaseTemporary(int slot) {
    if (slot >= 0 && static_cast<std::size_t>(slot) < g_slots.size())
        g_slots[static_cast<std::size_t>(slot)].state.store(Free);
}

void removeRegisteredTemporaries() {
    for (Slot& slot : g_slots) {
        if (slot.state.load() == Armed)
            ::unlink(slot.path);
    }
    // Folders last, once the files in them are gone.
    for (Slot& slot : g_slots) {
        if (slot.state.load() == Armed)
            ::rmdir(slot.path);
    }
}

void removeTemporariesOnSignals() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND | SA_NODEFER;
        ::sigaction(signal, &action, nullptr);
    }
}

} // namespace tallyrow
