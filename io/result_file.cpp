#include "io/result_file.h"

#include "generator/state.h"

void write_square_record(std::FILE* result, Square square)
{
    char record[square_record_size];
    for (int r = 0; r < 10; ++r) {
        char* line = record + 21 * r;
        for (int c = 0; c < 10; ++c) {
            line[2 * c] = static_cast<char>(square.cells[10 * r + c] + 48);
            line[2 * c + 1] = ' ';
        }
        line[19] = '\r';
        line[20] = '\n';
    }
    record[210] = '\r';
    record[211] = '\n';
    std::fwrite(record, 1, sizeof record, result);
}

void write_closing_records(std::FILE* result, const Square& current_square)
{
    std::fprintf(result, "X\r\n%d %llu\r\n", generator_state.diagonal_index + 1,
                 static_cast<unsigned long long>(generator_state.passing_count));
    write_square_record(result, current_square);
    write_square_record(result, generator_state.end_square);
}
