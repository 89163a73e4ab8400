#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "io/result_file.h"
#include "support.h"

namespace {

TEST(WriteSquareRecord, WritesTenLinesOfDigitsAndAnEmptyLine)
{
    std::FILE* file = std::tmpfile();
    Square s{};
    const int row[10] = {0, 2, 3, 4, 5, 6, 7, 8, 9, 1};
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c)
            s.cells[10 * r + c] = static_cast<std::uint8_t>(row[(c + r) % 10]);
    write_square_record(file, s);
    const std::string bytes = contents_of(file);
    std::fclose(file);

    ASSERT_EQ(bytes.size(), 212u);
    EXPECT_EQ(bytes.substr(0, 21), std::string("0 2 3 4 5 6 7 8 9 1\r\n"));
    EXPECT_EQ(bytes.substr(21, 21), std::string("2 3 4 5 6 7 8 9 1 0\r\n"));
    EXPECT_EQ(bytes.substr(210), std::string("\r\n"));
    EXPECT_EQ(bytes, record_of(s));
}

TEST(WriteSquareRecord, ValuesOutsideZeroToNineBecomeTheirByteCharacters)
{
    std::FILE* file = std::tmpfile();
    Square s = filled_square(0);
    s.cells[0] = 44;   // 44 + 48 = '\\'
    s.cells[1] = 255;  // (255 + 48) mod 256 = '/'
    s.cells[99] = 10;  // ':'
    write_square_record(file, s);
    const std::string bytes = contents_of(file);
    std::fclose(file);
    ASSERT_EQ(bytes.size(), 212u);
    EXPECT_EQ(bytes[0], '\\');
    EXPECT_EQ(bytes[2], '/');
    EXPECT_EQ(bytes[21 * 9 + 18], ':');
}

TEST(WriteClosingRecords, StatusLineThenTheLastSquareThenTheEndSquare)
{
    struct Case {
        int diagonal_index;
        std::uint64_t passing_count;
        const char* status;
    } cases[] = {
        {4, 1000, "X\r\n5 1000\r\n"},
        {0, 1, "X\r\n1 1\r\n"},
        {66, 4294967296ull + 5, "X\r\n67 4294967301\r\n"},
        {12, 18446744073709551615ull, "X\r\n13 18446744073709551615\r\n"},
    };
    for (const Case& c : cases) {
        reset_state();
        generator_state.diagonal_index = c.diagonal_index;
        generator_state.passing_count = c.passing_count;
        generator_state.end_square = filled_square(9);
        const Square current = filled_square(3);
        std::FILE* file = std::tmpfile();
        write_closing_records(file, current);
        const std::string bytes = contents_of(file);
        std::fclose(file);
        EXPECT_EQ(bytes, c.status + record_of(current) + record_of(filled_square(9)));
    }
}

} // namespace
