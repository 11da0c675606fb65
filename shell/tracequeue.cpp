#include "tracequeue.h"

// Copies text into out, cut to outSize - 1 characters; returns the length.
static unsigned CopyCut(char *out, unsigned outSize, const char *text)
{
    unsigned n = 0;
    if (outSize == 0)
        return 0;
    while (n + 1 < outSize && text[n] != '\0') {
        out[n] = text[n];
        n++;
    }
    out[n] = '\0';
    return n;
}

void TraceQueueInit(TraceQueue *queue, const char *program)
{
    queue->program = program ? program : "";
    queue->first = 0;
    queue->count = 0;
    queue->dropped = 0;
}

void TraceQueuePut(TraceQueue *queue, const char *line)
{
    if (queue->count == TraceQueueLines) {
        queue->first = (queue->first + 1) % TraceQueueLines;
        queue->count--;
        queue->dropped++;
    }
    unsigned slot = (queue->first + queue->count) % TraceQueueLines;
    CopyCut(queue->lines[slot], TraceQueueLineSize, line);
    queue->count++;
}

static void FormatDropNote(const TraceQueue *queue, char *out, unsigned outSize)
{
    char digits[24];
    unsigned n = 0;
    unsigned long value = queue->dropped;
    do {
        digits[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0);
    char note[TraceQueueLineSize];
    unsigned used = CopyCut(note, sizeof(note) - 48, queue->program);
    note[used++] = ':';
    note[used++] = ' ';
    while (n > 0)
        note[used++] = digits[--n];
    CopyCut(note + used, sizeof(note) - used, " trace lines dropped");
    CopyCut(out, outSize, note);
}

int TraceQueueTake(TraceQueue *queue, char *out, unsigned outSize)
{
    if (queue->dropped != 0) {
        FormatDropNote(queue, out, outSize);
        queue->dropped = 0;
        return 1;
    }
    if (queue->count == 0)
        return 0;
    CopyCut(out, outSize, queue->lines[queue->first]);
    queue->first = (queue->first + 1) % TraceQueueLines;
    queue->count--;
    return 1;
}

int TraceQueueEmpty(const TraceQueue *queue)
{
    return queue->count == 0 && queue->dropped == 0;
}
