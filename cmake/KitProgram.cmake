# How a program of the kit is built: freestanding (no C runtime), GUI
# subsystem, PE version 5.0 so Windows 2000 loads it, the shell's resources
# compiled for the program. Optimised for size across the whole program at
# link time, so that the manifest and the per-user icons fit the size
# targets; the libraries also carry plain code, which the Wine tests link.

set(KIT_COMPILE_OPTIONS
    -Os -Wall -Wextra -Werror
    -fno-exceptions -fno-rtti -fno-threadsafe-statics
    -fno-asynchronous-unwind-tables -fno-unwind-tables
    -fno-stack-protector -ffunction-sections
    -flto -ffat-lto-objects)

# Terminal-server aware: on a terminal server in application mode the
# programs see the machine's Windows folder, not a per-user copy, which
# holds neither the card icons nor the reader's driver. Windows 2000
# (before its Terminal Server edition) ignores the flag.
set(KIT_LINK_OPTIONS
    -nostdlib -mwindows -s -Os -flto
    -Wl,--gc-sections -Wl,--tsaware
    -Wl,--major-os-version,5,--minor-os-version,0
    -Wl,--major-subsystem-version,5,--minor-subsystem-version,0
    -Wl,--no-insert-timestamp -Wl,--fatal-warnings)

# The 32-bit programs are for Windows 2000 and XP, which load every program
# at its own base address: relocations would only take room there, and the
# size targets have none to spare. The 64-bit ones keep theirs.
if(KIT_ARCH STREQUAL "i686")
    list(APPEND KIT_LINK_OPTIONS -Wl,--disable-dynamicbase,--disable-reloc-section)
endif()

set(KIT_SYSTEM_LIBRARIES kernel32 user32 advapi32 setupapi newdev shell32 gcc)

# The Windows headers the kit's code reads first, parsed once for all of
# its libraries and programs (they are compiled with the same options).
file(WRITE ${PROJECT_BINARY_DIR}/kitpch.cpp "// the kit's precompiled headers\n")
add_library(kitpch OBJECT ${PROJECT_BINARY_DIR}/kitpch.cpp)
target_compile_options(kitpch PRIVATE ${KIT_COMPILE_OPTIONS})
target_precompile_headers(kitpch PRIVATE <windows.h>)
function(kit_use_pch target)
    target_precompile_headers(${target} REUSE_FROM kitpch)
endfunction()

# Bounded text helpers: linked by the programs and by the Wine tests that
# exercise program code directly.
add_library(kittext STATIC ${PROJECT_SOURCE_DIR}/shell/asciitext.cpp
    ${PROJECT_SOURCE_DIR}/shell/unitmask.cpp)
target_include_directories(kittext PUBLIC ${PROJECT_SOURCE_DIR}/shell)
target_compile_options(kittext PRIVATE ${KIT_COMPILE_OPTIONS})

# The trace: linked by the programs' code and by the Wine tests that call
# that code directly.
add_library(kittrace STATIC
    ${PROJECT_SOURCE_DIR}/shell/trace.cpp
    ${PROJECT_SOURCE_DIR}/shell/tracequeue.cpp
    ${PROJECT_SOURCE_DIR}/shell/tracehandover.cpp
    ${PROJECT_SOURCE_DIR}/shell/errortext.cpp
    ${PROJECT_SOURCE_DIR}/shell/lock.cpp)
target_include_directories(kittrace PUBLIC ${PROJECT_SOURCE_DIR}/shell)
target_compile_options(kittrace PRIVATE ${KIT_COMPILE_OPTIONS})
kit_use_pch(kittrace)
target_link_libraries(kittrace PUBLIC kittext)

# The driver installation request of morvex and vorbind. tavlix does not
# link it, so it never imports the new-device library.
add_library(kitinstall STATIC ${PROJECT_SOURCE_DIR}/shell/driverinstall.cpp)
target_include_directories(kitinstall PUBLIC ${PROJECT_SOURCE_DIR}/shell)
target_compile_options(kitinstall PRIVATE ${KIT_COMPILE_OPTIONS})
kit_use_pch(kitinstall)
target_link_libraries(kitinstall PUBLIC kittrace newdev)

# Sources of the shell that every program links.
add_library(kitshell STATIC
    ${PROJECT_SOURCE_DIR}/shell/shell.cpp
    ${PROJECT_SOURCE_DIR}/shell/windowsfolder.cpp
    ${PROJECT_SOURCE_DIR}/shell/freestanding.cpp
    ${PROJECT_SOURCE_DIR}/shell/commandline.cpp)
target_include_directories(kitshell PUBLIC ${PROJECT_SOURCE_DIR}/shell)
target_compile_options(kitshell PRIVATE ${KIT_COMPILE_OPTIONS})
kit_use_pch(kitshell)
target_link_libraries(kitshell PUBLIC kittext kittrace)

# A program's own code as a library, so the Wine tests can call it directly:
# kit_add_core(<name> sources...)
function(kit_add_core name)
    add_library(${name} STATIC ${ARGN})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/shell)
    target_compile_options(${name} PRIVATE ${KIT_COMPILE_OPTIONS})
    kit_use_pch(${name})
    target_link_libraries(${name} PUBLIC kittext kittrace)
endfunction()

