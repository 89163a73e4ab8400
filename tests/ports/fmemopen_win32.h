// POSIX's fmemopen for the module tests on Windows, which has none: a temporary
// file holding the same bytes, positioned at its start, reads the same.
#pragma once

#include <cstddef>
#include <cstdio>

inline std::FILE* fmemopen(void* buffer, std::size_t size, const char*)
{
    std::FILE* file = std::tmpfile();
    if (file == nullptr)
        return nullptr;
    if (std::fwrite(buffer, 1, size, file) != size) {
        std::fclose(file);
        return nullptr;
    }
    std::rewind(file);
    return file;
}
