// The resources of every program, read from outside: each exe is loaded as
// a data file and its string table, menu, accelerators, About dialog,
// icons and version are checked, all under language 1028 and one copy of
// each; and its manifest, in the form every Windows from 2000 on loads.
// Every program's header, kittrace's too, says it is terminal-server aware.
#include "harness.h"
#include <string.h>

static const WORD Lang1028 = 1028;

struct ProgramInfo {
    const char *exe;
    const char *title;
    const char *className;
    bool icons;
};

static const ProgramInfo Programs[] = {
    {"tavlix.exe", "tavlix", "TAVLIX", true},
    {"morvex.exe", "morvex", "MORVEX", false},
    {"vorbind.exe", "vorbind", "VORBIND", true},
    {"vorbind-oem.exe", "vorbind", "VORBIND", true},
    {"vorbind-bare.exe", "vorbind", "VORBIND", true},
};

static BOOL CALLBACK CountLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param)
{
    std::vector<WORD> *languages = (std::vector<WORD> *)param;
    languages->push_back(language);
    return TRUE;
}

// Exactly one copy of the resource, in language 1028.
static const BYTE *OnlyResource(HMODULE module, LPCSTR type, WORD name, DWORD *size,
                                const char *what)
{
    std::vector<WORD> languages;
    EnumResourceLanguagesA(module, type, MAKEINTRESOURCEA(name), CountLanguage,
                           (LONG_PTR)&languages);
    ok(languages.size() == 1 && languages[0] == Lang1028, "%s: %u copies, first language %u", what,
       (unsigned)languages.size(), languages.empty() ? 0u : languages[0]);
    HRSRC found = FindResourceExA(module, type, MAKEINTRESOURCEA(name), Lang1028);
    if (!found)
        return NULL;
    *size = SizeofResource(module, found);
    return (const BYTE *)LockResource(LoadResource(module, found));
}

static BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR param)
{
    std::vector<WORD> *names = (std::vector<WORD> *)param;
    names->push_back(IS_INTRESOURCE(name) ? (WORD)(ULONG_PTR)name : 0xFFFF);
    return TRUE;
}

static std::vector<WORD> NamesOf(HMODULE module, LPCSTR type)
{
    std::vector<WORD> names;
    EnumResourceNamesA(module, type, CollectName, (LONG_PTR)&names);
    return names;
}

static BOOL CALLBACK CollectType(HMODULE, LPSTR type, LONG_PTR param)
{
    std::vector<WORD> *types = (std::vector<WORD> *)param;
    types->push_back(IS_INTRESOURCE(type) ? (WORD)(ULONG_PTR)type : 0xFFFF);
    return TRUE;
}

static void CheckInventory(HMODULE module, const ProgramInfo &p)
{
    std::vector<WORD> types;
    EnumResourceTypesA(module, CollectType, (LONG_PTR)&types);
    std::vector<WORD> expected = {(WORD)(ULONG_PTR)RT_MENU, (WORD)(ULONG_PTR)RT_DIALOG,
                                  (WORD)(ULONG_PTR)RT_STRING, (WORD)(ULONG_PTR)RT_ACCELERATOR,
                                  (WORD)(ULONG_PTR)RT_VERSION, (WORD)(ULONG_PTR)RT_MANIFEST};
    if (p.icons) {
        expected.push_back((WORD)(ULONG_PTR)RT_ICON);
        expected.push_back((WORD)(ULONG_PTR)RT_GROUP_ICON);
    }
    ok(types.size() == expected.size(), "%s: %u resource types, want %u", p.exe,
       (unsigned)types.size(), (unsigned)expected.size());
    for (WORD want : expected) {
        bool present = false;
        for (WORD t : types)
            present = present || t == want;
        ok(present, "%s: resource type %u missing", p.exe, want);
    }
    ok(NamesOf(module, RT_MENU) == std::vector<WORD>{109}, "%s: one menu, 109", p.exe);
    ok(NamesOf(module, RT_ACCELERATOR) == std::vector<WORD>{109}, "%s: one accelerator table", p.exe);
    ok(NamesOf(module, RT_DIALOG) == std::vector<WORD>{103}, "%s: one dialog, 103", p.exe);
    if (p.icons)
        ok(NamesOf(module, RT_GROUP_ICON) == (std::vector<WORD>{107, 108}), "%s: icons 107, 108",
           p.exe);
}

