#include "tools/lib/result_reader.h"

#include <cstdio>

#include "io/result_file.h"

namespace {

constexpr std::size_t record_size = square_record_size;

std::string shown(unsigned char byte)
{
    char text[32];
    if (byte >= 0x21 && byte < 0x7F)
        std::snprintf(text, sizeof text, "'%c'", byte);
    else if (byte == ' ')
        std::snprintf(text, sizeof text, "a space");
    else if (byte == '\r')
        std::snprintf(text, sizeof text, "CR");
    else if (byte == '\n')
        std::snprintf(text, sizeof text, "LF");
    else
        std::snprintf(text, sizeof text, "byte 0x%02X", byte);
    return text;
}

// What byte k of a record must be: a digit of cell (r, c), a space, CR or LF.
// Returns the first byte that is not what it must be, or -1.  digits_only false
// accepts any byte in the cells (the end square's record repeats the work unit's
// values, which need not be digits).
int first_bad_byte(const std::string& bytes, std::size_t at, bool digits_only, std::string& expected)
{
    for (int k = 0; k < static_cast<int>(record_size); ++k) {
        const unsigned char b = static_cast<unsigned char>(bytes[at + k]);
        if (k >= 210) {
            const unsigned char want = k == 210 ? '\r' : '\n';
            if (b != want) {
                expected = k == 210 ? "CR ending the empty line" : "LF ending the empty line";
                return k;
            }
            continue;
        }
        const int r = k / 21;
        const int j = k % 21;
        if (j == 19 || j == 20) {
            if (b != (j == 19 ? '\r' : '\n')) {
                expected = std::string(j == 19 ? "CR" : "LF") + " ending row " + std::to_string(r);
                return k;
            }
        } else if (j % 2 == 1) {
            if (b != ' ') {
                expected = "a space after row " + std::to_string(r) + " column " + std::to_string(j / 2);
                return k;
            }
        } else if (digits_only && (b < '0' || b > '9')) {
            expected = "a digit for row " + std::to_string(r) + " column " + std::to_string(j / 2);
            return k;
        }
    }
    return -1;
}

Square square_of(const std::string& bytes, std::size_t at)
{
    Square s{};
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c)
            s.cells[10 * r + c] = static_cast<std::uint8_t>(bytes[at + 21 * r + 2 * c] - '0');
    return s;
}

// Reads one record at `at` into `record`; false (with a problem) when it is
// shorter than 212 bytes.
bool read_record(const std::string& bytes, std::size_t at, const std::string& name, bool digits_only,
                 ResultRecord& record, std::vector<std::string>& problems)
{
    record.offset = at;
    const std::size_t left = bytes.size() - at;
    if (left < record_size) {
        problems.push_back(name + " at byte " + std::to_string(at) + ": truncated: " + std::to_string(left) +
                           " of 212 bytes");
        return false;
    }
    std::string expected;
    const int bad = first_bad_byte(bytes, at, digits_only, expected);
    if (bad >= 0) {
        problems.push_back(name + " at byte " + std::to_string(at) + ": byte " + std::to_string(at + bad) + " is " +
                           shown(static_cast<unsigned char>(bytes[at + bad])) + ", expected " + expected);
        record.well_formed = false;
        return true;
    }
    record.square = square_of(bytes, at);
    record.well_formed = true;
    return true;
}

// A decimal number without sign, padding or leading zeros; advances `at`.
bool read_number(const std::string& bytes, std::size_t& at, std::uint64_t& value)
{
    const std::size_t begin = at;
    value = 0;
    while (at < bytes.size() && bytes[at] >= '0' && bytes[at] <= '9') {
        const std::uint64_t digit = static_cast<std::uint64_t>(bytes[at] - '0');
        if (value > (UINT64_MAX - digit) / 10)
            return false;
        value = value * 10 + digit;
        ++at;
    }
    const std::size_t length = at - begin;
    return length > 0 && (length == 1 || bytes[begin] != '0');
}

bool read_status_line(const std::string& bytes, std::size_t at, ResultFile& result, std::size_t& next)
{
    std::size_t p = at;
    if (bytes.compare(p, 3, "X\r\n") != 0)
        return false;
    p += 3;
    std::uint64_t diagonal = 0;
    if (!read_number(bytes, p, diagonal) || diagonal > 1000000)
        return false;
    if (p >= bytes.size() || bytes[p] != ' ')
        return false;
    ++p;
    std::uint64_t count = 0;
    if (!read_number(bytes, p, count))
        return false;
    if (bytes.compare(p, 2, "\r\n") != 0)
        return false;
    result.status_diagonal = static_cast<int>(diagonal);
    result.status_count = count;
    next = p + 2;
    return true;
}

} // namespace

ResultFile read_result(const std::string& bytes)
{
    ResultFile result;
    std::size_t at = 0;
    while (at < bytes.size() && bytes[at] != 'X') {
        ResultRecord record;
        const std::string name = "record " + std::to_string(result.found.size() + 1);
        if (!read_record(bytes, at, name, true, record, result.problems))
            return result;
        result.found.push_back(record);
        at += record_size;
    }
    if (at == bytes.size())
        return result;

    result.status_offset = at;
    std::size_t next = 0;
    if (!read_status_line(bytes, at, result, next)) {
        result.problems.push_back("status line at byte " + std::to_string(at) +
                                  ": not \"X\" CR LF, the diagonal index, a space, the count, CR LF");
        return result;
    }
    if (!read_record(bytes, next, "stop square record", true, result.stop, result.problems))
        return result;
    result.end_offset = next + record_size;
    ResultRecord end;
    if (!read_record(bytes, result.end_offset, "end square record", false, end, result.problems))
        return result;
    result.end_record = bytes.substr(result.end_offset, record_size);
    result.closed = true;
    const std::size_t after = result.end_offset + record_size;
    if (after < bytes.size())
        result.problems.push_back("byte " + std::to_string(after) + ": " + std::to_string(bytes.size() - after) +
                                  " bytes after the end square record");
    return result;
}

std::string part_at(const ResultFile& result, std::size_t offset, std::size_t file_size)
{
    if (offset >= file_size)
        return "past the end of the file";
    if (!result.closed || offset < result.status_offset) {
        const std::size_t index = offset / record_size;
        if (index < result.found.size() || !result.closed)
            return "record " + std::to_string(index + 1);
    }
    if (offset < result.stop.offset)
        return "the status line";
    if (offset < result.end_offset)
        return "the stop square record";
    if (offset < result.end_offset + record_size)
        return "the end square record";
    return "the bytes after the end square record";
}
