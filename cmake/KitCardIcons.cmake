# The card-slot icons that tavlix points at: the setup program installs
# them into the Windows directory under the names of tavlix's default icon
# table.
set(KIT_CARD_ICONS)
foreach(kind cf sd sm ms combo)
    kit_make_icon(${kind}ico.ico cards/${kind}32.txt cards/${kind}16.txt)
    list(APPEND KIT_CARD_ICONS ${KIT_ICON_DIR}/${kind}ico.ico)
endforeach()
add_custom_target(cardicons ALL DEPENDS ${KIT_CARD_ICONS})
