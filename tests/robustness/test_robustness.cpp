// Damaged and odd work units through the built worker (the sanitizer build in
// the sanitizer tree): every run ends with a documented message and status,
// never a crash or a sanitizer report, and a rejected work unit never creates a
// result file.  Where the reading of a work unit is known by construction, the
// run must also end the expected way and give the expected result.
//
// A run that is accepted costs the library's pause of two seconds at the finish;
// accepted work units are kept few and cheap (their search stops after the first
// few squares), and the rejected ones many.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "reference/enumeration_reference.h"
#include "test_squares.h"
#include "worker_batch.h"

namespace {

// ---- deterministic choices ----------------------------------------------

// splitmix64: the same sequence on every platform and library.
struct Random {
    std::uint64_t state;
    std::uint64_t next()
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 <= value < bound
    std::size_t below(std::size_t bound) { return static_cast<std::size_t>(next() % bound); }
    template <typename T>
    const T& pick(const std::vector<T>& items)
    {
        return items[below(items.size())];
    }
};

// ---- work units as text ---------------------------------------------------

using Tokens = std::vector<std::string>;  // the 202 numbers as written

constexpr std::size_t header_size = 2;
constexpr std::size_t start_at = 2;     // token of start cell (r, c): start_at + 10 r + c
constexpr std::size_t end_at = 102;     // token of end cell (r, c): end_at + 10 r + c
constexpr std::size_t token_count = 202;

std::string read_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

Tokens split(const std::string& text)
{
    std::istringstream in(text);
    Tokens tokens;
    for (std::string token; in >> token;)
        tokens.push_back(token);
    return tokens;
}

// The usual layout: header line, start square, empty line, end square.
std::string render(const Tokens& t)
{
    std::string text = t[0] + " " + t[1] + "\n";
    for (std::size_t i = header_size; i < t.size(); ++i) {
        text += t[i];
        const std::size_t cell = (i - header_size) % 100;
        text += cell % 10 == 9 ? "\n" : " ";
        if (i == end_at - 1)
            text += "\n";
    }
    return text;
}

Tokens sample_tokens()
{
    const Tokens tokens = split(read_text(DLSMATE_SAMPLES_DIR "/sample.wu"));
    if (tokens.size() != token_count)
        throw std::runtime_error("the sample work unit does not hold 202 numbers");
    return tokens;
}

Tokens square_tokens(const Square& square)
{
    Tokens tokens;
    for (std::uint8_t cell : square.cells)
        tokens.push_back(std::to_string(cell));
    return tokens;
}

Tokens workunit_tokens(const std::string& index, const std::string& limit, const Square& start, const Square& end)
{
    Tokens tokens = {index, limit};
    for (const Tokens& square : {square_tokens(start), square_tokens(end)})
        tokens.insert(tokens.end(), square.begin(), square.end());
    return tokens;
}

// Where each token of a text begins and ends.
std::vector<std::pair<std::size_t, std::size_t>> token_spans(const std::string& text)
{
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    std::size_t at = 0;
    for (;;) {
        at = text.find_first_not_of(" \t\n\v\f\r", at);
        if (at == std::string::npos)
            return spans;
        const std::size_t end = std::min(text.find_first_of(" \t\n\v\f\r", at), text.size());
        spans.emplace_back(at, end);
        at = end;
    }
}

std::string printable(const std::string& bytes)
{
    std::string text;
    for (unsigned char ch : bytes.substr(0, 160)) {
        if (ch == '\n')
            text += "\\n";
        else if (std::isprint(ch))
            text += static_cast<char>(ch);
        else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", ch);
            text += escaped;
        }
    }
    return bytes.size() > 160 ? text + "..." : text;
}

// ---- an independent reading of result files ------------------------------

// Reads one record at `at`; false when its layout is wrong.
bool read_record(const std::string& bytes, std::size_t at, Square& square)
{
    if (bytes.size() < at + 212)
        return false;
    for (int r = 0; r < 10; ++r) {
        for (int c = 0; c < 10; ++c) {
            square.cells[10 * r + c] = static_cast<std::uint8_t>(bytes[at + 21 * r + 2 * c] - 48);
            const char after = bytes[at + 21 * r + 2 * c + 1];
            if (c < 9 ? after != ' ' : (after != '\r' || bytes[at + 21 * r + 20] != '\n'))
                return false;
        }
    }
    return bytes.compare(at + 210, 2, "\r\n") == 0;
}

bool less(const Square& a, const Square& b)
{
    return std::lexicographical_compare(std::begin(a.cells), std::end(a.cells), std::begin(b.cells), std::end(b.cells));
}

