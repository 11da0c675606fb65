// The build setting RebindVariant picks what the re-binder hands to the
// installation: the INF path and whether the installation is forced.
#ifndef REBINDVARIANT_H
#define REBINDVARIANT_H

#define InfFolder 1 // <Windows>\inf\<name from the command line>, forced
#define OemFolder 2 // "OEMDRVRS\zelmot.inf", forced
#define BareName 3  // "zelmot.inf", not forced

#ifndef RebindVariant
#error "the build must set RebindVariant to InfFolder, OemFolder or BareName"
#endif

// The file name of each build, which starts its trace lines.
#define RebindProgramName                                                                  \
    (RebindVariant == InfFolder ? "vorbind"                                                \
                                : RebindVariant == OemFolder ? "vorbind-oem" : "vorbind-bare")

// Only InfFolder passes the command line's INF name on. The other builds
// ignore it, so its length must not stop them.
#define RebindUsesInfName (RebindVariant == InfFolder)

#endif
