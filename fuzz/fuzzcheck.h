// Shared pieces of the fuzz targets: the property check, exact-size heap
// blocks (so AddressSanitizer sees any access past an input or an output)
// and a reader that takes parameters off the front of the fuzz input.
#ifndef FUZZCHECK_H
#define FUZZCHECK_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

// A broken property is a finding: say which, then trap so libFuzzer keeps
// the input as a crash artifact.
#define FUZZ_CHECK(condition)                                             \
    do {                                                                  \
        if (!(condition)) {                                               \
            std::fprintf(stderr, "%s:%d: property broken: %s\n",          \
                         __FILE__, __LINE__, #condition);                 \
            __builtin_trap();                                             \
        }                                                                 \
    } while (0)

// A heap block of exactly size bytes; size 0 is a valid, unreadable block.
class Block {
public:
    explicit Block(size_t size, unsigned char fill = 0xA5)
        : bytes_(new char[size]), size_(size)
    {
        if (size > 0)
            std::memset(bytes_.get(), fill, size);
    }
    Block(const void *data, size_t size) : Block(size)
    {
        if (size > 0)
            std::memcpy(bytes_.get(), data, size);
    }
    char *data() { return bytes_.get(); }
    const char *data() const { return bytes_.get(); }
    unsigned char *bytes() { return reinterpret_cast<unsigned char *>(bytes_.get()); }
    const unsigned char *bytes() const
    {
        return reinterpret_cast<const unsigned char *>(bytes_.get());
    }
    size_t size() const { return size_; }
    bool Equals(const Block &other) const
    {
        return size_ == other.size_
            && (size_ == 0 || std::memcmp(bytes_.get(), other.bytes_.get(), size_) == 0);
    }

private:
    std::unique_ptr<char[]> bytes_;
    size_t size_;
};

// A NUL-terminated text in a block of exactly its length + 1: the bytes up
// to the first NUL of data (or all of them).
inline Block TextBlock(const uint8_t *data, size_t size)
{
    const void *nul = std::memchr(data, 0, size);
    size_t length = nul ? (size_t)((const uint8_t *)nul - data) : size;
    Block text(length + 1);
    if (length > 0)
        std::memcpy(text.data(), data, length);
    text.data()[length] = '\0';
    return text;
}

// Takes fixed-size parameters off the front of the input; what is left is
// the data. A short input gives zeros for the missing bytes.
class FuzzInput {
public:
    FuzzInput(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    uint8_t TakeByte()
    {
        if (size_ == 0)
            return 0;
        size_--;
        return *data_++;
    }
    uint32_t TakeUint(unsigned byteCount)
    {
        uint32_t value = 0;
        for (unsigned i = 0; i < byteCount; i++)
            value |= (uint32_t)TakeByte() << (8 * i);
        return value;
    }
    // The rest up to (not including) the next NUL, the NUL consumed.
    Block TakeText()
    {
        Block text = TextBlock(data_, size_);
        size_t used = std::strlen(text.data());
        used += used < size_ ? 1 : 0;
        data_ += used;
        size_ -= used;
        return text;
    }
    // A buffer size: 0 picks the program's own size, n > 0 gives n - 1.
    size_t TakeBufferSize(size_t ownSize)
    {
        uint8_t choice = TakeByte();
        return choice == 0 ? ownSize : choice - 1u;
    }
    // A zero-filled block of size bytes holding as much of the rest as fits.
    Block TakeBlock(size_t size)
    {
        Block block(size, 0);
        size_t content = size_ < size ? size_ : size;
        if (content > 0)
            std::memcpy(block.data(), data_, content);
        data_ += content;
        size_ -= content;
        return block;
    }
    const uint8_t *rest() const { return data_; }
    size_t restSize() const { return size_; }

private:
    const uint8_t *data_;
    size_t size_;
};

inline bool IsAsciiLower(char c) { return c >= 'a' && c <= 'z'; }

inline char FoldUpper(char c) { return IsAsciiLower(c) ? (char)(c - 'a' + 'A') : c; }

inline char FoldLower(char c) { return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c; }

#endif