bool is_generated(const Square& square)
{
    for (int i = 0; i < 10; ++i)
        if (square.cells[11 * i] != i)
            return false;
    return reference::is_diagonal_latin(square);
}

// Empty when `bytes` is a well-formed result file: records of squares of the
// space in increasing order, then possibly the closing block.
std::string result_problem(const std::string& bytes)
{
    std::size_t at = 0;
    std::size_t records = 0;
    std::optional<Square> previous;
    while (at < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[at]))) {
        Square square;
        if (!read_record(bytes, at, square) || !is_generated(square))
            return "record " + std::to_string(records) + " is not a square of the space";
        if (previous && !less(*previous, square))
            return "record " + std::to_string(records) + " is out of order";
        previous = square;
        at += 212;
        ++records;
    }
    if (at == bytes.size())
        return "";

    static const std::regex status_line("X\r\n([0-9]{1,2}) ([0-9]{1,20})\r\n");
    const std::size_t line_end = bytes.find("\r\n", bytes.find("\r\n", at) + 2);
    std::smatch match;
    const std::string line = line_end == std::string::npos ? std::string() : bytes.substr(at, line_end + 2 - at);
    if (!std::regex_match(line, match, status_line))
        return "neither a record nor a status line at byte " + std::to_string(at);
    const int index = std::stoi(match[1].str());
    if (index < 1 || index > 67)
        return "status line index " + match[1].str();
    if (std::stoull(match[2].str()) < std::max<std::size_t>(records, 1))
        return "status line count below the records written";
    at += line.size();
    Square stop;
    Square end;
    if (!read_record(bytes, at, stop) || !is_generated(stop))
        return "the stop record is not a square of the space";
    if (previous && less(stop, *previous))
        return "the stop record comes before a record written";
    if (!read_record(bytes, at + 212, end))
        return "the end-square record is malformed";
    if (bytes.size() != at + 424)
        return "bytes after the end-square record";
    return "";
}

// ---- cases -------------------------------------------------------------------

struct Case {
    Case(std::string name_, std::string workunit_, std::optional<Outcome> expected_ = std::nullopt,
         std::optional<std::size_t> same_as_ = std::nullopt, std::optional<std::string> result_ = std::nullopt,
         std::optional<std::string> ends_with_ = std::nullopt)
        : name(std::move(name_)), workunit(std::move(workunit_)), expected(expected_), same_as(same_as_),
          result(std::move(result_)), ends_with(std::move(ends_with_))
    {
    }

    std::string name;
    std::string workunit;
    std::optional<Outcome> expected;      // when known by construction
    std::optional<std::size_t> same_as;   // completes with the same result as this case
    std::optional<std::string> result;    // the exact result file
    std::optional<std::string> ends_with; // the result file's last bytes
};

// Runs every case and checks it; cases refer to each other by position.
void run_and_check(const std::vector<Case>& cases)
{
    std::vector<std::string> workunits;
    for (const Case& c : cases)
        workunits.push_back(c.workunit);
    const std::vector<BatchRun> runs = run_batch(workunits);

    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const BatchRun& run = runs[i];
        SCOPED_TRACE(c.name + ": \"" + printable(c.workunit) + "\"");
        std::string why;
        const Outcome outcome = classify(run, why);
        EXPECT_NE(outcome, Outcome::undocumented) << why;
        if (outcome != Outcome::completed) {
            EXPECT_FALSE(run.result_exists) << "a run that did not complete left a result file";
        } else {
            EXPECT_EQ(result_problem(run.result), "") << printable(run.result);
        }
        if (c.expected) {
            EXPECT_STREQ(outcome_name(outcome), outcome_name(*c.expected)) << why;
        }
        if (c.same_as) {
            EXPECT_TRUE(runs[*c.same_as].result_exists) << "the case compared with did not complete";
            EXPECT_EQ(run.result, runs[*c.same_as].result) << "compared with " << cases[*c.same_as].name;
        }
        if (c.result) {
            EXPECT_TRUE(run.result_exists);
            EXPECT_EQ(printable(run.result), printable(*c.result));
        }
        if (c.ends_with) {
            const std::string& r = run.result;
            EXPECT_TRUE(r.size() >= c.ends_with->size() &&
                        r.compare(r.size() - c.ends_with->size(), c.ends_with->size(), *c.ends_with) == 0)
                << printable(r.substr(r.size() > 212 ? r.size() - 212 : 0));
        }
    }
}

