// tallyrow-template-builder FILE: writes an empty data file (the Activity table and its indexes)
// to FILE. The file is built beside FILE and renamed into place, so an interrupted build never
// leaves a half-written template behind.
#include "ActivitySchema.h"

#include <sqlite3.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tallyrow-template-builder FILE\n");
        return 2;
    }
    const std::string target = argv[1];
    const std::string temp = target + ".part";
    std::remove(temp.c_str());

    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(temp.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    char* message = nullptr;
    if (rc == SQLITE_OK) {
        rc = sqlite3_exec(db, tallyrow::activitySchemaSql(), nullptr, nullptr, &message);
    }
    if (rc == SQLITE_OK) {
        // A rollback journal, not WAL: readers open the template's copies strictly read-only.
        rc = sqlite3_exec(db, "PRAGMA journal_mode=DELETE; VACUUM;", nullptr, nullptr, &message);
    }
    if (rc != SQLITE_OK) {
        std::fprintf(stderr, "tallyrow-template-builder: %s: %s\n", temp.c_str(),
                     message ? message : (db ? sqlite3_errmsg(db) : "cannot create the file"));
        sqlite3_free(message);
        sqlite3_close(db);
        std::remove(temp.c_str());
        return 1;
    }
    sqlite3_close(db);
    if (std::rename(temp.c_str(), target.c_str()) != 0) {
        std::perror(target.c_str());
        std::remove(temp.c_str());
        return 1;
    }
    return 0;
}
