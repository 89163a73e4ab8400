// One symmetric image of a square as the prefix judgement follows it, cell by
// cell in generator position order.
#pragma once

#include <cstdint>

// R and the group's records applied to Q and to R.
constexpr int max_prefix_images = 1 + 2 * 23;
static_assert(max_prefix_images <= 64, "open images are a 64-bit set");

struct PrefixImage {
    std::uint8_t source_position[80]; // for each free cell of the image, the position of its source cell
    std::uint8_t known_cells[81];     // for each prefix length: leading positions known in image and Q
    std::uint32_t value_bits[10];     // one-hot image value of each source value
    std::uint8_t value_map[10];       // image value of each source value
    std::uint32_t mapped_at_least[10]; // per value x: the source values whose image value is x or above
    std::uint32_t mapped_at_most[10];  // per value x: the source values whose image value is x or below
};

// The row of the square that generator position k lies in (8 free cells a row).
inline int row_of_position(int k)
{
    return k / 8;
}
