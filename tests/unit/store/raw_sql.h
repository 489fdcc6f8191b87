// SQL run on a document file behind the engine's back, for the store tests.
#pragma once

#include <wx/string.h>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <string>

namespace qn::test {

inline void rawExec(const wxString& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.utf8_str(), &db), SQLITE_OK);
    char* err = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
    sqlite3_free(err);
    sqlite3_close(db);
}

// One column of one row, as bytes ("" when absent).
inline std::string rawValue(const wxString& path, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open(path.utf8_str(), &db);
    sqlite3_stmt* st = nullptr;
    std::string out;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
        const void* p = sqlite3_column_blob(st, 0);
        out.assign(static_cast<const char*>(p ? p : ""), sqlite3_column_bytes(st, 0));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

inline int rawCount(const wxString& path, const char* sql) {
    return std::atoi(rawValue(path, sql).c_str());
}

} // namespace qn::test
