// Inputs of the pure functions in heap blocks of exactly their size, so
// that AddressSanitizer catches a read or a write one byte past the end.
#ifndef EXACTBLOCK_H
#define EXACTBLOCK_H

#include <cstring>
#include <memory>

template <typename T>
std::unique_ptr<T[]> ExactCopy(const void *data, size_t size)
{
    std::unique_ptr<T[]> block(new T[size]);
    if (size > 0)
        std::memcpy(block.get(), data, size);
    return block;
}

#endif
