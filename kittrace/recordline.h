// The lines of the recorder's file: which debug-output lines are the kit's,
// and how each is written. Pure: no Windows header.
#ifndef RECORDLINE_H
#define RECORDLINE_H

// A local time as the system gives it: the fields, in order and width, of
// its SYSTEMTIME, which the recorder reads straight into it.
struct RecordTime {
    unsigned short year, month, weekday, day, hour, minute, second, milliseconds;
};

// Nonzero when text (at most size bytes, its NUL or not) is a line of one
// of the kit's programs: it starts with "tavlix:", "morvex:", "vorbind:",
// "vorbind-oem:", "vorbind-bare:" or "kittrace:".
int IsKitLine(const char *text, unsigned size);

// The record of a line as the file has it: "hh:mm:ss.mmm [pid] ", text (at
// most textSize bytes, up to its NUL) and CRLF, into out of outSize bytes
// (at least 3), cut to fit with its CRLF kept, and terminated. The text's
// own line end goes, and any other control character but a tab becomes a
// blank, so that each record is one line of the file. Returns the length.
unsigned FormatRecordLine(const RecordTime *time, unsigned long pid, const char *text,
                          unsigned textSize, char *out, unsigned outSize);

#endif
