#include "recordpath.h"
#include "asciitext.h"

static int IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

RecordArgument ParseRecordArgument(const char *argumentText, char *path, unsigned pathSize)
{
    if (pathSize > 0)
        path[0] = '\0';
    unsigned long first = 0;
    while (IsBlank(argumentText[first]))
        first++;
    unsigned long length = 0;
    if (argumentText[first] == '"') {
        first++;
        while (argumentText[first + length] != '\0' && argumentText[first + length] != '"')
            length++;
        if (argumentText[first + length] != '"')
            return RecordArgumentOpenQuote;
        unsigned long rest = first + length + 1;
        while (IsBlank(argumentText[rest]))
            rest++;
        if (argumentText[rest] != '\0')
            return RecordArgumentMoreWords;
    } else {
        // Up to the last character that is not a blank.
        for (unsigned long i = first; argumentText[i] != '\0'; i++)
            if (!IsBlank(argumentText[i]))
                length = i + 1 - first;
    }
    if (length == 0)
        return RecordArgumentNone;
    if (length + 1 > pathSize)
        return RecordArgumentTooLong;
    for (unsigned long i = 0; i < length; i++)
        path[i] = argumentText[first + i];
    path[length] = '\0';
    return RecordArgumentPath;
}

int JoinRecordPath(const char *folder, const char *name, char *out, unsigned outSize)
{
    if (outSize == 0)
        return 0;
    out[0] = '\0';
    if (folder[0] == '\0' || !TextCopy(out, outSize, folder))
        return 0;
    unsigned length = TextLength(out, outSize);
    // A drive's root ("C:\") ends in its backslash already.
    if (out[length - 1] != '\\' && !TextAppend(out, outSize, "\\")) {
        out[0] = '\0';
        return 0;
    }
    if (!TextAppend(out, outSize, name)) {
        out[0] = '\0';
        return 0;
    }
    return 1;
}
