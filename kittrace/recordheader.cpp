#include "recordheader.h"
#include <windows.h>
#include "programinfo.h"

// The width of Windows, 32 or 64. A 32-bit program asks whether it runs
// there as a 32-bit one; the call came with XP's second service pack and is
// missing before, on Windows that are 32-bit.
static unsigned WindowsWidth(void)
{
#ifdef _WIN64
    return 64;
#else
    typedef BOOL(WINAPI * IsWow64Entry)(HANDLE, PBOOL);
    IsWow64Entry isWow64 = (IsWow64Entry)(void (*)(void))GetProcAddress(
        GetModuleHandleA("kernel32"), "IsWow64Process");
    BOOL wow64 = FALSE;
    return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64 ? 64 : 32;
#endif
}

// The built-in Administrators group, S-1-5-32-544, in a SID's own layout:
// revision 1, two sub-authorities, authority 5 (NT, big-endian), then the
// sub-authorities 32 and 544 (little-endian).
static const BYTE Administrators[16] __attribute__((aligned(4))) = {
    1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0};

// Whether the account is an administrator ("" or "not an " before
// "administrator") and, from Vista on, whether it runs raised (after it).
// There an administrator that is not raised holds the group only to deny
// with, which the membership check does not count: the token's elevation
// type tells it instead.
static void AccountRights(DWORD major, const char **notAn, const char **raised)
{
    BOOL member = FALSE;
    if (!CheckTokenMembership(NULL, (PSID)Administrators, &member))
        member = FALSE;
    *raised = "";
    HANDLE token;
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    TOKEN_ELEVATION elevation = {0};
    DWORD size;
    if (major >= 6 && OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        if (!GetTokenInformation(token, TokenElevationType, &type, sizeof(type), &size))
            type = TokenElevationTypeDefault;
        if (!GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size))
            elevation.TokenIsElevated = 0;
        CloseHandle(token);
        *raised = elevation.TokenIsElevated ? ", raised" : ", not raised";
    }
    *notAn = member || type == TokenElevationTypeLimited ? "" : "not an ";
}

unsigned FormatRecordHeader(char *out)
{
    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExA(&version);
    SYSTEMTIME now;
    GetLocalTime(&now);
    unsigned width = WindowsWidth();
    const char *notAn, *raised;
    AccountRights(version.dwMajorVersion, &notAn, &raised);
    return wsprintfA(out, "Card Reader Kit " KIT_VERSION_TEXT
                          " trace of %04u-%02u-%02u %02u:%02u:%02u, Windows %lu.%lu "
                          "(build %lu%s%s), %u-bit; account: %sadministrator%s\r\n",
                     now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                     version.dwMajorVersion, version.dwMinorVersion,
                     version.dwBuildNumber & 0xFFFF, version.szCSDVersion[0] ? ", " : "",
                     version.szCSDVersion, width, notAn, raised);
}
