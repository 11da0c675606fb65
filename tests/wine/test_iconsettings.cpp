// The icon settings store, called directly against the registry: the icon
// file table with its all-or-nothing defaults, and the drive markers.
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

static void PutIconValues(const char *const names[IconEntryCount])
{
    for (int i = 0; i < IconEntryCount; i++) {
        char name[2] = {(char)('0' + i), '\0'};
        if (names[i])
            ok(RegPutString(HKEY_LOCAL_MACHINE, SettingsKey, name, names[i]), "seed value %s", name);
    }
}

static std::string Entry(int i)
{
    const void *nul = memchr(IconFileTable[i], '\0', IconEntrySize);
    return nul ? std::string(IconFileTable[i]) : std::string("(no NUL in entry)");
}

static void CheckDefaultTable(int line)
{
    for (int i = 0; i < IconEntryCount; i++) {
        std::string expected = std::string("\\") + DefaultNames[i];
        CheckAt(__FILE__, line, Entry(i) == expected && IconFileTable[i][IconEntrySize - 1] == 0,
                "entry %d is the default, not %s", i, Entry(i).c_str());
    }
}

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
    CheckDefaultTable(__LINE__);
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
    CheckDefaultTable(__LINE__);
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

static void test_value_length_limit(void)
{
    std::string name18 = "abcdefghijklmn.ico";   // 18 characters: 19 bytes with NUL
    const char *names[IconEntryCount] = {"a.ico", name18.c_str(), "c.ico", "d.ico", "e.ico"};
    PutIconValues(names);
    ok(LoadIconFileTable(), "an 18-character value loads");
    ok(Entry(1) == "\\" + name18, "entry 1: %s", Entry(1).c_str());

    ResetSettings();
    std::string name19 = "abcdefghijklmno.ico";
    names[1] = name19.c_str();
    PutIconValues(names);
    LoadIconFileTableOrDefaults();
    CheckDefaultTable(__LINE__);

    // 19 bytes without NUL: within the query's limit, but no room for the NUL.
    ResetSettings();
    names[1] = "b.ico";
    PutIconValues(names);
    RegPutBytes(HKEY_LOCAL_MACHINE, SettingsKey, "1", REG_BINARY, name19.data(), 19);
    LoadIconFileTableOrDefaults();
    CheckDefaultTable(__LINE__);
}

static void test_value_type_not_examined(void)
{
    const char *names[IconEntryCount] = {"a.ico", "b.ico", NULL, "d.ico", "e.ico"};
    PutIconValues(names);
    ok(RegPutBytes(HKEY_LOCAL_MACHINE, SettingsKey, "2", REG_BINARY, "binary.ico", 11),
       "seed binary value");
    ok(LoadIconFileTable(), "a binary value holding a NUL-terminated name loads");
    ok(Entry(2) == "\\binary.ico", "entry 2: %s", Entry(2).c_str());
}

static void CheckMarker(int line, const char *name)
{
    std::string data = "unread";
    DWORD type = 0;
    bool present = RegReadBytes(HKEY_LOCAL_MACHINE, SettingsKey, name, &data, &type);
    CheckAt(__FILE__, line, present && type == REG_SZ && data.empty(),
            "marker %s: present %d, type %lu, %u bytes", name, present, type,
            (unsigned)data.size());
}

static void test_markers(void)
{
    ok(!MarkDriveInSettings('F', 1), "no key: the marker fails");
    ok(!RegKeyExists(HKEY_LOCAL_MACHINE, SettingsKey), "the marker never creates the key");

    ok(OpenIconSettingsKey(), "key created");
    HKEY opened = IconSettingsKey;
    ok(OpenIconSettingsKey() && IconSettingsKey == opened, "a second open keeps the handle");
    ok(MarkDriveInSettings('F', 1), "marker set");
    CheckMarker(__LINE__, "F");
    ok(MarkDriveInSettings('F', 1), "marker set again");
    CheckMarker(__LINE__, "F");
    ok(MarkDriveInSettings('F', 0), "marker cleared");
    ok(!RegValueExists(HKEY_LOCAL_MACHINE, SettingsKey, "F"), "marker gone");
    ok(!MarkDriveInSettings('F', 0), "clearing an absent marker fails");

    // The key exists but this run holds no handle: the marker opens it.
    RegCloseKey(IconSettingsKey);
    IconSettingsKey = NULL;
    ok(MarkDriveInSettings('G', 1), "late open");
    ok(IconSettingsKey != NULL, "the late open is kept");
    CheckMarker(__LINE__, "G");
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
        CheckMarker(__LINE__, name);
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
    RUN_CASE(test_value_length_limit);
    RUN_CASE(test_value_type_not_examined);
    RUN_CASE(test_markers);
    RUN_CASE(test_late_open_race);
    ResetSettings();
    return FinishTests();
}
