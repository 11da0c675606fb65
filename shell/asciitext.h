// Bounded ASCII text helpers shared by every program. No Windows header here:
// these build natively for the unit tests and fuzzers too.
#ifndef ASCIITEXT_H
#define ASCIITEXT_H

// Folds only the ASCII letters; every other byte is left as it is.
char AsciiUpper(char c);
char AsciiLower(char c);

// Nonzero when the first n characters of text equal those of pattern.
// Reading of text stops at its NUL, so a text shorter than n never matches
// and is never read past its end. The NoCase form folds ASCII letters only.
int AsciiMatchExact(const char *text, const char *pattern, unsigned n);
int AsciiMatchNoCase(const char *text, const char *pattern, unsigned n);

// Length of text, looking at no more than max characters.
unsigned TextLength(const char *text, unsigned max);

// Copies src with its NUL into dst of dstSize bytes. Returns nonzero when
// it fitted; otherwise dst is left empty (when dstSize allows) and 0 is
// returned: a cut name would name something else.
int TextCopy(char *dst, unsigned dstSize, const char *src);

// Appends src to the text in dst (dstSize bytes in all). Returns nonzero
// when the whole result fitted; otherwise dst is left unchanged.
int TextAppend(char *dst, unsigned dstSize, const char *src);

// path = head followed by tail, in pathSize bytes; head may be path itself,
// to append to it. Returns nonzero when the whole path fitted; otherwise 0,
// and path is left empty (when pathSize allows): a cut path would name
// another file.
int JoinPath(char *path, unsigned pathSize, const char *head, const char *tail);

// value in decimal, with at least minDigits digits (zeros in front; at most
// 20), and a NUL, at text: DecimalTextSize bytes hold any value. Returns
// the count of digits.
enum { DecimalTextSize = 21 };
unsigned FormatDecimal(unsigned long value, unsigned minDigits, char *text);

#endif
