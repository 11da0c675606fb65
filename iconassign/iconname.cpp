// Icon file names and drive icon key texts.
#include "iconname.h"

#include "../shell/asciitext.h"

const char DefaultIconEntries[IconEntryCount][IconEntrySize] = {
    "\\cfico.ico",      // SlotCF
    "\\sdico.ico",      // SlotSD
    "\\smico.ico",      // SlotSM
    "\\msico.ico",      // SlotMS
    "\\comboico.ico",   // SlotCombo
};

int LoadIconEntry(char *entry, const char *valueData, unsigned long valueBytes)
{
    unsigned length = 0;
    if (valueBytes <= IconValueLimit) {
        // Within the first valueBytes bytes only: no NUL means valueBytes.
        length = TextLength(valueData, (unsigned)valueBytes);
    }
    if (length == 0 || length >= IconValueLimit) {
        entry[0] = '\0';
        return 0;
    }
    // Forward copy: also right when valueData is entry + 1 itself.
    for (unsigned i = 0; i < length; i++)
        entry[1 + i] = valueData[i];
    entry[1 + length] = '\0';
    entry[0] = '\\';
    return 1;
}

void ShellImageFileName(const char *location, char *name, unsigned nameSize)
{
    char working[260];
    unsigned length = 0;
    if (location != 0)
        length = TextLength(location, sizeof working - 1);
    for (unsigned i = 0; i < length; i++)
        working[i] = location[i];
    working[length] = '\0';

    if (length > 0 && working[length - 1] == '\\')
        working[--length] = '\0';

    const char *found = working;
    for (unsigned i = length; i > 1; i--) {      // indexes length-1 .. 1
        if (working[i - 1] == '\\') {
            found = working + i;
            break;
        }
    }
    TextCopy(name, nameSize, found);
}

const char DrivesKeyPath[] = "Software\\Classes\\Applications\\Explorer.exe\\Drives";

int MarkerDriveIndex(const char *valueName)
{
    if (!valueName || valueName[0] < 'A' || valueName[0] > 'Z' || valueName[1] != '\0')
        return -1;
    return valueName[0] - 'A';
}

void FormatLetterIconKey(char letter, char *keyPath, unsigned keyPathSize)
{
    const char letterText[2] = { letter, '\0' };
    JoinPath(keyPath, keyPathSize, letterText, "\\DefaultIcon");
}

void FormatDriveIconKey(const char *drivesKey, char letter, char *keyPath,
                        unsigned keyPathSize)
{
    char letterKey[LetterIconKeySize];
    FormatLetterIconKey(letter, letterKey, sizeof letterKey);
    if (JoinPath(keyPath, keyPathSize, drivesKey, "\\"))
        JoinPath(keyPath, keyPathSize, keyPath, letterKey);
}

int CutLastKey(char *path)
{
    char *last = 0;
    int backslashes = 0;
    for (char *p = path; *p; p++) {
        if (*p == '\\') {
            last = p;
            backslashes++;
        }
    }
    if (!last)
        return 0;
    *last = '\0';
    return backslashes > 1;
}
