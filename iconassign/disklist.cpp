// The disk list: the disk service's list of instance paths, read through
// the registry.
#include "disklist.h"
#include "sharedkey.h"
#include "disknames.h"
#include "registrytext.h"
#include "asciitext.h"
#include "lock.h"

HKEY DiskEnumKey;
char *DiskList[DiskListSize];
volatile LONG DiskCount;
CRITICAL_SECTION DiskListLock;

static int DiskListLockReady;

static const char DiskEnumPath[] = "system\\CurrentControlSet\\Services\\disk\\Enum";

// Called on the main thread before any worker starts.
int InitDiskList(void)
{
    if (!DiskListLockReady)
        DiskListLockReady = InitLock(&DiskListLock);
    return DiskListLockReady;
}

void FreeDiskList(void)
{
    EnterCriticalSection(&DiskListLock);
    for (int i = 0; i < DiskListSize; i++) {
        if (DiskList[i] != NULL)
            HeapFree(GetProcessHeap(), 0, DiskList[i]);
        DiskList[i] = NULL;
    }
    LeaveCriticalSection(&DiskListLock);
}

// The "Count" value, cut to the list's 26 entries (a negative one counts
// as no disk), so that no load or search goes past the list.
LONG ReadDiskCount(void)
{
    HKEY key = DiskEnumKey;
    if (key == NULL) {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, DiskEnumPath, 0, KEY_QUERY_VALUE,
                          &key) != ERROR_SUCCESS)
            return 0;
        key = KeepSharedKey(&DiskEnumKey, key);
    }
    LONG count = 0;
    DWORD size = sizeof(count);
    if (RegQueryValueExA(key, "Count", NULL, NULL, (BYTE *)&count,
                         &size) != ERROR_SUCCESS)
        return 0;
    if (count < 0)
        return 0;
    if (count > DiskListSize)
        return DiskListSize;
    return count;
}

// Reads value index of the disk service into entry index, allocating the
// entry's block on first use. Called with DiskListLock held.
static int LoadDiskListEntry(HKEY key, int index)
{
    char name[DiskValueNameSize];
    char path[DiskPathSize];
    DWORD size = sizeof(path);
    FormatDiskValueName(index, name);
    if (RegQueryValueExA(key, name, NULL, NULL, (BYTE *)path,
                         &size) != ERROR_SUCCESS)
        return 0;
    // A value of 260 bytes without NUL is cut to 259 characters; no such
    // path fits a device key name, so the searches pass it over.
    TerminateRegistryText(path, sizeof(path), size);
    if (DiskList[index] == NULL) {
        DiskList[index] = (char *)HeapAlloc(GetProcessHeap(), 0, DiskPathSize);
        if (DiskList[index] == NULL)
            return 0;
    }
    TextCopy(DiskList[index], DiskPathSize, path);
    return 1;
}

// Rewrites entries 0 to n-1 when fill is set; never frees, clears or
// shortens the list. 0 when a value cannot be read or a block allocated,
// with the entries before it already rewritten.
LONG LoadDiskList(int fill)
{
    LONG count = ReadDiskCount();
    if (!fill || count <= 0)
        return count;
    HKEY key = DiskEnumKey;
    LONG result = count;
    EnterCriticalSection(&DiskListLock);
    for (LONG i = 0; i < count; i++) {
        if (!LoadDiskListEntry(key, (int)i)) {
            result = 0;
            break;
        }
    }
    LeaveCriticalSection(&DiskListLock);
    return result;
}

int CopyDiskListEntry(int index, char *path)
{
    int copied = 0;
    path[0] = '\0';
    if (index < 0 || index >= DiskListSize)
        return 0;
    EnterCriticalSection(&DiskListLock);
    if (DiskList[index] != NULL)
        copied = TextCopy(path, DiskPathSize, DiskList[index]);
    LeaveCriticalSection(&DiskListLock);
    return copied;
}