// Text on which "%d" and "%llu" fail: it begins with neither white space nor
// a digit, and a sign in it is not followed by a digit.
const std::vector<std::string> not_numbers = {
    "a", "Z", "x7", "e5", ".5", ",", ";", "#", "*", "(", "nan", "inf", "O", "l",
    std::string("\0", 1), "\x01", "\x1b[0m", "\x7f", "\x80", "\xff", "\xc3\xa9", "\xef\xbb\xbf", "\xd9\xa3",
    // a sign must be followed by a digit
    "+", "-", "+-1", "-+1", "--1", "++1", "+ 1", "- 1", "-\n1",
};

const std::vector<std::string> bad_start_values = {
    "10", "31", "32", "33", "-1", "-31", "-32", "255", "256", "1000000000", "2147483647", "-2147483648",
};

TEST(DamagedWorkUnits, TruncatedOnesAreRejectedWithoutAResultFile)
{
    Random random{1};
    std::vector<Case> cases = {{"empty", "", Outcome::rejected}, {"white space only", " \n\t\r\n", Outcome::rejected}};
    const std::string zero_start = render(workunit_tokens("1", "1", Square{}, filled_square(9)));
    for (const std::string& text : {read_text(DLSMATE_SAMPLES_DIR "/sample.wu"), zero_start}) {
        const auto spans = token_spans(text);
        ASSERT_EQ(spans.size(), token_count);
        // Whole numbers kept: fewer than 202.
        for (std::size_t kept : {1, 2, 3, 52, 101, 102, 103, 150, 200, 201})
            cases.push_back({"the first " + std::to_string(kept) + " numbers", text.substr(0, spans[kept - 1].second),
                             Outcome::rejected});
        // Cut anywhere before the last number begins, inside a number too.
        for (int n = 0; n < 10; ++n) {
            const std::size_t cut = random.below(spans[token_count - 1].first);
            cases.push_back({"cut at byte " + std::to_string(cut), text.substr(0, cut), Outcome::rejected});
        }
    }
    run_and_check(cases);
}

TEST(DamagedWorkUnits, AHeaderOutOfRangeIsRejected)
{
    std::vector<Case> cases;
    Tokens tokens = sample_tokens();
    for (const char* index : {"0", "68", "-1", "-67", "100", "2147483647", "-2147483648", "+0", "-0", "000"}) {
        tokens[0] = index;
        cases.push_back({std::string("diagonal index ") + index, render(tokens), Outcome::rejected});
    }
    tokens = sample_tokens();
    for (const char* limit : {"0", "+0", "-0", "00000000000000000000000"}) {
        tokens[1] = limit;
        cases.push_back({std::string("square limit ") + limit, render(tokens), Outcome::rejected});
    }
    run_and_check(cases);
}

TEST(DamagedWorkUnits, SomethingThatIsNotANumberAmongThe202IsRejected)
{
    Random random{2};
    std::vector<Case> cases;
    const Tokens sample = sample_tokens();
    for (int n = 0; n < 50; ++n) {
        Tokens tokens = sample;
        const std::size_t k = random.below(token_count);
        const std::string& bad = random.pick(not_numbers);
        // Sometimes in front of the number (a lone sign there would make it
        // a signed number).
        tokens[k] = random.below(2) == 0 || bad == "+" || bad == "-" ? bad : bad + tokens[k];
        cases.push_back({"number " + std::to_string(k) + " replaced", render(tokens), Outcome::rejected});
    }
    // A byte that is not white space between two numbers: the first is read,
    // the next read fails.
    for (int n = 0; n < 10; ++n) {
        Tokens tokens = sample;
        const std::size_t k = random.below(token_count - 1);
        const std::string& bad = random.pick(not_numbers);
        tokens[k] += bad;
        cases.push_back({"junk after number " + std::to_string(k), render(tokens), Outcome::rejected});
    }
    // Binary files: anything after a first byte that cannot begin a number.
    for (int n = 0; n < 10; ++n) {
        std::string bytes = random.pick(not_numbers);
        const std::size_t length = random.below(300);
        for (std::size_t i = 0; i < length; ++i)
            bytes += static_cast<char>(random.below(256));
        cases.push_back({"binary", bytes, Outcome::rejected});
    }
    run_and_check(cases);
}

