// The first line of the recorder's file: the kit's version, the date, and
// what the lines below depend on: Windows' version, service pack and width,
// and the rights of the account that records.
#ifndef RECORDHEADER_H
#define RECORDHEADER_H

enum { RecordHeaderSize = 384 };

// The line, with its CRLF, into out of RecordHeaderSize bytes; its length.
unsigned FormatRecordHeader(char *out);

#endif
