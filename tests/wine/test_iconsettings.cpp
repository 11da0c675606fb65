// The icon settings store, called directly against the registry: the icon
// file table with its all-or-nothing defaults, and the drive markers. How
// one value's bytes make an entry is the native tests'; a value longer
// than the query takes, and values of other types, are shown end to end
// (test_tavlix_startup).
#include "harness.h"
#include "iconsettings.h"
#include <string.h>

static const char SettingsKey[] = "Software\\BrindIco";
static const char *const DefaultNames[IconEntryCount] = {
    "cfico.ico", "sdico.ico", "smico.ico", "msico.ico", "comboico.ico"};

// Each case starts without the key, with IconSettingsKey empty and the
// table zero-filled, as the program starts.
static void ResetSettings(void)
{
    if (IconSettingsKey)
        RegCloseKey(IconSettingsKey);
    IconSettingsKey = NULL;
    memset(IconFileTable, 0, sizeof(IconFileTable));
    RegRemoveTree(HKEY_LOCAL_MACHINE, SettingsKey);
}

static void PutIconValues_(At at, const char *const names[IconEntryCount])
{
    for (int i = 0; i < IconEntryCount; i++) {
        char name[2] = {(char)('0' + i), '\0'};
        if (names[i])
            ok_at(at, RegPutString(HKEY_LOCAL_MACHINE, SettingsKey, name, names[i]),
                  "value %s not seeded", name);
    }
}
#define PutIconValues(names) PutIconValues_(HERE, names)

static std::string Entry(int i)
{
    const void *nul = memchr(IconFileTable[i], '\0', IconEntrySize);
    return nul ? std::string(IconFileTable[i]) : std::string("(no NUL in entry)");
}

static void CheckDefaultTable_(At at)
{
    for (int i = 0; i < IconEntryCount; i++) {
        std::string expected = std::string("\\") + DefaultNames[i];
        ok_at(at, Entry(i) == expected && IconFileTable[i][IconEntrySize - 1] == 0,
              "entry %d is not the default: %s", i, Entry(i).c_str());
    }
}
#define CheckDefaultTable() CheckDefaultTable_(HERE)

static void test_missing_key_is_created_empty(void)
{
    ok(!LoadIconFileTable(), "a missing key leaves the table unloaded");
    ok(IconSettingsKey != NULL, "the key is created and kept open");
    ok(RegKeyExists(HKEY_LOCAL_MACHINE, SettingsKey), "the key exists");
    ok(!RegKeyIsVolatile(HKEY_LOCAL_MACHINE, SettingsKey), "the key is not volatile");
    DWORD values = 99;
    RegQueryInfoKeyA(IconSettingsKey, NULL, NULL, NULL, NULL, NULL, NULL, &values, NULL,
                     NULL, NULL, NULL);
    ok(values == 0, "the new key is empty: %lu values", values);

    ResetSettings();
    LoadIconFileTableOrDefaults();
    CheckDefaultTable();
    ok(RegKeyExists(HKEY_LOCAL_MACHINE, SettingsKey), "start-up creates the key");
}

static void test_partial_values_give_all_defaults(void)
{
    const char *names[IconEntryCount] = {"a.ico", "b.ico", "c.ico", NULL, "e.ico"};
    PutIconValues(names);
    ok(!LoadIconFileTable(), "value 3 missing: not loaded");
    ok(Entry(2) == "\\c.ico" && IconFileTable[4][0] == '\0',
       "entries read before the failure keep it, later ones are untouched: %s, %s",
       Entry(2).c_str(), Entry(4).c_str());

    ResetSettings();
    PutIconValues(names);
    LoadIconFileTableOrDefaults();
    CheckDefaultTable();
}

