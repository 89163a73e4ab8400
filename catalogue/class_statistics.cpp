#include "catalogue/class_statistics.h"

#include "tools/lib/squares.h"

std::vector<Triangle> find_triangles(const std::vector<LatinSquare>& mates)
{
    std::vector<Triangle> triangles;
    for (std::size_t i = 0; i < mates.size(); ++i) {
        for (std::size_t j = i + 1; j < mates.size(); ++j) {
            if (are_orthogonal(mates[i], mates[j]))
                triangles.push_back({static_cast<int>(i), static_cast<int>(j)});
        }
    }
    return triangles;
}

ClassStatistics class_statistics(const Square& square)
{
    ClassStatistics statistics;
    statistics.form = canonical_form(from_square(square));
    const MateList list = all_mates(square);
    statistics.transversals = list.transversals;
    statistics.too_many_transversals = list.too_many_transversals;
    for (const Square& mate : list.mates) {
        statistics.mates.push_back(from_square(mate));
        statistics.mate_forms.push_back(canonical_form(statistics.mates.back()).form);
    }
    statistics.triangles = find_triangles(statistics.mates);
    return statistics;
}
