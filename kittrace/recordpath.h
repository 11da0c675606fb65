// Where the recorder writes: its argument, or its file on the desktop.
// Pure: no Windows header.
#ifndef RECORDPATH_H
#define RECORDPATH_H

// The file's name on the desktop when no file is given.
#define RecordDefaultName "cardkit-trace.txt"

enum RecordArgument {
    RecordArgumentNone,        // blank: the default file
    RecordArgumentPath,        // a file name, in path
    RecordArgumentTooLong,     // longer than path holds
    RecordArgumentOpenQuote,   // a quote that is never closed
    RecordArgumentMoreWords,   // something after the closing quote
};

// The argument text (what follows the program name): one file name, in
// quotes or not (a name with blanks needs none: the whole text is taken,
// without the blanks around it). The name goes to path (pathSize bytes),
// which is left empty unless the result is RecordArgumentPath.
RecordArgument ParseRecordArgument(const char *argumentText, char *path, unsigned pathSize);

// folder, one backslash and name into out (outSize bytes). 0, with out
// left empty, when it does not fit or folder is empty.
int JoinRecordPath(const char *folder, const char *name, char *out, unsigned outSize);

#endif
