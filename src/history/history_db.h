#pragma once
// A thin wrapper over SQLite's C interface for the history database.
#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

inline constexpr int kCppSqliteError = 1000;

class CppSQLite3Exception {
  public:
    CppSQLite3Exception(int code, const std::string& message);
    int errorCode() const { return code_; }
    const char* errorMessage() const { return message_.c_str(); }
    static const char* ErrorCodeAsString(int code);

  private:
    int code_;
    std::string message_;
};

class CppSQLite3Query {
  public:
    CppSQLite3Query(sqlite3* db, sqlite3_stmt* vm, bool eof);
    CppSQLite3Query(CppSQLite3Query&& other) noexcept;
    ~CppSQLite3Query();
    bool eof() const;
    void nextRow();
    // Text of a column, empty for NULL.
    std::string getStringField(int field);
    int getIntField(int field, int nullValue = 0);
    void finalize();

  private:
    void CheckVm() const;
    void CheckField(int field) const;
    sqlite3* db_;
    sqlite3_stmt* vm_;
    bool eof_;
};

class CHistoryDb {
  public:
    CHistoryDb() = default;
    ~CHistoryDb();
    void open(const std::string& path);
    void close();
    int execDML(const std::string& sql);
    CppSQLite3Query execQuery(const std::string& sql);
    int execScalar(const std::string& sql);
    void setBusyTimeout(int ms);
    // True when SQLite could open the file for reading only.
    bool readOnly() const;
    int busyTimeoutMs() const { return busyTimeoutMs_; }

  private:
    void CheckDb() const;
    sqlite3* db_ = nullptr;
    int busyTimeoutMs_ = 60000;
};
