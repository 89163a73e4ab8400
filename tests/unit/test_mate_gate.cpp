// The gate on the number of diagonal transversals, through has_orthogonal_mate
// itself: exactly 10000 is searched, 10001 ends the process with the message,
// and the message leaves the process piece by piece as it is formatted.
//
// The two arrays were found by a search from an array whose rows all read
// 0..9, changing cells and keeping track of the count; the first kept the ten
// diagonal transversals of a known diagonal Latin square's symbol classes
// intact, so that it has a mate.  They are not Latin squares, which the mate
// search does not need.  The tests take their counts and the mate from the
// reference, not from the worker's code.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

// Windows opens files in text mode unless told otherwise, and would write the
// message's line ends as CR LF.
#ifndef O_BINARY
#define O_BINARY 0
#endif

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include "dlx/mate.h"
#include "dlx/transversals.h"
#include "reference/mate_reference.h"

namespace {

Square from_rows(const char* const (&rows)[10])
{
    Square s{};
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c)
            s.cells[10 * r + c] = static_cast<std::uint8_t>(rows[r][c] - '0');
    return s;
}

// 10000 diagonal transversals, ten of which partition the cells.
Square ten_thousand()
{
    const char* const rows[10] = {"0123444789", "0143456799", "0163486789", "0123556781", "0123557788",
                                  "0525052799", "0125196689", "6123745698", "4220446789", "0123637383"};
    return from_rows(rows);
}

// 10001 diagonal transversals.
Square ten_thousand_and_one()
{
    const char* const rows[10] = {"0190456789", "0458454769", "2025896783", "0623456489", "0163415799",
                                  "1123456782", "0123696789", "0113276789", "0723406358", "0183456719"};
    return from_rows(rows);
}

TEST(MateGate, TheArraysHaveTheirCountsByTheReference)
{
    EXPECT_EQ(mate_reference::count_diagonal_transversals(ten_thousand()), 10000);
    EXPECT_EQ(mate_reference::count_diagonal_transversals(ten_thousand_and_one()), 10001);
    EXPECT_TRUE(mate_reference::has_mate_by_backtracking(ten_thousand()));
}

TEST(MateGate, ExactlyTenThousandTransversalsAreSearchedAndTheMateFound)
{
    // A true answer can only come from the search over all 10000.
    EXPECT_TRUE(has_orthogonal_mate(ten_thousand()));
}

TEST(MateGateDeathTest, TenThousandAndOneEndTheProcessWithStatus1AndTheMessage)
{
    EXPECT_EXIT(has_orthogonal_mate(ten_thousand_and_one()), ::testing::ExitedWithCode(1),
                ::testing::Eq("Число трансверсалей 10001 превышает максимум 10000\n\n"));
}

// Writes each flushed piece to a file at once, with a mark after it, so that
// the file shows what had left the stream each time it was flushed.
class PieceRecorder : public std::streambuf {
public:
    explicit PieceRecorder(int fd) : fd_(fd) {}

protected:
    int_type overflow(int_type ch) override
    {
        if (ch != traits_type::eof())
            pending_ += traits_type::to_char_type(ch);
        return traits_type::not_eof(ch);
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        pending_.append(s, static_cast<std::size_t>(n));
        return n;
    }
    int sync() override
    {
        if (pending_.empty())
            return 0;
        const std::string piece = pending_ + "|";
        pending_.clear();
        return write(fd_, piece.data(), piece.size()) == static_cast<ssize_t>(piece.size()) ? 0 : -1;
    }

private:
    int fd_;
    std::string pending_;
};

TEST(MateGateDeathTest, TheMessageIsFlushedPieceByPiece)
{
    // In the working directory, under a name that does not depend on the process:
    // on Windows the death test's child is a new process that computes it again.
    const std::string path = "dlsmate-message-pieces.txt";
    EXPECT_EXIT(
        {
            const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_BINARY, 0644);
            if (fd < 0)
                std::_Exit(2);
            static PieceRecorder recorder(fd);
            std::cerr.rdbuf(&recorder);
            has_orthogonal_mate(ten_thousand_and_one());
        },
        ::testing::ExitedWithCode(1), "");
    // Anything still buffered at the exit would be missing, or would run two
    // pieces together.
    std::ifstream in(path, std::ios::binary);
    std::ostringstream pieces;
    pieces << in.rdbuf();
    std::remove(path.c_str());
    EXPECT_EQ(pieces.str(), "Число трансверсалей |10001| превышает максимум |10000|\n\n|");
}

} // namespace
