// Icon file names and drive icon key texts.
// Pure: no Windows header.
#ifndef ICONNAME_H
#define ICONNAME_H

enum {
    IconEntryCount = 5,          // IconFileTable entries, SlotType 0..4
    IconEntrySize = 20,          // '\\' + at most 18 characters + NUL
    IconValueLimit = 19,         // bytes offered to the query of a value
    ShellImageNameSize = 260,    // a name buffer that never cuts
    DriveIconKeySize = 260       // the buffer the key path is formatted into
};

// The five default IconFileTable entries, each with its NUL.
extern const char DefaultIconEntries[IconEntryCount][IconEntrySize];

// Decides whether a loaded icon file value is usable and, when it is, makes
// entry (IconEntrySize bytes) hold '\\' + name + NUL. valueData holds the
// valueBytes bytes the query returned: either a separate buffer or entry + 1
// itself (the query straight into the entry); no other overlap.
// The name ends at the first NUL within valueBytes or, lacking one, at
// valueBytes (registry text is not trusted to carry its NUL).
// Returns 0 (unusable) when:
//   - valueBytes is above IconValueLimit (a query never returns that);
//   - the data fills all 19 bytes without a NUL: a 19-character name has no
//     room for its NUL in the entry;
//   - the name is empty (0 bytes, or a NUL first): the icon text would be
//     the Windows directory itself.
// The caller then applies the five defaults (a partial table is never
// used). On 0, entry[0] is set to NUL so the entry is always a text.
int LoadIconEntry(char *entry, const char *valueData, unsigned long valueBytes);

// The name part of UpdateShellImage: a working copy
// of at most 259 characters of location; one trailing backslash removed;
// backwards from the last character down to the second for a backslash: the
// name is what follows the first one met, or the whole text when none is met
// (the first character is never a separator). Examples: C:\WINDOWS\sdico.ico
// -> sdico.ico; C:\WINDOWS\ -> WINDOWS; abc -> abc; \abc -> \abc.
// The name is written into name of nameSize bytes; a name that does not fit
// leaves name empty (never with ShellImageNameSize). A null location counts
// as empty.
void ShellImageFileName(const char *location, char *name, unsigned nameSize);

// The Drives key that holds the drive icon keys, below the machine's
// Software\Classes (HKEY_LOCAL_MACHINE: for every user) or a user's own
// (HKEY_CURRENT_USER), which Windows (2000 and later) merges over the
// machine's where Explorer reads drive icons. Always written in its own
// place, never through HKEY_CLASSES_ROOT: that merged view sends a write or
// a deletion to the user's copy of a key wherever the user has one.
extern const char DrivesKeyPath[];   // "Software\Classes\Applications\Explorer.exe\Drives"

// Cuts a key path at its last backslash, to name its parent. Nonzero when
// the parent is itself below a top key ("Software\Classes" is, "Software"
// is not); 0, leaving the path as it is, when there is no backslash.
int CutLastKey(char *path);

// The drive index (0 for A .. 25 for Z) that a value name of the settings
// key marks: a single upper-case letter. -1 for any other name (the icon
// file values "0".."4" among them); a null name counts as none.
int MarkerDriveIndex(const char *valueName);

// A drive's icon key below the Drives key, "%c\DefaultIcon" with letter
// (callers pass 'A'..'Z'), into keyPath of keyPathSize bytes: 13 characters
// and the NUL.
enum { LetterIconKeySize = 14 };
// The same below drivesKey: drivesKey + "\" + "%c\DefaultIcon".
// A keyPath too small is left empty (when keyPathSize allows).
void FormatLetterIconKey(char letter, char *keyPath, unsigned keyPathSize);
void FormatDriveIconKey(const char *drivesKey, char letter, char *keyPath,
                        unsigned keyPathSize);

#endif
