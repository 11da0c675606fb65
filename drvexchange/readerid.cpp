#include "readerid.h"
#include "asciitext.h"

const ReaderId ReaderIdTable[] = {
    {"0e5b", "0a17"},
    {0, 0},
};

int MatchReaderId(const char *hardwareId, unsigned bufferSize, const ReaderId *entry)
{
    if (TextLength(hardwareId, bufferSize) < 21)
        return 0;
    return AsciiMatchNoCase(hardwareId + 8, entry->VendorId, 4) &&
           AsciiMatchNoCase(hardwareId + 17, entry->ProductId, 4);
}
