#include "catalogue/square_text.h"

#include <sstream>

namespace {

bool all_digits(const std::string& token)
{
    for (char ch : token)
        if (ch < '0' || ch > '9')
            return false;
    return !token.empty();
}

} // namespace

bool read_square_list(const std::string& name, const std::string& text, std::vector<ListedSquare>& squares,
                      std::string& error)
{
    std::istringstream in(text);
    std::string line;
    int line_number = 0;
    std::vector<std::string> rows; // of the square being read, as digits
    int first_line = 0;
    int count = 0;
    auto where = [&](int at) { return name + " line " + std::to_string(at) + ": "; };
    auto finish = [&]() {
        LatinSquare square;
        std::string digits;
        for (const std::string& row : rows)
            digits += row;
        ++count;
        if (!square_from_digits(digits, square) || !is_diagonal_latin(square)) {
            error = where(first_line) + "square " + std::to_string(count) + " is not a diagonal Latin square of order " +
                    std::to_string(rows.size());
            return false;
        }
        squares.push_back({count, first_line, square});
        rows.clear();
        return true;
    };
    while (std::getline(in, line)) {
        ++line_number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == 'X')
            break;
        if (!line.empty() && line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::vector<std::string> tokens;
        for (std::string token; fields >> token;) {
            if (!all_digits(token)) {
                error = where(line_number) + "\"" + token + "\" is not a value";
                return false;
            }
            tokens.push_back(token);
        }
        if (tokens.empty()) {
            if (!rows.empty()) {
                error = where(first_line) + "the square has only " + std::to_string(rows.size()) + " rows";
                return false;
            }
            continue;
        }
        std::string row;
        const bool single_digits = tokens.size() > 1 && tokens[0].size() == 1;
        if (single_digits) {
            for (const std::string& token : tokens) {
                if (token.size() != 1) {
                    error = where(line_number) + "values of one digit expected";
                    return false;
                }
                row += token;
            }
        } else if (tokens.size() > 1 && rows.empty()) {
            // A whole square on one line: n groups of n digits.
            for (const std::string& token : tokens) {
                if (token.size() != tokens.size()) {
                    error = where(line_number) + "a square on one line needs n groups of n digits";
                    return false;
                }
            }
            first_line = line_number;
            rows = tokens;
            if (!finish())
                return false;
            continue;
        } else {
            row = tokens[0];
            if (tokens.size() != 1) {
                error = where(line_number) + "values of one digit expected";
                return false;
            }
        }
        if (rows.empty())
            first_line = line_number;
        else if (row.size() != rows[0].size()) {
            error = where(line_number) + "row of " + std::to_string(row.size()) + " values in a square of order " +
                    std::to_string(rows[0].size());
            return false;
        }
        if (row.size() > static_cast<std::size_t>(max_order)) {
            error = where(line_number) + "more than " + std::to_string(max_order) + " values";
            return false;
        }
        rows.push_back(row);
        if (rows.size() == rows[0].size() && !finish())
            return false;
    }
    if (!rows.empty()) {
        error = where(first_line) + "the square has only " + std::to_string(rows.size()) + " rows";
        return false;
    }
    return true;
}

std::string square_text(const LatinSquare& square)
{
    std::string text;
    for (int r = 0; r < square.order; ++r) {
        for (int c = 0; c < square.order; ++c) {
            text += static_cast<char>('0' + square.cells[square.order * r + c]);
            text += c + 1 < square.order ? ' ' : '\n';
        }
    }
    return text;
}
