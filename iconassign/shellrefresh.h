// Asking a running shell to show a drive's new icon.
#ifndef SHELLREFRESH_H
#define SHELLREFRESH_H

// The icon file (into location, capacity characters) and index of the icon
// the shell shows for the drive root now; -1 when unknown or not a file.
int QueryDriveIconLocation(const char *root, char *location, int capacity);
// Makes the drives folder drop its cached attributes.
void InvalidateMyComputer(void);
// Tells the shell that the image of that icon changed; nothing for an
// empty location.
void UpdateShellImage(const char *location, int iconIndex, int imageIndex);

#endif
