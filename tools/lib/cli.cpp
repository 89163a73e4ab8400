#include "tools/lib/cli.h"

#include <cstdio>

void tool_message(const char* tool, const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n", tool, message.c_str());
}

std::optional<int> read_command_line(const char* tool, int argc, char** argv, const char* help_text,
                                     std::initializer_list<ToolOption> options, int bad_usage,
                                     std::vector<std::string>& operands)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(help_text, stdout);
            return 0;
        }
        const ToolOption* option = nullptr;
        for (const ToolOption& o : options)
            if (arg == o.name)
                option = &o;
        if (option != nullptr && option->value != nullptr) {
            if (i + 1 == argc) {
                tool_message(tool, arg + " needs " + option->value_name + "; see --help");
                return bad_usage;
            }
            *option->value = argv[++i];
        } else if (option != nullptr) {
            *option->flag = true;
        } else if (arg.size() > 1 && arg[0] == '-' && (arg[1] < '0' || arg[1] > '9')) {
            tool_message(tool, "unknown option " + arg + "; see --help");
            return bad_usage;
        } else {
            operands.push_back(arg);
        }
    }
    return std::nullopt;
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
