#pragma once
// The one way to the SQLite databases the browsers keep: a connection that
// never creates a file, never waits for a lock, and refuses a database that
// fails its own check before anything is changed.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace sorvane {

class SqliteStatement;

class SqliteDb {
public:
    SqliteDb() = default;
    ~SqliteDb();
    SqliteDb(const SqliteDb&) = delete;
    SqliteDb& operator=(const SqliteDb&) = delete;

    // Opens an existing database; a missing file is an error, never made.
    // A database another connection holds is an error at once (no waiting).
    bool open(const std::wstring& path, bool readOnly);
    // Read-only, and the file is taken as it is: no journal or log is read,
    // created, rolled back or removed, so nothing on the disk changes.
    bool openAsIs(const std::wstring& path);
    // Opens the file, or makes it (tests and tools that build databases).
    bool create(const std::wstring& path);
    void close();
    // Closing leaves a write-ahead log as it is instead of folding it into
    // the database.
    void keepLogOnClose();
    bool isOpen() const noexcept { return m_db != nullptr; }

    // Runs statements without results; false with error() set on failure.
    bool exec(std::string_view sql);
    // The rows changed by the last INSERT, UPDATE or DELETE.
    int64_t changes() const;
    // The first column of the first row, or `fallback`.
    int64_t scalar(std::string_view sql, int64_t fallback = -1);

    // Whether the database passes SQLite's quick check: a damaged, encrypted
    // or foreign file fails here (error() says why), before any change.
    bool checkIntegrity();
    // The columns of a table, lowercase; empty when there is no such table.
    std::vector<std::string> columnsOf(std::string_view table);
    bool hasColumns(std::string_view table, std::initializer_list<std::string_view> columns);

    // A one-argument SQL function of text answering 1 or 0, for WHERE clauses
    // that the caller decides row by row. Lives as long as the connection.
    bool defineTextPredicate(const char* name, std::function<bool(std::string_view)> predicate);

    // The message of the last failure: SQLite's own, or the file system's.
    const std::wstring& error() const noexcept { return m_error; }
    sqlite3* handle() const noexcept { return m_db; }
    // The open file of the main database, for checking which file SQLite
    // really opened; null when none.
    void* fileHandle() const;

private:
    friend class SqliteStatement;
    // `name`: a path or a URI, in UTF-8.
    bool openWith(const std::string& name, int flags);
    void setError();

    sqlite3* m_db = nullptr;
    std::wstring m_error;
    std::vector<std::unique_ptr<std::function<bool(std::string_view)>>> m_predicates;
};

class SqliteStatement {
public:
    SqliteStatement(SqliteDb& db, std::string_view sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    bool ok() const noexcept { return m_stmt != nullptr; }
    // True while a row is ready; false at the end or on an error (db.error()).
    bool step();
    bool failed() const noexcept { return m_failed; }
    void bind(int index, std::string_view text);
    void bind(int index, int64_t value);
    int columns() const;
    std::string text(int column) const;
    int64_t integer(int column) const;

private:
    SqliteDb& m_db;
    sqlite3_stmt* m_stmt = nullptr;
    bool m_failed = false;
};

} // namespace sorvane