# Program icons, made from the pixel maps under shell/icons.
set(KIT_ICON_DIR ${PROJECT_BINARY_DIR}/icons)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
function(kit_make_icon output)
    set(maps ${ARGN})
    list(TRANSFORM maps PREPEND ${PROJECT_SOURCE_DIR}/shell/icons/)
    add_custom_command(OUTPUT ${KIT_ICON_DIR}/${output}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${KIT_ICON_DIR}
        COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/icongen.py
                ico ${KIT_ICON_DIR}/${output} ${maps}
        DEPENDS ${PROJECT_SOURCE_DIR}/tools/icongen.py ${maps}
        VERBATIM)
endfunction()
kit_make_icon(app.ico app32.txt app16.txt)
kit_make_icon(small.ico small16.txt)
# The program icon's large image alone, for kittrace's 12 KiB.
kit_make_icon(app32.ico app32.txt)
add_custom_target(kiticons DEPENDS ${KIT_ICON_DIR}/app.ico ${KIT_ICON_DIR}/small.ico
    ${KIT_ICON_DIR}/app32.ico)

# The program's manifest (shell/program.manifest.in) into output, squeezed:
# its comments (which hold no '>') and the blanks between tags go, as every
# byte counts against the programs' sizes. Written only when it changed.
function(kit_make_manifest name output)
    set(KIT_MANIFEST_NAME ${name})
    if(KIT_ARCH STREQUAL "x86_64")
        set(KIT_MANIFEST_ARCH amd64)
    else()
        set(KIT_MANIFEST_ARCH x86)
    endif()
    file(READ ${PROJECT_SOURCE_DIR}/shell/program.manifest.in text)
    string(REGEX REPLACE "<!--[^>]*-->" "" text "${text}")
    string(REGEX REPLACE ">[ \t\r\n]+" ">" text "${text}")
    string(REGEX REPLACE "[ \t\r\n]+" " " text "${text}")
    string(STRIP "${text}" text)
    file(CONFIGURE OUTPUT ${output} CONTENT "${text}" @ONLY)
endfunction()

# kit_add_program(<target> TITLE <t> CLASS <c> DESCRIPTION <d> [NO_ICONS]
#                 [OUTPUT_NAME <n>] [RESOURCE_FILE <rc>] SOURCES ... [LIBS ...]
#                 [DEFINITIONS ...])
# RESOURCE_FILE replaces the shell's resources (shell/shell.rc) for a
# program without the window shell; it includes programinfo.h as they do.
function(kit_add_program target)
    cmake_parse_arguments(P "NO_ICONS" "TITLE;CLASS;DESCRIPTION;OUTPUT_NAME;RESOURCE_FILE"
        "SOURCES;LIBS;DEFINITIONS" ${ARGN})
    set(rc ${PROJECT_SOURCE_DIR}/shell/shell.rc)
    if(P_RESOURCE_FILE)
        set(rc ${P_RESOURCE_FILE})
    endif()
    set(manifest_name ${target})
    if(P_OUTPUT_NAME)
        set(manifest_name ${P_OUTPUT_NAME})
    endif()
    set(KIT_TITLE ${P_TITLE})
    set(KIT_CLASS ${P_CLASS})
    set(KIT_DESCRIPTION ${P_DESCRIPTION})
    if(P_NO_ICONS)
        set(PROGRAM_HAS_ICONS 0)
    else()
        set(PROGRAM_HAS_ICONS 1)
    endif()
    set(KIT_ICON_LARGE ${KIT_ICON_DIR}/app.ico)
    set(KIT_ICON_SMALL ${KIT_ICON_DIR}/small.ico)
    set(infodir ${CMAKE_CURRENT_BINARY_DIR}/${target}-info)
    set(KIT_MANIFEST_FILE ${infodir}/program.manifest)
    kit_make_manifest(${manifest_name} ${KIT_MANIFEST_FILE})
    configure_file(${PROJECT_SOURCE_DIR}/shell/programinfo.h.in ${infodir}/programinfo.h)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
        ${PROJECT_SOURCE_DIR}/shell/program.manifest.in)

    # The entry point is compiled into the program itself: from an archive
    # the linker would not pull it in and would start at the wrong place.
    add_executable(${target} WIN32 ${P_SOURCES} ${PROJECT_SOURCE_DIR}/shell/entry.cpp ${rc})
    set(rc_depends ${KIT_MANIFEST_FILE})
    if(NOT P_NO_ICONS)
        list(APPEND rc_depends ${KIT_ICON_DIR}/app.ico ${KIT_ICON_DIR}/small.ico)
        add_dependencies(${target} kiticons)
    endif()
    set_source_files_properties(${rc} TARGET_DIRECTORY ${target}
        PROPERTIES OBJECT_DEPENDS "${rc_depends}")
    target_include_directories(${target} PRIVATE ${infodir} ${PROJECT_SOURCE_DIR}/shell)
    target_compile_definitions(${target} PRIVATE ${P_DEFINITIONS})
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${KIT_COMPILE_OPTIONS}>)
    kit_use_pch(${target})
    target_link_options(${target} PRIVATE ${KIT_LINK_OPTIONS})
    # The program's own libraries come before the system ones they call.
    target_link_libraries(${target} PRIVATE ${P_LIBS} kitshell kittext kittrace ${KIT_SYSTEM_LIBRARIES})
    if(P_OUTPUT_NAME)
        set_target_properties(${target} PROPERTIES OUTPUT_NAME ${P_OUTPUT_NAME})
    endif()
    set_target_properties(${target} PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
endfunction()
