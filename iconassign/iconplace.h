// Where tavlix writes its icon keys and markers. An administrator on 2000
// and XP writes the machine's places, for every user. An account that may
// not (a limited user there, and every user from Vista on, where programs
// started at log-on run without raised rights) gets icons for itself, in
// its own part of the registry. Chosen once at start, before any pass;
// read-only afterwards.
#ifndef ICONPLACE_H
#define ICONPLACE_H

#include <windows.h>

enum IconPlace { PlaceMachine, PlaceUser };

// Why the place was chosen.
enum PlaceReason {
    MachinePlacesWritable,
    MachineDrivesDenied,     // the machine's Drives key (or the parent it is
                             // to be made under) does not let this account make keys
    MachineSettingsDenied    // HKLM\Software\BrindIco can be neither made nor written
};

struct PlaceChoice {
    IconPlace place;
    PlaceReason reason;
    LONG error;              // the registry's answer behind the reason
    LONG markersError;       // ERROR_SUCCESS when the place's markers key
                             // is open; otherwise no icon may be given
};

extern IconPlace IconKeysPlace;

// Finds out whether this account may write the machine's places and sets
// IconKeysPlace and the settings store's root accordingly; opens (or
// makes) the settings key of the place chosen.
PlaceChoice ChooseIconPlace(void);

// The root whose DrivesKeyPath holds the icon keys of IconKeysPlace.
HKEY DrivesRoot(void);

#endif
