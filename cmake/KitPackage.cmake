# The kit as a user gets it: the card-slot icons that tavlix points at, and
# the `package` target, which assembles package/cardkit-<arch>/ (programs,
# card icons, install.inf, readme.txt) and cardkit-<arch>.zip beside it.

# Card-slot icons, installed into the Windows directory under the names of
# tavlix's default icon table.
set(KIT_CARD_ICONS)
foreach(kind cf sd sm ms combo)
    kit_make_icon(${kind}ico.ico cards/${kind}32.txt cards/${kind}16.txt)
    list(APPEND KIT_CARD_ICONS ${KIT_ICON_DIR}/${kind}ico.ico)
endforeach()
add_custom_target(cardicons ALL DEPENDS ${KIT_CARD_ICONS})

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "AMD64")
    set(KIT_PACKAGE_NAME cardkit-win64)
else()
    set(KIT_PACKAGE_NAME cardkit-win32)
endif()
set(KIT_PACKAGE_ROOT ${PROJECT_BINARY_DIR}/package)
set(KIT_PACKAGE_PROGRAMS tavlix morvex vorbind vorbind-oem vorbind-bare)

# The texts are read with Notepad: CRLF line ends whatever the checkout has.
set(KIT_PACKAGE_TEXTS)
foreach(text install.inf readme.txt)
    configure_file(${PROJECT_SOURCE_DIR}/package/${text}
        ${PROJECT_BINARY_DIR}/package-texts/${text} @ONLY NEWLINE_STYLE CRLF)
    list(APPEND KIT_PACKAGE_TEXTS ${PROJECT_BINARY_DIR}/package-texts/${text})
endforeach()

# Defined once the whole tree is read, when every program target exists. A
# program whose folder is not in the tree yet is left out, with a warning.
function(kit_add_package)
    set(programs)
    set(files)
    foreach(program ${KIT_PACKAGE_PROGRAMS})
        if(TARGET ${program})
            list(APPEND programs ${program})
            list(APPEND files ${PROJECT_BINARY_DIR}/bin/${program}.exe)
        else()
            message(WARNING "package: ${program} is not built by this tree; left out")
        endif()
    endforeach()
    find_program(KIT_ZIP zip REQUIRED)
    set(dir ${KIT_PACKAGE_ROOT}/${KIT_PACKAGE_NAME})
    set(zip ${KIT_PACKAGE_ROOT}/${KIT_PACKAGE_NAME}.zip)
    # Made anew each time, so nothing stale (or left from a test) ships.
    add_custom_command(OUTPUT ${zip}
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${dir} ${zip}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
        COMMAND ${CMAKE_COMMAND} -E copy ${files} ${KIT_CARD_ICONS} ${KIT_PACKAGE_TEXTS} ${dir}
        COMMAND ${CMAKE_COMMAND} -E chdir ${KIT_PACKAGE_ROOT}
                ${KIT_ZIP} -q -r -X ${zip} ${KIT_PACKAGE_NAME}
        DEPENDS ${programs} ${files} ${KIT_CARD_ICONS} ${KIT_PACKAGE_TEXTS}
        COMMENT "Assembling ${KIT_PACKAGE_NAME} and its zip"
        VERBATIM)
    add_custom_target(package DEPENDS ${zip})
endfunction()
cmake_language(DEFER CALL kit_add_package)