static std::string StringResource(HMODULE module, UINT id)
{
    DWORD size = 0;
    char what[64];
    snprintf(what, sizeof(what), "string block of %u", id);
    const BYTE *block = OnlyResource(module, RT_STRING, (WORD)(id / 16 + 1), &size, what);
    if (!block)
        return "(missing)";
    const WCHAR *p = (const WCHAR *)block;
    for (UINT i = 0; i < id % 16; i++)
        p += 1 + *p;
    std::string text;
    for (WORD i = 0; i < p[0]; i++)
        text += (char)p[1 + i];
    return text;
}

static void CheckStrings(HMODULE module, const ProgramInfo &p)
{
    ok(StringResource(module, 103) == p.title, "%s: string 103 '%s'", p.exe,
       StringResource(module, 103).c_str());
    ok(StringResource(module, 106) == "Hello World!", "%s: string 106", p.exe);
    ok(StringResource(module, 109) == p.className, "%s: string 109 '%s'", p.exe,
       StringResource(module, 109).c_str());
}

static std::string MenuText(HMENU menu, UINT position)
{
    char text[64] = "";
    GetMenuStringA(menu, position, text, sizeof(text), MF_BYPOSITION);
    return text;
}

static void CheckMenu(HMODULE module, const ProgramInfo &p)
{
    DWORD size;
    OnlyResource(module, RT_MENU, 109, &size, "menu 109");
    HMENU menu = LoadMenuA(module, MAKEINTRESOURCEA(109));
    ok(menu != NULL, "%s: menu loads", p.exe);
    if (!menu)
        return;
    ok(GetMenuItemCount(menu) == 2, "%s: %d drop-down menus", p.exe, GetMenuItemCount(menu));
    ok(MenuText(menu, 0) == "&File" && MenuText(menu, 1) == "&Help", "%s: menu titles", p.exe);
    HMENU file = GetSubMenu(menu, 0);
    HMENU help = GetSubMenu(menu, 1);
    ok(file && GetMenuItemCount(file) == 1 && GetMenuItemID(file, 0) == 105 &&
           MenuText(file, 0) == "E&xit",
       "%s: File holds E&xit (105) only", p.exe);
    ok(help && GetMenuItemCount(help) == 1 && GetMenuItemID(help, 0) == 104 &&
           MenuText(help, 0) == "&About ...",
       "%s: Help holds &About ... (104) only", p.exe);
    DestroyMenu(menu);
}

static void CheckAccelerators(HMODULE module, const ProgramInfo &p)
{
    DWORD size = 0;
    const BYTE *data = OnlyResource(module, RT_ACCELERATOR, 109, &size, "accelerators 109");
    // Resource layout: fFlags, wAscii, wId, padding; 8 bytes each.
    ok(data && size == 16, "%s: two accelerator entries (%lu bytes)", p.exe, size);
    if (!data || size != 16)
        return;
    const WORD *e = (const WORD *)data;
    ok((e[0] & 0x7F) == FALT && e[1] == '?' && e[2] == 104, "%s: Alt+? -> 104 (flags %#x)",
       p.exe, e[0]);
    ok((e[4] & 0x7F) == FALT && e[5] == '/' && e[6] == 104, "%s: Alt+/ -> 104 (flags %#x)",
       p.exe, e[4]);
    ok(e[4] & 0x80, "%s: the last entry is marked last", p.exe);
}

// Reads a sz_Or_Ord field of a dialog template.
static const WORD *ReadField(const WORD *p, std::string *text, WORD *ordinal)
{
    text->clear();
    *ordinal = 0;
    if (*p == 0xFFFF) {
        *ordinal = p[1];
        return p + 2;
    }
    while (*p)
        *text += (char)*p++;
    return p + 1;
}

struct DialogItem {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    WORD classAtom;
    std::string text;
    WORD textOrdinal;
};