TEST(DamagedWorkUnits, LayoutSignsLeadingZerosIgnoredCellsAndTrailingBytesChangeNothing)
{
    Random random{3};
    const Tokens sample = sample_tokens();
    std::vector<Case> cases = {{"the sample", render(sample), Outcome::completed}};
    const std::vector<std::string> separators = {" ", "\n", "\t", "\r\n", "\v", "\f", "  \t ", "\n\n"};
    for (int n = 0; n < 12; ++n) {
        Tokens tokens = sample;
        for (std::string& token : tokens) {
            // Leading zeros and a plus sign do not change a number.
            if (random.below(8) == 0)
                token = "000" + token;
            if (random.below(8) == 0)
                token = "+" + token;
        }
        for (int r = 0; r < 10; ++r) {
            // The start square's diagonal cells are never used.
            if (random.below(2) == 0)
                tokens[start_at + 11 * r] = random.pick(bad_start_values);
            if (random.below(2) == 0)
                tokens[start_at + 9 * r + 9] = random.pick(bad_start_values);
        }
        // The sample's replay stops at row 6 (its zeros repeat column 0's
        // diagonal 0): nothing after that cell is used.
        for (std::size_t cell = 61; cell < 100; ++cell)
            if (random.below(3) == 0)
                tokens[start_at + cell] = random.pick(bad_start_values);

        std::string text = n % 2 == 0 ? "" : random.pick(separators);
        for (std::size_t i = 0; i < tokens.size(); ++i)
            text += tokens[i] + (i + 1 < tokens.size() ? random.pick(separators) : "");
        // Whatever follows the 202nd number, once apart from it, is ignored.
        if (n % 3 != 0) {
            text += random.pick(separators);
            const std::size_t length = random.below(200);
            for (std::size_t i = 0; i < length; ++i)
                text += static_cast<char>(random.below(256));
        }
        cases.push_back({"rewritten sample " + std::to_string(n), text, Outcome::completed, 0});
    }
    run_and_check(cases);
}

TEST(DamagedWorkUnits, AStartValueThatCannotStandStopsTheReplayLikeARepeatedValue)
{
    // A value outside 0-9 where the sample's start square still replays (rows
    // 0-5) gives the run that the row's own diagonal value r there gives: r
    // always repeats its row.
    Random random{4};
    const Tokens sample = sample_tokens();
    std::vector<Case> cases;
    for (int r = 0; r < 6; ++r) {
        for (int c = 0; c < 10; ++c) {
            if (c == r || c == 9 - r || random.below(4) != 0)
                continue;
            Tokens repeated = sample;
            repeated[start_at + 10 * r + c] = std::to_string(r);
            const std::size_t baseline = cases.size();
            const std::string cell = "(" + std::to_string(r) + ", " + std::to_string(c) + ")";
            cases.push_back({"start " + cell + " repeats its row", render(repeated), Outcome::completed});
            Tokens outside = sample;
            const std::string& value = random.pick(bad_start_values);
            outside[start_at + 10 * r + c] = value;
            cases.push_back({"start " + cell + " = " + value, render(outside), Outcome::completed, baseline});
        }
    }
    ASSERT_GE(cases.size(), 16u);
    run_and_check(cases);
}

TEST(DamagedWorkUnits, EndValuesOutsideTheDigitsAreKeptAsTheirLowEightBits)
{
    Random random{5};
    const Tokens sample = sample_tokens();
    std::vector<Case> cases;
    const std::vector<int> values = {300, 256, 266, -1, -247, -256, 2147483647, -2147483648, 10, 65535};
    for (int n = 0; n < 7; ++n) {
        const std::size_t cell = random.below(100);
        const int value = values[static_cast<std::size_t>(n) % values.size()];
        const auto low_bits = static_cast<std::uint8_t>(value);

        Tokens equivalent = sample;
        equivalent[end_at + cell] = std::to_string(low_bits);
        Tokens outside = sample;
        outside[end_at + cell] = std::to_string(value);
        Square end;
        for (std::size_t i = 0; i < 100; ++i)
            end.cells[i] = static_cast<std::uint8_t>(std::stoi(equivalent[end_at + i]));

        const std::size_t baseline = cases.size();
        const std::string name = "end cell " + std::to_string(cell) + " = ";
        cases.push_back({name + std::to_string(low_bits), render(equivalent), Outcome::completed});
        cases.push_back({name + std::to_string(value), render(outside), Outcome::completed, baseline, std::nullopt,
                         record_of(end)});
    }
    run_and_check(cases);
}

