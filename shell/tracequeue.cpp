#include "tracequeue.h"
#include "asciitext.h"

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

void TraceRingInit(TraceRing *ring, const char *program, char *storage, unsigned slots,
                   unsigned slotSize)
{
    ring->program = program ? program : "";
    ring->storage = storage;
    ring->slots = slots;
    ring->slotSize = slotSize;
    ring->first = 0;
    ring->count = 0;
    ring->dropped = 0;
}

static char *Slot(const TraceRing *ring, unsigned slot)
{
    return ring->storage + (unsigned long)slot * ring->slotSize;
}

void TraceRingPut(TraceRing *ring, const char *line)
{
    if (ring->count == ring->slots) {
        ring->first = (ring->first + 1) % ring->slots;
        ring->count--;
        ring->dropped++;
    }
    unsigned slot = (ring->first + ring->count) % ring->slots;
    CopyCut(Slot(ring, slot), ring->slotSize, line);
    ring->count++;
}

// "<program>: N trace lines dropped" into out, cut to fit.
static void FormatDropNote(const TraceRing *ring, char *out, unsigned outSize)
{
    char number[2 + DecimalTextSize] = {':', ' '};
    FormatDecimal(ring->dropped, 1, number + 2);
    unsigned used;
    // The name at most as long as a queue's line leaves it room.
    used = CopyCut(out, outSize < TraceQueueLineSize - 47 ? outSize : TraceQueueLineSize - 47,
                   ring->program);
    used += CopyCut(out + used, outSize - used, number);
    CopyCut(out + used, outSize - used, " trace lines dropped");
}

TraceTaken TraceRingTake(TraceRing *ring, char *out, unsigned outSize)
{
    if (ring->dropped != 0) {
        FormatDropNote(ring, out, outSize);
        ring->dropped = 0;
        return TraceTakenDropNote;
    }
    if (ring->count == 0)
        return TraceTakenNothing;
    CopyCut(out, outSize, Slot(ring, ring->first));
    ring->first = (ring->first + 1) % ring->slots;
    ring->count--;
    return TraceTakenLine;
}

int TraceRingEmpty(const TraceRing *ring)
{
    return ring->count == 0 && ring->dropped == 0;
}

void TraceQueueInit(TraceQueue *queue, const char *program)
{
    TraceRingInit(&queue->ring, program, &queue->lines[0][0], TraceQueueLines,
                  TraceQueueLineSize);
}
