// The checkpoint file: what write_checkpoint records is read back only by a run
// of the same work unit, and a file that is damaged in any way is never taken
// for a checkpoint.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "generator/state.h"
#include "io/checkpoint.h"
#include "support.h"
#include "temporary_files.h"

namespace {

void load_unit()
{
    reset_state();
    GeneratorState& s = generator_state;
    s.diagonal_index = 64;
    s.square_limit = 5000000000u;
    s.start_count = 80;
    for (int k = 0; k < 80; ++k)
        s.start_values[k] = k % 10;
    s.start_values[3] = -7;           // values are kept as read,
    s.start_values[79] = 2147483647;  // whatever their size
    for (int i = 0; i < 100; ++i)
        s.end_square.cells[i] = static_cast<std::uint8_t>(9 + 2 * i);
}

WalkPlace some_place()
{
    WalkPlace place{};
    place.passing_count = 4294967301u;
    place.result_length = 212 * 3;
    place.filled = 12;
    for (int k = 0; k < 12; ++k)
        place.values[k] = (3 * k) % 10;
    return place;
}

struct Read {
    CheckpointRead outcome;
    std::string reason;
    WalkPlace place;
};

Read read_back(const std::string& path)
{
    Read r{};
    const char* reason = nullptr;
    r.outcome = read_checkpoint(path.c_str(), r.place, reason);
    r.reason = reason == nullptr ? "" : reason;
    return r;
}

TEST(Checkpoint, IsReadBackExactlyByTheSameWorkUnit)
{
    load_unit();
    const std::string path = make_temporary_directory() + "/checkpoint";
    const WalkPlace written = some_place();
    ASSERT_TRUE(write_checkpoint(path.c_str(), written));

    const std::string text = read_file(path);
    std::string expected = "dlsmate checkpoint 1\nworkunit 65 5000000000\nstart";
    for (int k = 0; k < 80; ++k)
        expected.append(" ").append(std::to_string(generator_state.start_values[k]));
    expected += "\nend";
    for (int i = 0; i < 100; ++i)
        expected.append(" ").append(std::to_string(9 + 2 * i));
    expected += "\npassing 4294967301\nresult 636\nwalk 12 0 3 6 9 2 5 8 1 4 7 0 3\nfnv1a64 ";
    ASSERT_EQ(text.substr(0, expected.size()), expected);
    ASSERT_EQ(text.size(), expected.size() + 17);
    EXPECT_EQ(text.find_first_not_of("0123456789abcdef", expected.size()), text.size() - 1);
    EXPECT_EQ(text.back(), '\n');

    const Read r = read_back(path);
    ASSERT_EQ(r.outcome, CheckpointRead::matches) << r.reason;
    EXPECT_EQ(r.place.passing_count, written.passing_count);
    EXPECT_EQ(r.place.result_length, written.result_length);
    ASSERT_EQ(r.place.filled, written.filled);
    for (int k = 0; k < written.filled; ++k)
        EXPECT_EQ(r.place.values[k], written.values[k]) << k;

    // A whole square and an empty prefix are places too.
    for (int filled : {0, 80}) {
        WalkPlace place = some_place();
        place.filled = filled;
        for (int k = 0; k < filled; ++k)
            place.values[k] = 9 - k % 10;
        ASSERT_TRUE(write_checkpoint(path.c_str(), place));
        const Read again = read_back(path);
        ASSERT_EQ(again.outcome, CheckpointRead::matches) << filled;
        EXPECT_EQ(again.place.filled, filled);
        EXPECT_EQ(again.place.values[filled == 0 ? 0 : filled - 1], filled == 0 ? 0 : 9 - (filled - 1) % 10);
    }
    EXPECT_EQ(directory_entries(std::filesystem::path(path).parent_path().string()), std::vector<std::string>{"checkpoint"});
}

TEST(Checkpoint, BelongsOnlyToTheWorkUnitItWasWrittenFor)
{
    const std::string path = make_temporary_directory() + "/checkpoint";
    const struct {
        const char* field;
        void (*change)(GeneratorState&);
    } changes[] = {
        {"diagonal index", [](GeneratorState& s) { s.diagonal_index = 63; }},
        {"square limit", [](GeneratorState& s) { s.square_limit += 1; }},
        {"first start value", [](GeneratorState& s) { s.start_values[0] = 1; }},
        {"last start value", [](GeneratorState& s) { s.start_values[79] = 5; }},
        {"an end-square value", [](GeneratorState& s) { s.end_square.cells[57] ^= 1; }},
    };
    for (const auto& c : changes) {
        load_unit();
        ASSERT_TRUE(write_checkpoint(path.c_str(), some_place()));
        c.change(generator_state);
        const Read r = read_back(path);
        EXPECT_EQ(r.outcome, CheckpointRead::ignored) << c.field;
        EXPECT_EQ(r.reason, "it belongs to another work unit") << c.field;
    }
}

TEST(Checkpoint, ADamagedFileIsNeverTakenForOne)
{
    load_unit();
    const std::string directory = make_temporary_directory();
    const std::string path = directory + "/checkpoint";
    ASSERT_TRUE(write_checkpoint(path.c_str(), some_place()));
    const std::string good = read_file(path);

    auto expect_ignored = [&](const std::string& bytes, const std::string& what) {
        write_file(path, bytes);
        const Read r = read_back(path);
        EXPECT_EQ(r.outcome, CheckpointRead::ignored) << what;
        return r.reason;
    };

    // Cut short anywhere, as a write that never finished would leave it.
    for (std::size_t n = 0; n < good.size(); ++n)
        EXPECT_EQ(expect_ignored(good.substr(0, n), "cut to " + std::to_string(n) + " bytes"), "it is damaged");
    EXPECT_EQ(expect_ignored(good + "1", "a byte added"), "it is damaged");

    // Any one byte changed: each byte with its lowest bit flipped, and bytes at
    // random places set to random values.
    std::mt19937 rng(14);
    std::vector<std::pair<std::size_t, char>> changes;
    for (std::size_t i = 0; i < good.size(); ++i)
        changes.push_back({i, static_cast<char>(good[i] ^ 1)});
    for (int n = 0; n < 300; ++n) {
        const std::size_t i = rng() % good.size();
        const auto value = static_cast<char>(rng());
        if (value != good[i])
            changes.push_back({i, value});
    }
    for (const auto& [i, value] : changes) {
        std::string bytes = good;
        bytes[i] = value;
        const std::string reason = expect_ignored(bytes, "byte " + std::to_string(i) + " changed");
        if (i < 21)
            EXPECT_TRUE(reason == "it is damaged" || reason == "it was written in another format") << reason;
        else
            EXPECT_EQ(reason, "it is damaged") << "byte " << i;
    }

    // Random bytes, short and long.
    for (std::size_t size : {1, 25, 100, 1700, 5000}) {
        std::string bytes(size, '\0');
        for (char& ch : bytes)
            ch = static_cast<char>(rng());
        EXPECT_EQ(expect_ignored(bytes, std::to_string(size) + " random bytes"), "it is damaged");
    }

    std::string newer = good;
    newer[19] = '2';
    EXPECT_EQ(expect_ignored(newer, "format 2"), "it was written in another format");
}

TEST(Checkpoint, APlaceNoRunOfTheUnitCanReachIsRefused)
{
    load_unit();
    generator_state.square_limit = 1000;
    const std::string path = make_temporary_directory() + "/checkpoint";
    const struct {
        const char* name;
        std::uint64_t passing_count;
        std::uint64_t result_length;
    } cases[] = {
        {"the limit reached (the run would have closed)", 1000, 0},
        {"a result length that is not a number of records", 10, 213},
        {"more records than squares passed", 2, 3 * 212},
    };
    for (const auto& c : cases) {
        WalkPlace place = some_place();
        place.passing_count = c.passing_count;
        place.result_length = c.result_length;
        ASSERT_TRUE(write_checkpoint(path.c_str(), place));
        const Read r = read_back(path);
        EXPECT_EQ(r.outcome, CheckpointRead::ignored) << c.name;
        EXPECT_EQ(r.reason, "it is damaged") << c.name;
    }
}

TEST(Checkpoint, NoFileIsNoCheckpointAndAnUnreadableOneIsSaidSo)
{
    load_unit();
    const std::string directory = make_temporary_directory();
    EXPECT_EQ(read_back(directory + "/checkpoint").outcome, CheckpointRead::absent);

    std::filesystem::create_directory(directory + "/a-directory");
    const Read r = read_back(directory + "/a-directory");
    EXPECT_EQ(r.outcome, CheckpointRead::ignored);
    EXPECT_EQ(r.reason, "it cannot be read");
}

TEST(Checkpoint, AWriteThatFailsLeavesThePreviousCheckpoint)
{
    load_unit();
    const std::string directory = make_temporary_directory();
    const std::string path = directory + "/checkpoint";
    ASSERT_TRUE(write_checkpoint(path.c_str(), some_place()));
    const std::string before = read_file(path);

    // The temporary file cannot be created where a directory stands.
    std::filesystem::create_directory(path + ".new");
    WalkPlace later = some_place();
    later.passing_count += 1000;
    EXPECT_FALSE(write_checkpoint(path.c_str(), later));
    EXPECT_EQ(read_file(path), before);
    EXPECT_EQ(read_back(path).place.passing_count, some_place().passing_count);
}

} // namespace