// The four controls that follow the dialog's header at w.
static void CheckDialogItems(const WORD *w, WORD count, const ProgramInfo &p)
{
    std::string aboutLine = std::string(p.title) + " Version 1.0";
    const DialogItem want[4] = {
        {WS_CHILD | WS_VISIBLE | SS_ICON, 14, 9, 16, 16, 2, 0x82, "", 107},
        {WS_CHILD | WS_VISIBLE | WS_GROUP | SS_NOPREFIX, 49, 10, 119, 8, 0xFFFF, 0x82, aboutLine, 0},
        {WS_CHILD | WS_VISIBLE | WS_GROUP, 49, 20, 119, 8, 0xFFFF, 0x82, "", 0},
        {WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON, 195, 6, 30, 11, 1, 0x80,
         "OK", 0},
    };
    for (int i = 0; i < 4 && i < count; i++) {
        w = (const WORD *)(((ULONG_PTR)w + 3) & ~(ULONG_PTR)3);
        const DLGITEMTEMPLATE *item = (const DLGITEMTEMPLATE *)w;
        w = (const WORD *)(item + 1);
        std::string className;
        std::string text;
        WORD atom;
        WORD ordinal;
        w = ReadField(w, &className, &atom);
        w = ReadField(w, &text, &ordinal);
        WORD extra = *w++;
        w = (const WORD *)((const BYTE *)w + extra);
        ok(item->style == want[i].style, "%s: control %d style %#lx, want %#lx", p.exe, i + 1,
           item->style, want[i].style);
        ok(item->x == want[i].x && item->y == want[i].y && item->cx == want[i].cx &&
               item->cy == want[i].cy,
           "%s: control %d at %d,%d size %d x %d", p.exe, i + 1, item->x, item->y, item->cx,
           item->cy);
        // The class may be stored as its atom or as its name.
        const char *classWanted = want[i].classAtom == 0x80 ? "BUTTON" : "STATIC";
        bool classOk = atom == want[i].classAtom || lstrcmpiA(className.c_str(), classWanted) == 0;
        ok(item->id == want[i].id && classOk, "%s: control %d id %u class %#x '%s'", p.exe, i + 1,
           item->id, atom, className.c_str());
        if (i == 2)
            ok(!text.empty(), "%s: a second line of text", p.exe);
        else
            ok(text == want[i].text && ordinal == want[i].textOrdinal,
               "%s: control %d text '%s' / %u", p.exe, i + 1, text.c_str(), ordinal);
    }
}

