// Stands in for the monitoring product in the tests: writes an SQLite data file from a process
// of its own, as the real writer does while reports run.
//
//   tallyrow-test-writer churn FILE delete|wal SECONDS PAUSE_MS
//       Commits in a loop for SECONDS, pausing PAUSE_MS between commits. Transaction k sets H0 of
//       every row to 60 * (k mod 61), a value the monitoring product may write (at most 3600
//       seconds); k counts on from the largest H0 in the file, so every committed state has all H0
//       equal to one multiple of 60. Prints
//       "commits=N elapsed_ms=T longest_ms=L last=K" (L: the slowest commit, waits included).
//   tallyrow-test-writer tick FILE delete|wal SECONDS PAUSE_MS
//       As the monitoring product writes during the day: each commit adds a second to H0 of three
//       rows (row ids spread through the file), for SECONDS, pausing PAUSE_MS between commits.
//       Prints the same figures as churn (last: the number of commits).
//   tallyrow-test-writer crash FILE
//       Adds 1 to H1 of every row in one transaction with a page cache so small that changed
//       pages go to the file before the commit, then kills itself: the journal stays, hot.
//   tallyrow-test-writer day FILE DAY USERS
//       Writes the rows of one day in one transaction, as the monitoring product does at the end of
//       a day: users u0 … u(USERS-1) on computer pc(i mod 5), 60 * (i mod 60 + 1) seconds in hour 9, every
//       other hour empty.
//   tallyrow-test-writer hold FILE MILLISECONDS
//       Holds an exclusive lock on the file that long; prints "locked" once it has it.
//   tallyrow-test-writer set FILE VALUE MILLISECONDS
//       In write-ahead mode with full syncs, sets H0 of every row to VALUE in one commit, prints
//       "committed", and keeps the file open that long before it closes it.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void die(sqlite3* db, const char* what) {
    std::fprintf(stderr, "tallyrow-test-writer: %s: %s\n", what, db ? sqlite3_errmsg(db) : "?");
    std::exit(1);
}

void exec(sqlite3* db, const std::string& sql) {
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        die(db, sql.c_str());
    }
}

long long queryNumber(sqlite3* db, const char* sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK || sqlite3_step(s) != SQLITE_ROW) {
        die(db, sql);
    }
    const long long n = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
    return n;
}

long long ms(Clock::duration d) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

// Commits `sql` in a loop for `seconds`, pausing `pauseMs` between commits; `bind` sets its
// parameters for commit k (counted from 0). Prints the figures; `last(commits)` is the last one.
int commitLoop(sqlite3* db, const char* mode, const char* sql, double seconds, int pauseMs,
               const std::function<void(sqlite3_stmt*, long long)>& bind,
               const std::function<long long(long long)>& last) {
    exec(db, std::string("PRAGMA journal_mode=") + mode);
    sqlite3_stmt* update = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &update, nullptr) != SQLITE_OK) {
        die(db, "prepare");
    }
    long long commits = 0;
    Clock::duration longest{};
    const Clock::time_point start = Clock::now();
    const auto end =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (Clock::now() < end) {
        const Clock::time_point t0 = Clock::now();
        exec(db, "BEGIN IMMEDIATE");
        bind(update, commits);
        if (sqlite3_step(update) != SQLITE_DONE) {
            die(db, "update");
        }
        sqlite3_reset(update);
        exec(db, "COMMIT");
        ++commits;
        longest = std::max(longest, Clock::now() - t0);
        if (pauseMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        }
    }
    sqlite3_finalize(update);
    std::printf("commits=%lld elapsed_ms=%lld longest_ms=%lld last=%lld\n", commits, ms(Clock::now() - start),
                ms(longest), last(commits));
    return 0;
}

int churn(sqlite3* db, const char* mode, double seconds, int pauseMs) {
    const long long first = queryNumber(db, "SELECT coalesce(max(H0), 0) / 60 FROM Activity");
    return commitLoop(
        db, mode, "UPDATE Activity SET H0 = 60 * (? % 61)", seconds, pauseMs,
        [&](sqlite3_stmt* s, long long k) { sqlite3_bind_int64(s, 1, first + k + 1); },
        [&](long long commits) { return first + commits; });
}

int tick(sqlite3* db, const char* mode, double seconds, int pauseMs) {
    const long long rows = std::max(1LL, queryNumber(db, "SELECT coalesce(max(rowid), 1) FROM Activity"));
    return commitLoop(
        db, mode, "UPDATE Activity SET H0 = (coalesce(H0, 0) + 1) % 3600 WHERE rowid IN (?1, ?2, ?3)",
        seconds, pauseMs,
        [&](sqlite3_stmt* s, long long k) {
            for (int i = 1; i <= 3; ++i) {
                sqlite3_bind_int64(s, i, 1 + (k * 7919 + i * rows / 3) % rows);
            }
        },
        [](long long commits) { return commits; });
}

int crash(sqlite3* db) {
    exec(db, "PRAGMA journal_mode=DELETE");
    exec(db, "PRAGMA cache_size=1");
    exec(db, "BEGIN");
    exec(db, "UPDATE Activity SET H1 = H1 + 1");
    std::fflush(nullptr);
    std::raise(SIGKILL);
    return 1;
}

int day(sqlite3* db, long long dayNumber, int users) {
    exec(db, "BEGIN IMMEDIATE");
    for (int i = 0; i < users; ++i) {
        exec(db, "INSERT INTO Activity (ActiveDay, UserName, ComputerName, H9) VALUES (" +
                     std::to_string(dayNumber) + ", 'u" + std::to_string(i) + "', 'pc" +
                     std::to_string(i % 5) + "', " + std::to_string(60 * (i % 60 + 1)) + ")");
    }
    exec(db, "COMMIT");
    return 0;
}

int hold(sqlite3* db, int millis) {
    exec(db, "BEGIN EXCLUSIVE");
    std::printf("locked\n");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::milliseconds(millis));
    exec(db, "COMMIT");
    return 0;
}

int set(sqlite3* db, long long value, int millis) {
    exec(db, "PRAGMA journal_mode=WAL");
    exec(db, "PRAGMA synchronous=FULL");
    exec(db, "UPDATE Activity SET H0 = " + std::to_string(value));
    std::printf("committed\n");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::milliseconds(millis));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: tallyrow-test-writer churn|crash|hold FILE ...\n");
        return 2;
    }
    const std::string command = argv[1];
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(argv[2], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        die(db, "open");
    }
    // The monitoring product waits for readers rather than give up a commit.
    sqlite3_busy_timeout(db, 60000);
    int rc = 2;
    if (command == "churn" && argc == 6) {
        rc = churn(db, argv[3], std::atof(argv[4]), std::atoi(argv[5]));
    } else if (command == "tick" && argc == 6) {
        rc = tick(db, argv[3], std::atof(argv[4]), std::atoi(argv[5]));
    } else if (command == "crash") {
        rc = crash(db);
    } else if (command == "day" && argc == 5) {
        rc = day(db, std::atoll(argv[3]), std::atoi(argv[4]));
    } else if (command == "set" && argc == 5) {
        rc = set(db, std::atoll(argv[3]), std::atoi(argv[4]));
    } else if (command == "hold" && argc == 4) {
        rc = hold(db, std::atoi(argv[3]));
    } else {
        std::fprintf(stderr, "tallyrow-test-writer: bad arguments\n");
    }
    sqlite3_close(db);
    return rc;
}
