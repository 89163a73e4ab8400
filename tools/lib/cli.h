// What every operator tool shares on its command line: messages, --help, and
// progress on standard error for long runs.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// Prints "<tool>: <message>" on standard error.
void tool_message(const char* tool, const std::string& message);

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
