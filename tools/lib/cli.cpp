#include "tools/lib/cli.h"

#include <cstdio>

void tool_message(const char* tool, const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n", tool, message.c_str());
}

bool parse_unsigned(const std::string& text, std::uint64_t& value)
{
    if (text.empty() || text.size() > 20)
        return false;
    value = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9')
            return false;
        const std::uint64_t digit = static_cast<std::uint64_t>(ch - '0');
        if (value > (UINT64_MAX - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    return true;
}

bool Progress::due()
{
    // The clock is read only every 256 calls.
    if ((++calls_ & 255) != 0)
        return false;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::seconds(2))
        return false;
    last_ = now;
    return true;
}

void Progress::report(const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n", tool_, message.c_str());
}
