#include "recordline.h"
#include "asciitext.h"

// The kit's programs' names, each with its colon and NUL; aligned as text
// is, not padded as a large array would be.
static const char KitPrograms[] __attribute__((aligned(1))) = "tavlix:\0morvex:\0vorbind:\0vorbind-oem:\0vorbind-bare:\0"
                                  "kittrace:\0";

int IsKitLine(const char *text, unsigned size)
{
    for (const char *program = KitPrograms; *program != '\0';) {
        unsigned length = TextLength(program, 16);
        // The text's own length, read no further than its size.
        if (length <= size && TextLength(text, length) == length &&
            AsciiMatchExact(text, program, length))
            return 1;
        program += length + 1;
    }
    return 0;
}

// Text written into a buffer, cut to fit; the buffer stays terminated.
struct Writer {
    char *out;
    unsigned size;
    unsigned used;
};

// Keeps room for the CRLF and the NUL.
static void Put(Writer *w, char c)
{
    if (w->used + 3 < w->size)
        w->out[w->used++] = c;
}

static void PutText(Writer *w, const char *text, unsigned max)
{
    for (unsigned i = 0; i < max && text[i] != '\0'; i++)
        Put(w, text[i]);
}

// value in decimal, at least width digits (zeros in front).
static void PutNumber(Writer *w, unsigned long value, unsigned width)
{
    char digits[DecimalTextSize];
    FormatDecimal(value, width, digits);
    PutText(w, digits, sizeof(digits));
}

static void PutClock(Writer *w, const RecordTime *time)
{
    PutNumber(w, time->hour, 2);
    Put(w, ':');
    PutNumber(w, time->minute, 2);
    Put(w, ':');
    PutNumber(w, time->second, 2);
}

unsigned FormatRecordLine(const RecordTime *time, unsigned long pid, const char *text,
                          unsigned textSize, char *out, unsigned outSize)
{
    Writer w = {out, outSize, 0};
    PutClock(&w, time);
    Put(&w, '.');
    PutNumber(&w, time->milliseconds, 3);
    PutText(&w, " [", 2);
    PutNumber(&w, pid, 1);
    PutText(&w, "] ", 2);
    unsigned length = TextLength(text, textSize);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r'))
        length--;
    for (unsigned i = 0; i < length; i++) {
        char c = text[i];
        Put(&w, (unsigned char)c < ' ' && c != '\t' ? ' ' : c);
    }
    out[w.used++] = '\r';
    out[w.used++] = '\n';
    out[w.used] = '\0';
    return w.used;
}
