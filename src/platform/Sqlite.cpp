#include "platform/Sqlite.h"

#include "platform/Text.h"

#include <sqlite3.h>

#include <algorithm>

namespace sorvane {

namespace {

void callPredicate(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    auto* predicate = static_cast<std::function<bool(std::string_view)>*>(sqlite3_user_data(context));
    if (argc != 1 || sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_int(context, 0);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const int length = sqlite3_value_bytes(argv[0]);
    sqlite3_result_int(context, (*predicate)(std::string_view(text ? text : "", text ? length : 0)) ? 1 : 0);
}

} // namespace

SqliteDb::~SqliteDb()
{
    close();
}

void SqliteDb::close()
{
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_predicates.clear();
}

void SqliteDb::keepLogOnClose()
{
    if (m_db)
        sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
}

void SqliteDb::setError()
{
    m_error = m_db ? fromUtf8(sqlite3_errmsg(m_db)) : L"out of memory";
}

bool SqliteDb::openWith(const std::string& name, int flags)
{
    close();
    m_error.clear();
    const int rc = sqlite3_open_v2(name.c_str(), &m_db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        setError();
        close();
        return false;
    }
    sqlite3_extended_result_codes(m_db, 1);
    // A browser or another program holding the database: never wait for it.
    sqlite3_busy_timeout(m_db, 0);
    return true;
}

bool SqliteDb::open(const std::wstring& path, bool readOnly)
{
    return openWith(toUtf8(path), readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE);
}

bool SqliteDb::openAsIs(const std::wstring& path)
{
    // file:///C:/... with the characters a URI gives a meaning escaped.
    std::string uri = "file:///";
    for (const char c : toUtf8(path)) {
        switch (c) {
        case '\\': uri += '/'; break;
        case '%': uri += "%25"; break;
        case '?': uri += "%3f"; break;
        case '#': uri += "%23"; break;
        default: uri += c; break;
        }
    }
    uri += "?immutable=1";
    return openWith(uri, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
}

void* SqliteDb::fileHandle() const
{
    void* h = nullptr;
    if (!m_db || sqlite3_file_control(m_db, "main", SQLITE_FCNTL_WIN32_GET_HANDLE, &h) != SQLITE_OK)
        return nullptr;
    return h;
}

bool SqliteDb::create(const std::wstring& path)
{
    return openWith(toUtf8(path), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
}

bool SqliteDb::exec(std::string_view sql)
{
    if (!m_db) {
        m_error = L"the database is not open";
        return false;
    }
    const std::string text(sql);
    if (sqlite3_exec(m_db, text.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        setError();
        return false;
    }
    return true;
}

int64_t SqliteDb::changes() const
{
    return m_db ? sqlite3_changes64(m_db) : 0;
}

int64_t SqliteDb::scalar(std::string_view sql, int64_t fallback)
{
    SqliteStatement st(*this, sql);
    if (st.ok() && st.step())
        return st.integer(0);
    return fallback;
}

bool SqliteDb::checkIntegrity()
{
    SqliteStatement st(*this, "PRAGMA quick_check");
    if (!st.ok())
        return false;
    std::string first;
    bool any = false;
    while (st.step()) {
        if (!any)
            first = st.text(0);
        any = true;
    }
    if (st.failed())
        return false;
    if (any && first == "ok")
        return true;
    m_error = first.empty() ? L"the database failed its check" : L"the database failed its check: " + fromUtf8(first);
    return false;
}

std::vector<std::string> SqliteDb::columnsOf(std::string_view table)
{
    std::vector<std::string> columns;
    SqliteStatement st(*this, "SELECT name FROM pragma_table_info(?1)");
    if (!st.ok())
        return columns;
    st.bind(1, table);
    while (st.step())
        columns.push_back(asciiLower(st.text(0)));
    return columns;
}

bool SqliteDb::hasColumns(std::string_view table, std::initializer_list<std::string_view> columns)
{
    const auto have = columnsOf(table);
    for (auto c : columns)
        if (std::find(have.begin(), have.end(), asciiLower(c)) == have.end())
            return false;
    return !have.empty();
}

bool SqliteDb::defineTextPredicate(const char* name, std::function<bool(std::string_view)> predicate)
{
    if (!m_db)
        return false;
    m_predicates.push_back(std::make_unique<std::function<bool(std::string_view)>>(std::move(predicate)));
    if (sqlite3_create_function_v2(m_db, name, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, m_predicates.back().get(),
                                   callPredicate, nullptr, nullptr, nullptr) != SQLITE_OK) {
        setError();
        return false;
    }
    return true;
}

SqliteStatement::SqliteStatement(SqliteDb& db, std::string_view sql) : m_db(db)
{
    if (!db.handle() ||
        sqlite3_prepare_v2(db.handle(), sql.data(), static_cast<int>(sql.size()), &m_stmt, nullptr) != SQLITE_OK) {
        m_stmt = nullptr;
        m_failed = true;
        db.setError();
    }
}

SqliteStatement::~SqliteStatement()
{
    if (m_stmt)
        sqlite3_finalize(m_stmt);
}

bool SqliteStatement::step()
{
    if (!m_stmt || m_failed)
        return false;
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE) {
        m_failed = true;
        m_db.setError();
    }
    return false;
}

void SqliteStatement::bind(int index, std::string_view text)
{
    if (m_stmt)
        sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void SqliteStatement::bind(int index, int64_t value)
{
    if (m_stmt)
        sqlite3_bind_int64(m_stmt, index, value);
}

int SqliteStatement::columns() const
{
    return m_stmt ? sqlite3_column_count(m_stmt) : 0;
}

std::string SqliteStatement::text(int column) const
{
    if (!m_stmt)
        return {};
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(m_stmt, column))) : std::string();
}

int64_t SqliteStatement::integer(int column) const
{
    return m_stmt ? sqlite3_column_int64(m_stmt, column) : 0;
}

} // namespace sorvane