static void test_five_values_are_loaded(void)
{
    const char *names[IconEntryCount] = {"cfico.ico", "other.ico", "smico.ico", "msico.ico",
                                         "comboico.ico"};
    PutIconValues(names);
    ok(LoadIconFileTable(), "five values load");
    for (int i = 0; i < IconEntryCount; i++)
        ok(Entry(i) == std::string("\\") + names[i], "entry %d: %s", i, Entry(i).c_str());

    // The plain open is used when the handle is empty; an open handle is
    // used as it is, wherever it points.
    ResetSettings();
    const char *others[IconEntryCount] = {"v.ico", "w.ico", "x.ico", "y.ico", "z.ico"};
    ok(RegPutString(HKEY_CURRENT_USER, "Software\\KitIconTest", "0", others[0]), "seed");
    for (int i = 1; i < IconEntryCount; i++) {
        char name[2] = {(char)('0' + i), '\0'};
        RegPutString(HKEY_CURRENT_USER, "Software\\KitIconTest", name, others[i]);
    }
    RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\KitIconTest", 0, KEY_ALL_ACCESS, &IconSettingsKey);
    LoadIconFileTableOrDefaults();
    ok(Entry(0) == "\\v.ico" && Entry(4) == "\\z.ico", "the open handle is read: %s %s",
       Entry(0).c_str(), Entry(4).c_str());
    ok(!RegKeyExists(HKEY_LOCAL_MACHINE, SettingsKey), "no second open or creation");
    RegRemoveTree(HKEY_CURRENT_USER, "Software\\KitIconTest");
}

// A marker: an empty REG_SZ, not even a NUL.
static void CheckMarker_(At at, const char *name)
{
    std::string data = "unread";
    DWORD type = 0;
    bool present = RegReadBytes(HKEY_LOCAL_MACHINE, SettingsKey, name, &data, &type);
    ok_at(at, present && type == REG_SZ && data.empty(),
          "marker %s: present %d, type %lu, %u bytes", name, present, type,
          (unsigned)data.size());
}
#define CheckMarker(name) CheckMarker_(HERE, name)

static void test_markers(void)
{
    ok(!MarkDriveInSettings('F', 1), "no key: the marker fails");
    ok(!RegKeyExists(HKEY_LOCAL_MACHINE, SettingsKey), "the marker never creates the key");

    ok(OpenIconSettingsKey(), "key created");
    HKEY opened = IconSettingsKey;
    ok(OpenIconSettingsKey() && IconSettingsKey == opened, "a second open keeps the handle");
    ok(MarkDriveInSettings('F', 1), "marker set");
    CheckMarker("F");
    ok(MarkDriveInSettings('F', 1), "marker set again");
    CheckMarker("F");
    ok(MarkDriveInSettings('F', 0), "marker cleared");
    ok(!RegValueExists(HKEY_LOCAL_MACHINE, SettingsKey, "F"), "marker gone");
    ok(!MarkDriveInSettings('F', 0), "clearing an absent marker fails");

    // The key exists but this run holds no handle: the marker opens it.
    RegCloseKey(IconSettingsKey);
    IconSettingsKey = NULL;
    ok(MarkDriveInSettings('G', 1), "late open");
    ok(IconSettingsKey != NULL, "the late open is kept");
    CheckMarker("G");
}

// Workers that reach the late open together: each must end with a usable
// key and its marker written.
static HANDLE StartLine;
static DWORD WINAPI MarkLetterThread(LPVOID letter)
{
    WaitForSingleObject(StartLine, INFINITE);
    return (DWORD)MarkDriveInSettings((char)(INT_PTR)letter, 1);
}

static void test_late_open_race(void)
{
    ok(OpenIconSettingsKey(), "key created");
    RegCloseKey(IconSettingsKey);
    IconSettingsKey = NULL;
    StartLine = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE threads[8];
    for (int i = 0; i < 8; i++)
        threads[i] = CreateThread(NULL, 0, MarkLetterThread, (LPVOID)(INT_PTR)('D' + i), 0, NULL);
    SetEvent(StartLine);
    WaitForMultipleObjects(8, threads, TRUE, 60000);
    for (int i = 0; i < 8; i++) {
        DWORD result = 0;
        GetExitCodeThread(threads[i], &result);
        char name[2] = {(char)('D' + i), '\0'};
        ok(result == 1, "worker %s succeeded", name);
        CheckMarker(name);
        CloseHandle(threads[i]);
    }
    CloseHandle(StartLine);
    ok(IconSettingsKey != NULL, "one key kept");
}

#define RUN_CASE(fn) do { ResetSettings(); RUN_TEST(fn); } while (0)

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    RUN_CASE(test_missing_key_is_created_empty);
    RUN_CASE(test_partial_values_give_all_defaults);
    RUN_CASE(test_five_values_are_loaded);
    RUN_CASE(test_markers);
    RUN_CASE(test_late_open_race);
    ResetSettings();
    return FinishTests();
}
