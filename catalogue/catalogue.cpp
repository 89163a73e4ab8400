#include "catalogue/catalogue.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <regex>
#include <set>

#include "catalogue/class_statistics.h"
#include "catalogue/latin_square.h"

namespace {

std::string digits_of(const Square& square)
{
    return square_digits(from_square(square));
}

bool has_column(Database& db, const char* table, const char* column)
{
    Statement info(db, "select count(*) from pragma_table_info(?1) where name = ?2");
    info.bind(1, std::string(table)).bind(2, std::string(column));
    return info.step() && info.integer(0) > 0;
}

// A unit's chain and link: <chain>, <chain>-c1, <chain>-c2, ...
void chain_of(const std::string& name, std::string& chain, std::int64_t& link)
{
    static const std::regex continuation("^(.*)-c([0-9]{1,9})$");
    std::smatch match;
    if (std::regex_match(name, match, continuation)) {
        chain = match[1];
        link = std::stoll(match[2]);
    } else {
        chain = name;
        link = 0;
    }
}

// Records a class unless it is there; true when it is new.  Its edges and
// triangles go in with it.
bool record_class(Database& db, const ClassStatistics& statistics, const std::string& unit,
                  const std::string& square, const char* origin, AddReport& report)
{
    const std::string cf = square_digits(statistics.form.form);
    Statement insert(db,
                     "insert or ignore into class (cf, class_size, transversals, mates, searched, first_unit,"
                     " first_square, origin) values (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
    insert.bind(1, cf)
        .bind(2, std::int64_t{statistics.form.class_size})
        .bind(3, std::int64_t{statistics.transversals})
        .bind(4, static_cast<std::int64_t>(statistics.mates.size()))
        .bind(5, std::int64_t{statistics.too_many_transversals ? 0 : 1})
        .bind(6, unit)
        .bind(7, square)
        .bind(8, std::string(origin));
    insert.run();
    const bool added = db.changes() > 0;
    Statement edge(db, "insert or ignore into edge (cf_a, cf_b) values (?1, ?2)");
    for (const LatinSquare& mate_form : statistics.mate_forms) {
        const std::string other = square_digits(mate_form);
        edge.bind(1, std::min(cf, other)).bind(2, std::max(cf, other));
        edge.run();
    }
    Statement triangle(db, "insert or ignore into triangle (unit, square, mate_a, mate_b) values (?1, ?2, ?3, ?4)");
    for (const Triangle& t : statistics.triangles) {
        const std::string a = square_digits(statistics.mates[t.first]);
        const std::string b = square_digits(statistics.mates[t.second]);
        triangle.bind(1, unit).bind(2, square).bind(3, a).bind(4, b);
        triangle.run();
        report.triangles.push_back("unit " + unit + ": square " + square + " with its mates " + a + " and " + b);
    }
    return added;
}

bool class_known(Database& db, const std::string& cf)
{
    Statement query(db, "select count(*) from class where cf = ?1");
    query.bind(1, cf);
    return query.step() && query.integer(0) > 0;
}

} // namespace

bool valid_unit_name(const std::string& name)
{
    if (name.empty() || name.size() > 100)
        return false;
    const auto alnum = [](char ch) {
        return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9');
    };
    if (!alnum(name[0]))
        return false;
    return std::all_of(name.begin(), name.end(),
                       [&](char ch) { return alnum(ch) || ch == '.' || ch == '_' || ch == '-'; });
}

void init_catalogue(Database& db)
{
    db.execute("begin immediate");
    db.execute(R"(
create table if not exists unit (
    name text primary key, chain text not null, link integer not null,
    space integer, start_square text, end_square text, square_limit integer,
    stop text not null, stop_square text, records integer, passing integer,
    own_records integer, own_passing integer, continuation text, error_mask integer,
    assimilated text not null default current_timestamp);
create table if not exists square (
    unit text not null references unit(name), position integer not null,
    square text not null, shared integer not null, primary key (unit, position));
create index if not exists square_by_square on square(square);
create table if not exists class (
    cf text primary key, class_size integer not null, transversals integer not null,
    mates integer not null, searched integer not null, first_unit text not null,
    first_square text not null, origin text not null,
    recorded text not null default current_timestamp);
create table if not exists edge (
    cf_a text not null, cf_b text not null, primary key (cf_a, cf_b));
create table if not exists triangle (
    unit text not null, square text not null, mate_a text not null, mate_b text not null,
    primary key (square, mate_a, mate_b));
create table if not exists known (
    cf text primary key, source text not null,
    imported text not null default current_timestamp);
)");
    // Columns that catalogues made before these figures lack.
    if (!has_column(db, "unit", "cpu_seconds"))
        db.execute("alter table unit add column cpu_seconds real");
    if (!has_column(db, "square", "cf"))
        db.execute("alter table square add column cf text");
    db.execute("create index if not exists square_by_cf on square(cf)");
    db.execute("commit");
}

AddReport add_unit(Database& db, const UnitResult& unit)
{
    AddReport report;
    std::string chain;
    std::int64_t link = 0;
    chain_of(unit.name, chain, link);
    db.execute("begin immediate");
    try {
        Statement remove(db, "delete from square where unit = ?1");
        remove.bind(1, unit.name);
        remove.run();
        Statement insert(db,
                         "insert or replace into unit (name, chain, link, space, start_square, end_square,"
                         " square_limit, stop, stop_square, records, passing, own_records, own_passing,"
                         " continuation, cpu_seconds) values (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12,"
                         " ?13, ?14, ?15)");
        insert.bind(1, unit.name)
            .bind(2, chain)
            .bind(3, link)
            .bind(4, std::int64_t{unit.space})
            .bind(5, unit.start_square)
            .bind(6, unit.end_square)
            .bind(7, unit.square_limit)
            .bind(8, unit.stop)
            .bind(9, unit.stop_square)
            .bind(10, unit.records)
            .bind(11, unit.passing)
            .bind(12, unit.own_records)
            .bind(13, unit.own_passing)
            .bind(14, unit.continuation)
            .bind(15, unit.cpu_seconds);
        insert.run();

        Statement square_row(db, "insert into square (unit, position, square, shared, cf) values (?1, ?2, ?3, ?4, ?5)");
        for (std::size_t i = 0; i < unit.found.size(); ++i) {
            const std::int64_t position = static_cast<std::int64_t>(i) + 1;
            // dlsmate-check leaves the square shared with the next unit out of
            // own_records: the last record.
            const bool shared = position == unit.records && unit.own_records < unit.records;
            const std::string square = digits_of(unit.found[i]);
            const ClassStatistics statistics = class_statistics(unit.found[i]);
            square_row.bind(1, unit.name)
                .bind(2, position)
                .bind(3, square)
                .bind(4, std::int64_t{shared ? 1 : 0})
                .bind(5, square_digits(statistics.form.form));
            square_row.run();
            if (record_class(db, statistics, unit.name, square, "found", report))
                ++report.new_classes;
            // The mates' classes, each searched once, as the classes they are.
            for (const LatinSquare& mate_form : statistics.mate_forms) {
                const std::string cf = square_digits(mate_form);
                if (class_known(db, cf))
                    continue;
                if (record_class(db, class_statistics(to_square(mate_form)), unit.name, cf, "mate", report))
                    ++report.new_classes;
            }
        }
        db.execute("commit");
    } catch (...) {
        db.execute("rollback");
        throw;
    }
    return report;
}

void add_error(Database& db, const std::string& name, std::int64_t mask)
{
    std::string chain;
    std::int64_t link = 0;
    chain_of(name, chain, link);
    db.execute("begin immediate");
    try {
        Statement remove(db, "delete from square where unit = ?1");
        remove.bind(1, name);
        remove.run();
        Statement insert(db,
                         "insert or replace into unit (name, chain, link, stop, error_mask)"
                         " values (?1, ?2, ?3, 'error', ?4)");
        insert.bind(1, name).bind(2, chain).bind(3, link).bind(4, mask);
        insert.run();
        db.execute("commit");
    } catch (...) {
        db.execute("rollback");
        throw;
    }
}

int import_known(Database& db, const std::vector<std::string>& forms, const std::string& source)
{
    int added = 0;
    db.execute("begin immediate");
    try {
        Statement insert(db, "insert or ignore into known (cf, source) values (?1, ?2)");
        for (const std::string& cf : forms) {
            insert.bind(1, cf).bind(2, source);
            insert.run();
            added += db.changes();
        }
        db.execute("commit");
    } catch (...) {
        db.execute("rollback");
        throw;
    }
    return added;
}

std::vector<std::string> space_totals(Database& db)
{
    Statement query(db, R"(select space, count(*), count(distinct chain),
            coalesce(sum(own_passing), 0), sum(passing is null and stop <> 'error'),
            (select count(*) from square s join unit v on v.name = s.unit
             where v.space is u.space and s.shared = 0),
            sum(stop = 'error')
        from unit u group by space order by space nulls last)");
    std::vector<std::string> lines;
    while (query.step()) {
        std::string line;
        if (query.is_null(0)) {
            // Units that failed before their result named a space.
            line = std::to_string(query.integer(1)) + " units failed without a result";
        } else {
            line = "space " + std::to_string(query.integer(0)) + ": " + std::to_string(query.integer(1)) +
                   " results of " + std::to_string(query.integer(2)) + " units, " + std::to_string(query.integer(3)) +
                   " squares passed the filter, " + std::to_string(query.integer(5)) + " with a mate";
            if (query.integer(4) != 0)
                line += ", " + std::to_string(query.integer(4)) + " results ran to the end of the space uncounted";
            if (query.integer(6) != 0)
                line += ", " + std::to_string(query.integer(6)) + " units failed";
        }
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::pair<std::string, std::string>> found_squares(Database& db, std::optional<int> space)
{
    Statement query(db, R"(select s.unit, s.square from square s join unit u on u.name = s.unit
        where s.shared = 0 and (?1 is null or u.space = ?1) order by s.square, s.unit)");
    if (space)
        query.bind(1, std::int64_t{*space});
    std::vector<std::pair<std::string, std::string>> squares;
    while (query.step())
        squares.emplace_back(query.text(0), query.text(1));
    return squares;
}

std::vector<ClassRow> class_rows(Database& db)
{
    Statement query(db, R"(select c.cf, c.class_size, c.transversals, c.mates, c.searched, c.first_unit,
            c.first_square, c.origin,
            (select count(*) from square s where s.cf = c.cf and s.shared = 0),
            exists (select * from known k where k.cf = c.cf)
        from class c order by c.cf)");
    std::vector<ClassRow> rows;
    while (query.step()) {
        ClassRow row;
        row.cf = query.text(0);
        row.class_size = query.integer(1);
        row.transversals = query.integer(2);
        row.mates = query.integer(3);
        row.searched = query.integer(4) != 0;
        row.first_unit = query.text(5);
        row.first_square = query.text(6);
        row.origin = query.text(7);
        row.found = query.integer(8);
        row.known = query.integer(9) != 0;
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::pair<std::string, std::string>> graph_edges(Database& db)
{
    Statement query(db, "select cf_a, cf_b from edge order by cf_a, cf_b");
    std::vector<std::pair<std::string, std::string>> edges;
    while (query.step())
        edges.emplace_back(query.text(0), query.text(1));
    return edges;
}

std::vector<std::string> triangle_lines(Database& db)
{
    Statement query(db, "select unit, square, mate_a, mate_b from triangle order by unit, square, mate_a, mate_b");
    std::vector<std::string> lines;
    while (query.step())
        lines.push_back("unit " + query.text(0) + ": square " + query.text(1) + " with its mates " + query.text(2) +
                        " and " + query.text(3));
    return lines;
}

ResearchTotals research_totals(Database& db)
{
    ResearchTotals totals;
    {
        Statement query(db, R"(select count(*), coalesce(sum(stop = 'error'), 0),
                coalesce(sum(own_passing), 0), coalesce(sum(cpu_seconds), 0), count(cpu_seconds),
                (select count(*) from square where shared = 0)
            from unit)");
        query.step();
        totals.failed = query.integer(1);
        totals.results = query.integer(0) - totals.failed;
        totals.kept_squares = query.integer(2);
        totals.cpu_seconds = query.real(3);
        totals.timed_results = query.integer(4);
        totals.squares_with_mate = query.integer(5);
    }
    const std::vector<ClassRow> classes = class_rows(db);
    const auto edges = graph_edges(db);
    totals.classes = static_cast<std::int64_t>(classes.size());
    std::map<std::string, int> index;
    for (const ClassRow& row : classes) {
        if (row.found > 0)
            ++totals.found_classes;
        (row.known ? totals.known_classes : totals.new_classes) += 1;
        if (row.searched)
            totals.most_mates = std::max(totals.most_mates, row.mates);
        index.emplace(row.cf, static_cast<int>(index.size()));
    }
    for (const auto& [a, b] : edges) {
        index.emplace(a, static_cast<int>(index.size()));
        index.emplace(b, static_cast<int>(index.size()));
    }
    // Components: union-find over every CF of a class or an edge.
    std::vector<int> parent(index.size());
    std::iota(parent.begin(), parent.end(), 0);
    const auto root = [&](int v) {
        while (parent[v] != v)
            v = parent[v] = parent[parent[v]];
        return v;
    };
    for (const auto& [a, b] : edges)
        parent[root(index[a])] = root(index[b]);
    for (std::size_t v = 0; v < parent.size(); ++v)
        totals.components += root(static_cast<int>(v)) == static_cast<int>(v) ? 1 : 0;
    totals.edges = static_cast<std::int64_t>(edges.size());
    Statement triangles(db, "select count(*) from triangle");
    triangles.step();
    totals.triangles = triangles.integer(0);
    return totals;
}
