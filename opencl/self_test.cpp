#include "opencl/self_test.h"

namespace {

// A batch of its own: the walk's batch is never touched.
MateBatch self_test_batch;

Square square_from_rows(const char* rows)
{
    Square square{};
    int n = 0;
    for (const char* p = rows; *p != '\0' && n < 100; ++p)
        if (*p >= '0' && *p <= '9')
            square.cells[n++] = static_cast<std::uint8_t>(*p - '0');
    return square;
}

} // namespace

bool passes_self_test(BatchAnswerer answer, const KnownAnswer* cases, int count, std::string& failure)
{
    MateBatch& batch = self_test_batch;
    batch.size = count;
    for (int i = 0; i < count; ++i) {
        batch.squares[i] = square_from_rows(cases[i].rows);
        batch.transversal_counts[i] = -1;
        batch.verdicts[i] = -1;
    }
    const char* error = nullptr;
    if (!answer(batch, error)) {
        failure = error;
        return false;
    }
    for (int i = 0; i < count; ++i) {
        if (batch.transversal_counts[i] != cases[i].transversal_count || batch.verdicts[i] != cases[i].verdict) {
            failure = "square " + std::to_string(i + 1) + " of " + std::to_string(count) + ": " +
                      std::to_string(batch.transversal_counts[i]) + " transversals, verdict " +
                      std::to_string(batch.verdicts[i]) + "; known: " + std::to_string(cases[i].transversal_count) +
                      ", " + std::to_string(cases[i].verdict);
            return false;
        }
    }
    return true;
}
