// The checkpoint is a short text file, one field a line, closed by a checksum
// of every byte before it:
//
//   dlsmate checkpoint 1
//   workunit <diagonal index + 1> <square limit>
//   start <the 80 start values as read>
//   end <the 100 end-square values, 0-255>
//   passing <squares that passed the filter so far>
//   result <bytes of the result file that hold their records>
//   walk <prefix length 0-80> <its values 0-9>
//   fnv1a64 <16 lower-case hexadecimal digits: FNV-1a of the bytes above>
//
// Numbers are decimal, separated by single spaces; lines end with LF.  The
// work-unit lines identify the unit by everything the worker read from it, so a
// checkpoint is taken up only by a run whose result it can continue exactly.
#include "io/checkpoint.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include <filesys.h>
#include <mfile.h>

#include "generator/state.h"

namespace {

constexpr char first_line[] = "dlsmate checkpoint 1\n";
constexpr char format_name[] = "dlsmate checkpoint ";
constexpr char checksum_key[] = "fnv1a64 ";
constexpr int checksum_line_size = sizeof checksum_key - 1 + 16 + 1;

// Large enough for the longest checkpoint (about 1700 bytes); a longer file is
// no checkpoint of ours.
constexpr int buffer_size = 4096;

std::uint64_t fnv1a64(const char* bytes, std::size_t size)
{
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= static_cast<unsigned char>(bytes[i]);
        hash *= 0x100000001b3u;
    }
    return hash;
}

// Appends formatted text to a fixed buffer; `ok` turns false for good when the
// text does not fit.
struct Text {
    char bytes[buffer_size];
    int size = 0;
    bool ok = true;

    template <typename... Args>
    void add(const char* format, Args... args)
    {
        if (!ok)
            return;
        const int n = std::snprintf(bytes + size, sizeof bytes - size, format, args...);
        if (n < 0 || n >= static_cast<int>(sizeof bytes) - size)
            ok = false;
        else
            size += n;
    }
};

// Reads the fields back strictly: exactly the bytes the writer produces, or a
// failure that stays failed.
struct Reader {
    const char* at;
    const char* end;
    bool ok = true;

    void word(const char* expected)
    {
        const std::size_t n = std::strlen(expected);
        if (ok && static_cast<std::size_t>(end - at) >= n && std::memcmp(at, expected, n) == 0)
            at += n;
        else
            ok = false;
    }

    // Decimal digits worth at most `max`, without a leading zero.
    std::uint64_t digits(std::uint64_t max)
    {
        if (!ok || at == end || *at < '0' || *at > '9' || (*at == '0' && end - at > 1 && at[1] >= '0' && at[1] <= '9')) {
            ok = false;
            return 0;
        }
        std::uint64_t value = 0;
        for (; at != end && *at >= '0' && *at <= '9'; ++at) {
            const auto digit = static_cast<std::uint64_t>(*at - '0');
            if (value > (max - digit) / 10) {
                ok = false;
                return 0;
            }
            value = 10 * value + digit;
        }
        return value;
    }

    // A space, then a number of at most `max`.
    std::uint64_t number(std::uint64_t max)
    {
        word(" ");
        return digits(max);
    }

    // A space, then a 32-bit number, with "-" when negative.
    std::int32_t signed_number()
    {
        word(" ");
        if (ok && at != end && *at == '-') {
            ++at;
            const std::uint64_t magnitude = digits(0x80000000u);
            if (magnitude == 0)
                ok = false;
            return static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude));
        }
        return static_cast<std::int32_t>(digits(0x7FFFFFFF));
    }
};

std::string temporary_name(const char* path)
{
    return std::string(path) + ".new";
}

} // namespace

