#include "asciitext.h"

char AsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

int AsciiMatchExact(const char *text, const char *pattern, unsigned n)
{
    for (unsigned i = 0; i < n; i++) {
        if (text[i] == '\0' || text[i] != pattern[i])
            return 0;
    }
    return 1;
}

int AsciiMatchNoCase(const char *text, const char *pattern, unsigned n)
{
    for (unsigned i = 0; i < n; i++) {
        if (text[i] == '\0' || AsciiLower(text[i]) != AsciiLower(pattern[i]))
            return 0;
    }
    return 1;
}

unsigned TextLength(const char *text, unsigned max)
{
    unsigned n = 0;
    while (n < max && text[n] != '\0')
        n++;
    return n;
}

int TextCopy(char *dst, unsigned dstSize, const char *src)
{
    if (dstSize == 0)
        return 0;
    unsigned len = TextLength(src, dstSize);
    if (len >= dstSize) {
        dst[0] = '\0';
        return 0;
    }
    for (unsigned i = 0; i <= len; i++)
        dst[i] = src[i];
    return 1;
}

unsigned FormatDecimal(unsigned long value, unsigned minDigits, char *text)
{
    // The digits are counted first, then written from the last one back.
    unsigned count = 1;
    for (unsigned long rest = value / 10; rest != 0; rest /= 10)
        count++;
    if (count < minDigits)
        count = minDigits < DecimalTextSize - 1 ? minDigits : DecimalTextSize - 1;
    text[count] = '\0';
    for (unsigned i = count; i > 0; i--) {
        text[i - 1] = (char)('0' + value % 10);
        value /= 10;
    }
    return count;
}

int TextAppend(char *dst, unsigned dstSize, const char *src)
{
    unsigned used = TextLength(dst, dstSize);
    if (used >= dstSize)
        return 0;
    unsigned add = TextLength(src, dstSize - used);
    if (used + add >= dstSize)
        return 0;
    for (unsigned i = 0; i < add; i++)
        dst[used + i] = src[i];
    dst[used + add] = '\0';
    return 1;
}

int JoinPath(char *path, unsigned pathSize, const char *head, const char *tail)
{
    if ((head == path || TextCopy(path, pathSize, head)) && TextAppend(path, pathSize, tail))
        return 1;
    if (pathSize > 0)
        path[0] = '\0';
    return 0;
}
