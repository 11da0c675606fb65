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
    const char *start = argumentText;
    while (IsBlank(*start))
        start++;
    const char *end;
    if (*start == '"') {
        start++;
        end = start;
        while (*end != '\0' && *end != '"')
            end++;
        if (*end != '"')
            return RecordArgumentOpenQuote;
        const char *rest = end + 1;
        while (IsBlank(*rest))
            rest++;
        if (*rest != '\0')
            return RecordArgumentMoreWords;
    } else {
        end = start;
        while (*end != '\0')
            end++;
        while (end > start && IsBlank(end[-1]))
            end--;
    }
    unsigned long length = (unsigned long)(end - start);
    if (length == 0)
        return RecordArgumentNone;
    if (length + 1 > pathSize)
        return RecordArgumentTooLong;
    for (unsigned long i = 0; i < length; i++)
        path[i] = start[i];
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
