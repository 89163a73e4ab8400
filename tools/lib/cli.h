// What every operator tool shares on its command line: messages, --help, and
// progress on standard error for long runs.
#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

// Prints "<tool>: <message>" on standard error.
void tool_message(const char* tool, const std::string& message);

// An option of a tool's command line: a flag that sets *flag, or, when `value`
// is set, an option that takes the next word as its value ("needs <value_name>"
// when there is none).
struct ToolOption {
    const char* name;
    bool* flag = nullptr;
    std::optional<std::string>* value = nullptr;
    const char* value_name = "a value";
};

// Reads a tool's command line: --help or -h prints help_text on standard output
// and gives 0; the options given are set; any other word of two or more
// characters that starts with '-' and not with a digit after it is refused with
// "unknown option <word>; see --help" and gives `bad_usage`; every other word is
// an operand, in order.  Nothing (std::nullopt) when the tool is to go on.
std::optional<int> read_command_line(const char* tool, int argc, char** argv, const char* help_text,
                                     std::initializer_list<ToolOption> options, int bad_usage,
                                     std::vector<std::string>& operands);

// Parses a decimal number without sign; false on anything else or on overflow.
bool parse_unsigned(const std::string& text, std::uint64_t& value);

// Prints a line on standard error at most every two seconds.
class Progress {
public:
    explicit Progress(const char* tool) : tool_(tool), last_(std::chrono::steady_clock::now()) {}
    // True when a line is due; the caller then calls report().
    bool due();
    void report(const std::string& message);

private:
    const char* tool_;
    std::chrono::steady_clock::time_point last_;
    unsigned calls_ = 0;
};
