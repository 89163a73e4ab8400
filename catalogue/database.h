// SQLite through its C API, every value bound as a parameter: a small owner of
// the connection and of one statement at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

// A failure of SQLite, with its message.
struct DatabaseError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Database {
public:
    enum class Mode { read_only, read_write, create };
    // Opens the file (creating it in Mode::create), waits up to busy_ms for
    // another connection's lock; a writer keeps the journal in write-ahead mode.
    Database(const std::string& path, Mode mode, int busy_ms);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Statements without parameters or results (the schema, transactions).
    void execute(const std::string& sql);
    // Rows the last insert, update or delete changed.
    int changes();
    sqlite3* handle() { return db_; }

private:
    sqlite3* db_ = nullptr;
};

// One prepared statement: bind(1, ...), bind(2, ...), then step() until false.
class Statement {
public:
    Statement(Database& db, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, const std::string& text);
    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, double value);
    Statement& bind_null(int index);
    template <typename T>
    Statement& bind(int index, const std::optional<T>& value)
    {
        return value ? bind(index, *value) : bind_null(index);
    }
    // True while a row is there to read.
    bool step();
    // step() to the end, then ready for new bindings.
    void run();
    void reset();

    bool is_null(int column);
    std::int64_t integer(int column);
    double real(int column);
    std::string text(int column);

private:
    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
};