bool write_checkpoint(const char* path, const WalkPlace& place)
{
    const GeneratorState& s = generator_state;
    Text text;
    text.add("%s", first_line);
    text.add("workunit %d %" PRIu64 "\n", s.diagonal_index + 1, s.square_limit);
    text.add("start");
    for (int k = 0; k < 80; ++k)
        text.add(" %d", static_cast<int>(s.start_values[k]));
    text.add("\nend");
    for (int i = 0; i < 100; ++i)
        text.add(" %d", static_cast<int>(s.end_square.cells[i]));
    text.add("\npassing %" PRIu64 "\nresult %" PRIu64 "\nwalk %d", place.passing_count, place.result_length,
             static_cast<int>(place.filled));
    for (int k = 0; k < place.filled; ++k)
        text.add(" %d", static_cast<int>(place.values[k]));
    text.add("\n");
    text.add("%s%016" PRIx64 "\n", checksum_key, fnv1a64(text.bytes, static_cast<std::size_t>(text.size)));
    if (!text.ok)
        return false;

    // MFILE's close flushes the stream and syncs the file to the disk before
    // closing it; BOINC's rename replaces the old checkpoint on every platform.
    const std::string temporary = temporary_name(path);
    MFILE file;
    if (file.open(temporary.c_str(), "wb") != 0)
        return false;
    const std::size_t written = file.write(text.bytes, 1, static_cast<std::size_t>(text.size));
    if (file.close() != 0 || written != static_cast<std::size_t>(text.size) || boinc_rename(temporary.c_str(), path) != 0) {
        boinc_delete_file(temporary.c_str());
        return false;
    }
    return true;
}

CheckpointRead read_checkpoint(const char* path, WalkPlace& place, const char*& reason)
{
    std::FILE* file = boinc_fopen(path, "rb");
    if (file == nullptr) {
        if (!boinc_file_exists(path))
            return CheckpointRead::absent;
        reason = "it cannot be read";
        return CheckpointRead::ignored;
    }
    static char bytes[buffer_size + 1];
    const std::size_t size = std::fread(bytes, 1, sizeof bytes, file);
    const bool read_failed = std::ferror(file) != 0;
    std::fclose(file);
    if (read_failed) {
        reason = "it cannot be read";
        return CheckpointRead::ignored;
    }

    reason = "it is damaged";
    const std::size_t name_size = sizeof format_name - 1;
    if (size < name_size || std::memcmp(bytes, format_name, name_size) != 0 || size > buffer_size)
        return CheckpointRead::ignored;
    if (std::memcmp(bytes, first_line, std::min(size, sizeof first_line - 1)) != 0) {
        reason = "it was written in another format";
        return CheckpointRead::ignored;
    }

    // The checksum line closes the file; every byte before it must match it.
    if (size < sizeof first_line - 1 + checksum_line_size)
        return CheckpointRead::ignored;
    const char* const checksum_line = bytes + size - checksum_line_size;
    Reader closing{checksum_line, bytes + size};
    closing.word(checksum_key);
    std::uint64_t checksum = 0;
    for (int i = 0; i < 16 && closing.ok; ++i, ++closing.at) {
        const char c = *closing.at;
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0)
            closing.ok = false;
        checksum = checksum << 4 | static_cast<std::uint64_t>(digit);
    }
    closing.word("\n");
    if (!closing.ok || checksum != fnv1a64(bytes, static_cast<std::size_t>(checksum_line - bytes)))
        return CheckpointRead::ignored;

    Reader in{bytes + sizeof first_line - 1, checksum_line};
    in.word("workunit");
    const std::uint64_t diagonal = in.number(67);
    const std::uint64_t limit = in.number(UINT64_MAX);
    in.word("\nstart");
    std::int32_t start[80];
    for (std::int32_t& value : start)
        value = in.signed_number();
    in.word("\nend");
    std::uint8_t end_square[100];
    for (std::uint8_t& value : end_square)
        value = static_cast<std::uint8_t>(in.number(255));
    in.word("\npassing");
    place.passing_count = in.number(UINT64_MAX);
    in.word("\nresult");
    place.result_length = in.number(UINT64_MAX);
    in.word("\nwalk");
    place.filled = static_cast<std::int32_t>(in.number(80));
    for (int k = 0; k < place.filled; ++k)
        place.values[k] = static_cast<std::int32_t>(in.number(9));
    in.word("\n");
    if (!in.ok || in.at != in.end)
        return CheckpointRead::ignored;

    const GeneratorState& s = generator_state;
    if (static_cast<std::int64_t>(diagonal) != s.diagonal_index + 1 || limit != s.square_limit ||
        std::memcmp(start, s.start_values, sizeof start) != 0 || std::memcmp(end_square, s.end_square.cells, 100) != 0) {
        reason = "it belongs to another work unit";
        return CheckpointRead::ignored;
    }
    // The run would have closed at its limit, and every record is of a square
    // that passed.
    if (place.passing_count >= s.square_limit || place.result_length % 212 != 0 ||
        place.result_length / 212 > place.passing_count)
        return CheckpointRead::ignored;
    reason = nullptr;
    return CheckpointRead::matches;
}

void remove_checkpoint(const char* path)
{
    boinc_delete_file(path);
    boinc_delete_file(temporary_name(path).c_str());
}