TEST(DamagedWorkUnits, AnyLimitFromOneTo2To64Minus1IsAccepted)
{
    // An end square of zeros stops the run at its first square, whatever the
    // limit: every one of these gives the result of limit 1.
    const Tokens sample = sample_tokens();
    const Square zeros{};
    auto with_limit = [&](const std::string& limit) {
        Tokens tokens = workunit_tokens("65", limit, Square{}, zeros);
        std::copy(sample.begin() + start_at, sample.begin() + end_at, tokens.begin() + start_at);
        return render(tokens);
    };
    std::vector<Case> cases = {{"limit 1", with_limit("1"), Outcome::completed, std::nullopt, std::nullopt,
                                record_of(zeros)}};
    for (const char* limit : {"+1", "0001", "2", "18446744073709551615"})
        cases.push_back({std::string("limit ") + limit, with_limit(limit), Outcome::completed, 0});
    run_and_check(cases);
}

TEST(DamagedWorkUnits, NumbersBeyondTheConversionsRangeEndAsDocumented)
{
    // What "%d" and "%llu" make of these is the C library's affair (glibc
    // wraps a diagonal index of 4294967297 to 1 and a limit of -1 to 2^64 - 1);
    // the run must still end as documented.  The zero start and end squares
    // keep every accepted run at the first square of its space.
    auto with = [](std::size_t token, const std::string& number) {
        Tokens tokens = workunit_tokens("1", "1", Square{}, Square{});
        tokens[token] = number;
        return Case{"number " + std::to_string(token) + " = " + number, render(tokens)};
    };
    std::vector<Case> cases;
    for (const char* index : {"4294967297", "-4294967295", "99999999999999999999", "-99999999999999999999"})
        cases.push_back(with(0, index));
    for (const char* limit : {"18446744073709551616", "99999999999999999999999", "-1", "-18446744073709551615"})
        cases.push_back(with(1, limit));
    for (const char* value : {"4294967298", "-4294967294", "99999999999999999999", "-99999999999999999999"}) {
        cases.push_back(with(start_at + 1, value));
        cases.push_back(with(end_at + 1, value));
    }
    run_and_check(cases);
}

TEST(DamagedWorkUnits, TheGreatestSquareAsStartLeavesAnEmptyResult)
{
    // No square follows the greatest square of a space; its diagonal cells, not
    // read, may hold anything.
    std::vector<Case> cases;
    for (int index : {1, 34, 65, 67}) {
        const Square last = reference::last_square(index - 1);
        Tokens tokens = workunit_tokens(std::to_string(index), "5", last, filled_square(9));
        cases.push_back({"greatest square of index " + std::to_string(index), render(tokens), Outcome::completed,
                         std::nullopt, ""});
        for (int r = 0; r < 10; ++r)
            tokens[start_at + 11 * r] = std::to_string(-7 * r);
        cases.push_back({"greatest square of index " + std::to_string(index) + ", diagonal garbled", render(tokens),
                         Outcome::completed, std::nullopt, ""});
    }
    run_and_check(cases);
}

TEST(DamagedWorkUnits, RandomByteDamageEndsWithADocumentedOutcome)
{
    // Single-byte and short multi-byte damage anywhere but at the first free
    // cell of a zero start square, the only start cell that this start square
    // replays: the search stays at the beginning of a space and ends after a few
    // squares, and the end square of zeros stops it at the first.
    Random random{6};
    const std::string base = render(workunit_tokens("65", "3", Square{}, Square{}));
    const auto spans = token_spans(base);
    const std::size_t protected_begin = spans[start_at].second;  // from after cell (0, 0) ...
    const std::size_t protected_end = spans[start_at + 2].first;  // ... to cell (0, 2)
    const std::string junk("aZ.,#-+\0\x01\x7f\x80\xff\xc3\xa9", 14);
    const std::string numbers = " \n\t\r0123456789";

    std::vector<Case> cases;
    while (cases.size() < 80) {
        std::size_t at = random.below(base.size() + 1);
        if (at >= protected_begin && at <= protected_end)
            continue;
        std::string text = base;
        std::string bytes;
        const std::size_t length = random.below(4) == 0 ? 1 + random.below(6) : 1;
        // Mostly bytes that cannot stand in a number, so that most damaged work
        // units are rejected, quickly.  Before the protected cell, no digit or
        // separator: new numbers there would shift into it.
        for (std::size_t i = 0; i < length; ++i)
            bytes += at < protected_begin || random.below(4) != 0 ? junk[random.below(junk.size())]
                                                                  : numbers[random.below(numbers.size())];
        switch (random.below(3)) {
        case 0:
            text.insert(at, bytes);
            break;
        case 1:
            if (at + length > protected_begin && at < protected_end)
                continue;
            text.replace(at, length, bytes);
            break;
        default:
            if (at + length > protected_begin && at < protected_end)
                continue;
            text.erase(at, length);
            break;
        }
        cases.push_back({"damage at byte " + std::to_string(at), text});
    }
    run_and_check(cases);
}

} // namespace
