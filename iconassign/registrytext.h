// Registry string data, which is not trusted to carry its NUL. Pure: no
// Windows header.
#ifndef REGISTRYTEXT_H
#define REGISTRYTEXT_H

// Makes registry string data into a NUL-terminated text inside buffer of
// bufferSize bytes, trusting no NUL in the data. bytesRead is what the query
// reported and may be anything, also more than bufferSize. Only the first
// min(bytesRead, bufferSize) bytes are looked at:
//   - a NUL among them ends the text there;
//   - none, and bytesRead < bufferSize: the NUL is put at bytesRead;
//   - none, and the data fills the buffer: the text is cut to bufferSize - 1
//     characters (a 260-byte disk value without NUL gives 259 characters).
// Returns the length of the resulting text. With bufferSize 0 nothing is
// written and 0 is returned.
unsigned TerminateRegistryText(char *buffer, unsigned bufferSize,
                               unsigned long bytesRead);

#endif
