// The few memory routines the compiler may call on its own (for zero-filled
// records and structure copies) when no C runtime is linked.
#include <stddef.h>

extern "C" {

__attribute__((optimize("no-tree-loop-distribute-patterns")))
void *memset(void *dst, int value, size_t count)
{
    unsigned char *d = (unsigned char *)dst;
    while (count--)
        *d++ = (unsigned char)value;
    return dst;
}

__attribute__((optimize("no-tree-loop-distribute-patterns")))
void *memcpy(void *dst, const void *src, size_t count)
{
    unsigned char *d = (unsigned char *)dst;
    const unsigned char *s = (const unsigned char *)src;
    while (count--)
        *d++ = *s++;
    return dst;
}

}