static void CheckDialog(HMODULE module, const ProgramInfo &p)
{
    DWORD size = 0;
    const BYTE *data = OnlyResource(module, RT_DIALOG, 103, &size, "dialog 103");
    if (!data)
        return;
    const DLGTEMPLATE *dialog = (const DLGTEMPLATE *)data;
    ok(dialog->style == (DS_MODALFRAME | DS_SETFONT | WS_CAPTION | WS_SYSMENU),
       "%s: dialog style %#lx", p.exe, dialog->style);
    ok(dialog->dwExtendedStyle == 0 && dialog->cdit == 4, "%s: %u controls", p.exe, dialog->cdit);
    ok(dialog->x == 22 && dialog->y == 17 && dialog->cx == 230 && dialog->cy == 75,
       "%s: dialog at %d,%d size %d x %d", p.exe, dialog->x, dialog->y, dialog->cx, dialog->cy);
    const WORD *w = (const WORD *)(dialog + 1);
    std::string text;
    WORD ordinal;
    w = ReadField(w, &text, &ordinal);
    ok(text.empty() && ordinal == 0, "%s: no menu", p.exe);
    w = ReadField(w, &text, &ordinal);
    ok(text.empty() && ordinal == 0, "%s: default dialog class", p.exe);
    w = ReadField(w, &text, &ordinal);
    ok(text == "About", "%s: caption '%s'", p.exe, text.c_str());
    WORD points = *w++;
    w = ReadField(w, &text, &ordinal);
    ok(points == 8 && text == "System", "%s: font %u '%s'", p.exe, points, text.c_str());
    CheckDialogItems(w, dialog->cdit, p);
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colors, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

static void CheckIconGroup(HMODULE module, const ProgramInfo &p, WORD group,
                           std::vector<int> sizes)
{
    DWORD size = 0;
    char what[32];
    snprintf(what, sizeof(what), "icon group %u", group);
    const BYTE *data = OnlyResource(module, RT_GROUP_ICON, group, &size, what);
    if (!data)
        return;
    const WORD *header = (const WORD *)data;
    ok(header[1] == 1 && header[2] == sizes.size(), "%s: icon %u holds %u images", p.exe, group,
       header[2]);
    const GroupIconEntry *entry = (const GroupIconEntry *)(header + 3);
    for (size_t i = 0; i < sizes.size() && i < header[2]; i++) {
        ok(entry[i].width == sizes[i] && entry[i].height == sizes[i] && entry[i].colors == 16 &&
               entry[i].bitCount == 4,
           "%s: icon %u image %u: %u x %u, %u colours, %u bits", p.exe, group, (unsigned)i,
           entry[i].width, entry[i].height, entry[i].colors, entry[i].bitCount);
        DWORD imageSize = 0;
        ok(OnlyResource(module, RT_ICON, entry[i].id, &imageSize, "icon image") != NULL &&
               imageSize == entry[i].bytes,
           "%s: icon image %u present", p.exe, entry[i].id);
    }
}

static std::string VersionText(const std::vector<BYTE> &info, const char *name)
{
    char path[96];
    snprintf(path, sizeof(path), "\\StringFileInfo\\040404B0\\%s", name);
    char *text = NULL;
    UINT length = 0;
    if (!VerQueryValueA(info.data(), path, (void **)&text, &length) || !text)
        return "";
    return std::string(text, strnlen(text, length));
}

// The kit's version, as the build sets it, in what Explorer's Properties
// and the Add/Remove Programs entry show.
static void CheckVersion(HMODULE module, const ProgramInfo &p)
{
    DWORD size = 0;
    OnlyResource(module, RT_VERSION, 1, &size, "version 1");
    std::string path = KitProgramPath(p.exe);
    DWORD handle = 0;
    std::vector<BYTE> info(GetFileVersionInfoSizeA(path.c_str(), &handle) + 1);
    ok(info.size() > 1 && GetFileVersionInfoA(path.c_str(), 0, (DWORD)info.size(), info.data()),
       "%s: no version information", p.exe);
    if (info.size() <= 1)
        return;
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT length = 0;
    ok(VerQueryValueA(info.data(), "\\", (void **)&fixed, &length) && fixed &&
           fixed->dwSignature == VS_FFI_SIGNATURE,
       "%s: no fixed version", p.exe);
    if (fixed) {
        char numbers[64];
        snprintf(numbers, sizeof(numbers), "%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
                 LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS));
        ok(strcmp(numbers, KIT_VERSION) == 0 && fixed->dwProductVersionMS == fixed->dwFileVersionMS &&
               fixed->dwProductVersionLS == fixed->dwFileVersionLS,
           "%s: file version %s, want %s", p.exe, numbers, KIT_VERSION);
    }
    WORD *translation = NULL;
    ok(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", (void **)&translation,
                      &length) &&
           length >= 4 && translation[0] == Lang1028,
       "%s: version text not in language 1028", p.exe);
    ok(VersionText(info, "FileVersion") == KIT_VERSION &&
           VersionText(info, "ProductVersion") == KIT_VERSION,
       "%s: version text %s", p.exe, VersionText(info, "FileVersion").c_str());
    ok(VersionText(info, "ProductName") == "Card Reader Kit", "%s: product name %s", p.exe,
       VersionText(info, "ProductName").c_str());
    ok(VersionText(info, "FileDescription").find("Card Reader Kit") == 0,
       "%s: description %s", p.exe, VersionText(info, "FileDescription").c_str());
}

// Each element's start tag in the manifest, whole, in order.
static std::vector<std::string> StartTags(const std::string &xml)
{
    std::vector<std::string> tags;
    for (size_t at = xml.find('<'); at != std::string::npos; at = xml.find('<', at + 1))
        if (xml[at + 1] != '/' && xml[at + 1] != '?' && xml[at + 1] != '!')
            tags.push_back(xml.substr(at, xml.find('>', at) + 1 - at));
    return tags;
}

static size_t Count(const std::string &text, const std::string &part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        n++;
    return n;
}

