// read_command_line: the one reading of the tools' command lines — what is an
// option, an operand or a mistake, and what each mistake says.

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/lib/cli.h"

namespace {

struct Reading {
    std::optional<int> status;
    std::vector<std::string> operands;
    bool quiet = false;
    std::optional<std::string> stem;
    std::string out, err;
};

Reading read(std::vector<std::string> words)
{
    words.insert(words.begin(), "tool");
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    Reading r;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    r.status = read_command_line("tool", static_cast<int>(argv.size()), argv.data(), "help text\n",
                                 {{"--quiet", &r.quiet}, {"--stem", nullptr, &r.stem, "a name"}}, 3, r.operands);
    r.err = testing::internal::GetCapturedStderr();
    r.out = testing::internal::GetCapturedStdout();
    return r;
}

TEST(CommandLine, SetsOptionsAndKeepsOperandsInOrderWithDashAndNegativeNumbersAsOperands)
{
    const Reading r = read({"b", "--stem", "--quiet", "-", "--quiet", "-5", "a"});
    EXPECT_EQ(r.status, std::nullopt);
    EXPECT_TRUE(r.quiet);
    EXPECT_EQ(r.stem, "--quiet") << "a value is the next word, whatever it looks like";
    EXPECT_EQ(r.operands, (std::vector<std::string>{"b", "-", "-5", "a"}));
    EXPECT_EQ(r.out + r.err, "");

    const Reading none = read({});
    EXPECT_EQ(none.status, std::nullopt);
    EXPECT_FALSE(none.quiet);
    EXPECT_EQ(none.stem, std::nullopt);
}

TEST(CommandLine, HelpWinsAndMistakesSayWhatAndGiveTheToolsStatus)
{
    for (const char* help : {"--help", "-h"}) {
        const Reading r = read({"x", help, "--bogus"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "help text\n");
        EXPECT_EQ(r.err, "");
    }
    const Reading unknown = read({"--bogus", "--help"});
    EXPECT_EQ(unknown.status, 3);
    EXPECT_EQ(unknown.err, "tool: unknown option --bogus; see --help\n");
    EXPECT_EQ(unknown.out, "");
    const Reading short_option = read({"-q"});
    EXPECT_EQ(short_option.err, "tool: unknown option -q; see --help\n");
    const Reading no_value = read({"a", "--stem"});
    EXPECT_EQ(no_value.status, 3);
    EXPECT_EQ(no_value.err, "tool: --stem needs a name; see --help\n");
}

} // namespace
