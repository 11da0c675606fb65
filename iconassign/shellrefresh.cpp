// Shell objects are obtained and released within each call and used on the
// calling thread only; COM is not initialised: these entries work without.
#include <windows.h>
#include <shlobj.h>
#include "shellrefresh.h"
#include "iconname.h"

static const GUID ShellFolderId = {0x000214E6, 0x0000, 0x0000,
                                   {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const GUID ExtractIconAId = {0x000214EB, 0x0000, 0x0000,
                                    {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

typedef void(WINAPI *UpdateImageEntry)(LPCSTR, int, UINT, int);

static UpdateImageEntry FindUpdateImage(HMODULE shell, LPCSTR name)
{
    // Through a generic function type: the entry's real one is known here.
    return (UpdateImageEntry)(void (*)(void))GetProcAddress(shell, name);
}

// Asks the drives folder's icon extractor for the root's icon location.
static int QueryIconInFolder(IShellFolder *drives, IMalloc *allocator, const char *root,
                             char *location, int capacity)
{
    WCHAR wideRoot[MAX_PATH];
    wideRoot[0] = 0;
    MultiByteToWideChar(CP_ACP, 0, root, -1, wideRoot, MAX_PATH);

    int result = -1;
    ULONG parsed = 0;
    LPITEMIDLIST child = NULL;
    IExtractIconA *extract = NULL;
    if (SUCCEEDED(drives->ParseDisplayName(NULL, NULL, wideRoot, &parsed, &child, NULL)) &&
        SUCCEEDED(drives->GetUIObjectOf(NULL, 1, (LPCITEMIDLIST *)&child, ExtractIconAId, NULL,
                                        (void **)&extract))) {
        int index = 0;
        UINT flags = 0;
        if (SUCCEEDED(extract->GetIconLocation(0, location, capacity, &index, &flags)) &&
            !(flags & GIL_NOTFILENAME))
            result = index;
        extract->Release();
    }
    if (child)
        allocator->Free(child);
    return result;
}

int QueryDriveIconLocation(const char *root, char *location, int capacity)
{
    IMalloc *allocator = NULL;
    if (FAILED(SHGetMalloc(&allocator)) || !allocator)
        return -1;
    IShellFolder *desktop = NULL;
    if (FAILED(SHGetDesktopFolder(&desktop)) || !desktop) {
        allocator->Release();
        return -1;
    }
    LPITEMIDLIST drivesList = NULL;
    if (FAILED(SHGetSpecialFolderLocation(NULL, CSIDL_DRIVES, &drivesList)) || !drivesList) {
        desktop->Release();
        allocator->Release();
        return -1;
    }
    int result = -1;
    IShellFolder *drives = NULL;
    if (SUCCEEDED(desktop->BindToObject(drivesList, NULL, ShellFolderId, (void **)&drives)) &&
        drives) {
        result = QueryIconInFolder(drives, allocator, root, location, capacity);
        drives->Release();
    }
    allocator->Free(drivesList);
    desktop->Release();
    allocator->Release();
    return result;
}

void InvalidateMyComputer(void)
{
    IShellFolder *desktop = NULL;
    if (FAILED(SHGetDesktopFolder(&desktop)) || !desktop)
        return;
    LPITEMIDLIST drivesList = NULL;
    if (FAILED(SHGetSpecialFolderLocation(NULL, CSIDL_DRIVES, &drivesList)) || !drivesList) {
        desktop->Release();
        return;
    }
    IShellFolder *drives = NULL;
    if (SUCCEEDED(desktop->BindToObject(drivesList, NULL, ShellFolderId, (void **)&drives)) &&
        drives) {
        ULONG attributes = SFGAO_VALIDATE;
        drives->GetAttributesOf(0, NULL, &attributes);
        drives->Release();
    }
    IMalloc *allocator = NULL;
    if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator) {
        allocator->Free(drivesList);
        allocator->Release();
    }
    desktop->Release();
}

void UpdateShellImage(const char *location, int iconIndex, int imageIndex)
{
    if (!location || !location[0])
        return;
    HMODULE shell = LoadLibraryA("shell32.dll");
    if (!shell)
        return;
    // Bound at run time: the name is not exported by every shell version,
    // the ordinal is.
    UpdateImageEntry entry = FindUpdateImage(shell, "SHUpdateImageA");
    if (!entry)
        entry = FindUpdateImage(shell, MAKEINTRESOURCEA(191));
    if (entry) {
        char name[ShellImageNameSize];
        ShellImageFileName(location, name, sizeof(name));
        entry(name, iconIndex, 0, imageIndex);
    }
    FreeLibrary(shell);
}
