// The write lock a writer takes before it chooses new block ids.
#include "store/database.h"

#include <sqlite3.h>

#include <algorithm>

namespace qn {

bool Database::beginWrite() {
    if (!db_) return false;
    if (!sqlite3_get_autocommit(db_)) return true; // inside a transaction already
    if (sql_exec(db_, "begin immediate") != 0) return false;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, "select max(id) from block", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        maxId_ = std::max(maxId_, sqlite3_column_int(st, 0));
    sqlite3_finalize(st);
    return true;
}

} // namespace qn