// The manifest: resource 1 of type 24, language-neutral. On XP before SP3
// trustInfo must stand in its own namespace (asm.v1 refuses to start the
// program), and SP2 may restart on an element that declares its namespace
// twice; Wine's own parser (an activation context made from the program)
// must find asInvoker and the five supported versions in it.
static void CheckManifest(HMODULE module, const ProgramInfo &p)
{
    std::vector<WORD> languages;
    EnumResourceLanguagesA(module, RT_MANIFEST, MAKEINTRESOURCEA(1), CountLanguage,
                           (LONG_PTR)&languages);
    ok(NamesOf(module, RT_MANIFEST) == std::vector<WORD>{1} &&
           languages == std::vector<WORD>{LANG_NEUTRAL},
       "%s: manifest not one resource 1, language-neutral", p.exe);
    HRSRC found = FindResourceExA(module, RT_MANIFEST, MAKEINTRESOURCEA(1), LANG_NEUTRAL);
    const char *data = found ? (const char *)LockResource(LoadResource(module, found)) : NULL;
    std::string xml = data ? std::string(data, SizeofResource(module, found)) : "";
    for (const std::string &tag : StartTags(xml))
        ok(Count(tag, " xmlns") <= 1, "%s: %s declares more than one namespace", p.exe, tag.c_str());
    ok(Count(xml, "<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">") == 1 &&
           Count(xml, "asm.v3") == 1 && Count(xml, "asm.v2") == 0,
       "%s: trustInfo not once, in its own namespace declared once", p.exe);
    const char *arch = sizeof(void *) == 8 ? "processorArchitecture=\"amd64\""
                                            : "processorArchitecture=\"x86\"";
    ok(Count(xml, arch) == 1, "%s: manifest not for this build (%s)", p.exe, arch);

    ACTCTXA context = {};
    context.cbSize = sizeof(context);
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    std::string path = KitProgramPath(p.exe);
    context.lpSource = path.c_str();
    context.lpResourceName = MAKEINTRESOURCEA(1);
    HANDLE actctx = CreateActCtxA(&context);
    ok(actctx != INVALID_HANDLE_VALUE, "%s: the manifest does not load: error %lu", p.exe,
       GetLastError());
    if (actctx == INVALID_HANDLE_VALUE)
        return;
    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level = {};
    ok(QueryActCtxW(0, actctx, NULL, RunlevelInformationInActivationContext, &level,
                    sizeof(level), NULL) &&
           level.RunLevel == ACTCTX_RUN_LEVEL_AS_INVOKER,
       "%s: run level %d, want asInvoker", p.exe, (int)level.RunLevel);
    union {
        ACTIVATION_CONTEXT_COMPATIBILITY_INFORMATION info;
        BYTE bytes[sizeof(DWORD) * 2 + 16 * sizeof(COMPATIBILITY_CONTEXT_ELEMENT)];
    } compatibility = {};
    ok(QueryActCtxW(0, actctx, NULL, CompatibilityInformationInActivationContext,
                    &compatibility, sizeof(compatibility), NULL) &&
           compatibility.info.ElementCount == 5,
       "%s: %lu supported versions, want Vista, 7, 8, 8.1 and 10", p.exe,
       compatibility.info.ElementCount);
    ReleaseActCtx(actctx);
}

static void test_resources(void)
{
    for (const ProgramInfo &p : Programs) {
        HMODULE module = LoadLibraryExA(KitProgramPath(p.exe).c_str(), NULL,
                                        LOAD_LIBRARY_AS_DATAFILE);
        ok(module != NULL, "%s loads as a data file: error %lu", p.exe, GetLastError());
        if (!module)
            continue;
        CheckInventory(module, p);
        CheckStrings(module, p);
        CheckMenu(module, p);
        CheckAccelerators(module, p);
        CheckDialog(module, p);
        CheckVersion(module, p);
        CheckManifest(module, p);
        if (p.icons) {
            CheckIconGroup(module, p, 107, {32, 16});
            CheckIconGroup(module, p, 108, {16});
        }
        FreeLibrary(module);
    }
}

// Every program of the kit, with the window shell or without.
static const char *const ProgramFiles[] = {"tavlix.exe",      "morvex.exe",       "vorbind.exe",
                                           "vorbind-oem.exe", "vorbind-bare.exe", "kittrace.exe"};

// The DLL characteristics of the image's optional header (the same place in
// both builds' headers); 0 when the file is no image of this build.
static WORD DllCharacteristicsOf(const std::string &image)
{
    if (image.size() < sizeof(IMAGE_DOS_HEADER))
        return 0;
    const IMAGE_DOS_HEADER *dos = (const IMAGE_DOS_HEADER *)image.data();
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew <= 0 ||
        (size_t)dos->e_lfanew + sizeof(IMAGE_NT_HEADERS) > image.size())
        return 0;
    const IMAGE_NT_HEADERS *nt = (const IMAGE_NT_HEADERS *)(image.data() + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE ||
        nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR_MAGIC)
        return 0;
    return nt->OptionalHeader.DllCharacteristics;
}

// On a terminal server in application mode, a program without the flag gets
// a per-user Windows folder, where neither the card icons nor the reader's
// driver lie.
static void test_terminal_server_aware(void)
{
    for (const char *exe : ProgramFiles) {
        WORD flags = DllCharacteristicsOf(ReadWholeFile(KitProgramPath(exe)));
        ok((flags & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE) != 0,
           "%s: not terminal-server aware (DLL characteristics %#x)", exe, flags);
    }
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    RUN_TEST(test_resources);
    RUN_TEST(test_terminal_server_aware);
    return FinishTests();
}
