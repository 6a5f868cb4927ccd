#include "history/history_db.h"

#include <sqlite3.h>

#include <cstdlib>

#include "platform/text.h"

CppSQLite3Exception::CppSQLite3Exception(int code, const std::string& message)
    : code_(code),
      message_(platform::Format("%s[%d]: %s", ErrorCodeAsString(code), code,
                                message.empty() ? "" : message.c_str())) {}

const char* CppSQLite3Exception::ErrorCodeAsString(int code) {
    static const char* const kNames[] = {
        "SQLITE_OK",       "SQLITE_ERROR",     "SQLITE_INTERNAL", "SQLITE_PERM",
        "SQLITE_ABORT",    "SQLITE_BUSY",      "SQLITE_LOCKED",   "SQLITE_NOMEM",
        "SQLITE_READONLY", "SQLITE_INTERRUPT", "SQLITE_IOERR",    "SQLITE_CORRUPT",
        "SQLITE_NOTFOUND", "SQLITE_FULL",      "SQLITE_CANTOPEN", "SQLITE_PROTOCOL",
        "SQLITE_EMPTY",    "SQLITE_SCHEMA",    "SQLITE_TOOBIG",   "SQLITE_CONSTRAINT",
        "SQLITE_MISMATCH", "SQLITE_MISUSE",    "SQLITE_NOLFS",    "SQLITE_AUTH",
        "SQLITE_FORMAT",   "SQLITE_RANGE"};
    if (code >= 0 && code <= 25) return kNames[code];
    if (code == 100) return "SQLITE_ROW";
    if (code == 101) return "SQLITE_DONE";
    if (code == kCppSqliteError) return "CPPSQLITE_ERROR";
    return "UNKNOWN_ERROR";
}

CppSQLite3Query::CppSQLite3Query(sqlite3* db, sqlite3_stmt* vm, bool eof)
    : db_(db), vm_(vm), eof_(eof) {}

CppSQLite3Query::CppSQLite3Query(CppSQLite3Query&& o) noexcept
    : db_(o.db_), vm_(o.vm_), eof_(o.eof_) {
    o.vm_ = nullptr;
}

CppSQLite3Query::~CppSQLite3Query() {
    if (vm_) sqlite3_finalize(vm_);
}

void CppSQLite3Query::CheckVm() const {
    if (!vm_) throw CppSQLite3Exception(kCppSqliteError, "Null Virtual Machine pointer");
}

void CppSQLite3Query::CheckField(int field) const {
    CheckVm();
    if (field < 0 || field > sqlite3_column_count(vm_) - 1)
        throw CppSQLite3Exception(kCppSqliteError, "Invalid field index requested");
}

bool CppSQLite3Query::eof() const {
    CheckVm();
    return eof_;
}

void CppSQLite3Query::nextRow() {
    CheckVm();
    int rc = sqlite3_step(vm_);
    if (rc == SQLITE_DONE) {
        eof_ = true;
    } else if (rc != SQLITE_ROW) {
        std::string msg = sqlite3_errmsg(db_);
        finalize();
        throw CppSQLite3Exception(rc, msg);
    }
}

std::string CppSQLite3Query::getStringField(int field) {
    CheckField(field);
    const unsigned char* t = sqlite3_column_text(vm_, field);
    return t ? reinterpret_cast<const char*>(t) : "";
}

int CppSQLite3Query::getIntField(int field, int nullValue) {
    CheckField(field);
    if (sqlite3_column_type(vm_, field) == SQLITE_NULL) return nullValue;
    return sqlite3_column_int(vm_, field);
}

void CppSQLite3Query::finalize() {
    if (vm_) sqlite3_finalize(vm_);
    vm_ = nullptr;
}

CHistoryDb::~CHistoryDb() {
    close();
}

void CHistoryDb::CheckDb() const {
    if (!db_) throw CppSQLite3Exception(kCppSqliteError, "Database not open");
}

void CHistoryDb::open(const std::string& path) {
    int rc = sqlite3_open(path.c_str(), &db_);
    if (rc != SQLITE_OK) {
        std::string msg = db_ ? sqlite3_errmsg(db_) : "cannot open";
        close();
        throw CppSQLite3Exception(rc, msg);
    }
    setBusyTimeout(busyTimeoutMs_);
}

bool CHistoryDb::readOnly() const {
    return db_ && sqlite3_db_readonly(db_, "main") == 1;
}

void CHistoryDb::close() {
    if (db_) sqlite3_close(db_);
    db_ = nullptr;
}

void CHistoryDb::setBusyTimeout(int ms) {
    busyTimeoutMs_ = ms;
    if (db_) sqlite3_busy_timeout(db_, ms);
}

int CHistoryDb::execDML(const std::string& sql) {
    CheckDb();
    char* err = nullptr;
    int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        std::string msg = err ? err : sqlite3_errmsg(db_);
        sqlite3_free(err);
        throw CppSQLite3Exception(rc, msg);
    }
    return sqlite3_changes(db_);
}

CppSQLite3Query CHistoryDb::execQuery(const std::string& sql) {
    CheckDb();
    sqlite3_stmt* vm = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &vm, nullptr);
    if (rc != SQLITE_OK) throw CppSQLite3Exception(rc, sqlite3_errmsg(db_));
    if (!vm) throw CppSQLite3Exception(kCppSqliteError, "Empty statement");
    rc = sqlite3_step(vm);
    if (rc == SQLITE_DONE) return CppSQLite3Query(db_, vm, true);
    if (rc == SQLITE_ROW) return CppSQLite3Query(db_, vm, false);
    std::string msg = sqlite3_errmsg(db_);
    sqlite3_finalize(vm);
    throw CppSQLite3Exception(rc, msg);
}

int CHistoryDb::execScalar(const std::string& sql) {
    CppSQLite3Query q = execQuery(sql);
    if (q.eof()) throw CppSQLite3Exception(kCppSqliteError, "Invalid scalar query");
    std::string t;
    try {
        t = q.getStringField(0);
    } catch (const CppSQLite3Exception&) {
        throw CppSQLite3Exception(kCppSqliteError, "Invalid scalar query");
    }
    return std::atoi(t.c_str());
}
