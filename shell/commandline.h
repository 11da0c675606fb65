// Splitting the process command line. No Windows header: tested natively.
#ifndef COMMANDLINE_H
#define COMMANDLINE_H

// Returns the argument text of a command line: what follows the program
// name (quoted or not) and the blanks after it. Never null; never past the
// command line's NUL.
const char *SkipProgramName(const char *commandLine);

#endif
