// Squares of order 1-10 as text: the field's plain-text list (n lines of n
// digits separated by spaces, an empty line between squares) in and out.
#pragma once

#include <string>
#include <vector>

#include "catalogue/latin_square.h"

struct ListedSquare {
    int number = 0; // within its text, from 1
    int line = 0;   // line of its first row
    LatinSquare square;
};

// Reads every square of a text.  A row is n values separated by spaces or n
// digits without them; a line of n groups of n digits is a whole square.
// Empty lines and lines starting with # are skipped, and reading stops at a
// line starting with X (a result file's status line), so result files and
// dlsmate-mates' output will do.  Each square must be diagonal Latin.  False
// with a message naming the line ("NAME line 7: ...") on anything else.
bool read_square_list(const std::string& name, const std::string& text, std::vector<ListedSquare>& squares,
                      std::string& error);

// n lines of n values separated by single spaces, each ended by LF.
std::string square_text(const LatinSquare& square);
