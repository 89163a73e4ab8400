#include "catalogue/database.h"

#include <sqlite3.h>

namespace {

[[noreturn]] void fail(sqlite3* db, const std::string& what)
{
    throw DatabaseError(what + ": " + (db != nullptr ? sqlite3_errmsg(db) : "out of memory"));
}

} // namespace

Database::Database(const std::string& path, Mode mode, int busy_ms)
{
    const int flags = mode == Mode::read_only ? SQLITE_OPEN_READONLY
                      : mode == Mode::create  ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE
                                              : SQLITE_OPEN_READWRITE;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        const std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw DatabaseError("cannot open " + path + ": " + message);
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, busy_ms);
    execute("pragma foreign_keys = on");
    if (mode != Mode::read_only) {
        // The mode stays with the file once set; readers then never block the writer.
        Statement journal(*this, "pragma journal_mode = wal");
        journal.run();
    }
}

Database::~Database()
{
    sqlite3_close_v2(db_);
}

void Database::execute(const std::string& sql)
{
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string text = message != nullptr ? message : sqlite3_errmsg(db_);
        sqlite3_free(message);
        throw DatabaseError(text);
    }
}

int Database::changes()
{
    return sqlite3_changes(db_);
}

Statement::Statement(Database& db, const char* sql) : db_(db.handle())
{
    if (sqlite3_prepare_v2(db_, sql, -1, &statement_, nullptr) != SQLITE_OK)
        fail(db_, std::string("cannot prepare \"") + sql + "\"");
}

Statement::~Statement()
{
    sqlite3_finalize(statement_);
}

Statement& Statement::bind(int index, const std::string& text)
{
    if (sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) != SQLITE_OK)
        fail(db_, "cannot bind a value");
    return *this;
}

Statement& Statement::bind(int index, std::int64_t value)
{
    if (sqlite3_bind_int64(statement_, index, value) != SQLITE_OK)
        fail(db_, "cannot bind a value");
    return *this;
}

Statement& Statement::bind(int index, double value)
{
    if (sqlite3_bind_double(statement_, index, value) != SQLITE_OK)
        fail(db_, "cannot bind a value");
    return *this;
}

Statement& Statement::bind_null(int index)
{
    if (sqlite3_bind_null(statement_, index) != SQLITE_OK)
        fail(db_, "cannot bind a value");
    return *this;
}

bool Statement::step()
{
    const int code = sqlite3_step(statement_);
    if (code == SQLITE_ROW)
        return true;
    if (code == SQLITE_DONE)
        return false;
    fail(db_, std::string("\"") + sqlite3_sql(statement_) + "\" failed");
}

void Statement::run()
{
    while (step()) {
    }
    reset();
}

void Statement::reset()
{
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

bool Statement::is_null(int column)
{
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::int64_t Statement::integer(int column)
{
    return sqlite3_column_int64(statement_, column);
}

double Statement::real(int column)
{
    return sqlite3_column_double(statement_, column);
}

std::string Statement::text(int column)
{
    const unsigned char* value = sqlite3_column_text(statement_, column);
    return value != nullptr ? reinterpret_cast<const char*>(value) : "";
}
