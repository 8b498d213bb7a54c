# The anti-spam member's folder "as" of the setup source, for the tests:
# the member's own programs lie outside this system, so the setup core's
# stand-in program takes their names, each with its ini beside it.
#   Anti-Spam.exe   installs into the rest of its command line after
#                   "/silent ": the update program, the suite edition's
#                   companion library, the product's key SOFTWARE\Zalt and
#                   its uninstall entry
#   z-update.exe    uninstalls: hands the work to a copy of itself in TEMP
#                   (as the real one does), which removes the key and the
#                   entry and stays a moment
#   xjvprod.dll     package code 136, version 3.1.0.12
#   trombas.chm     the help file
set(member_as ${CMAKE_BINARY_DIR}/setup-members/as)
# The companion library's name, as the shared packaging header fixes it.
file(STRINGS ${CMAKE_SOURCE_DIR}/setup/products/member_packaging.h member_as_companion
     REGEX "#define OLVEX_ANTISPAM_COMPANION_LIBRARY ")
string(REGEX REPLACE ".*\"(.*)\.dll\".*" "\\1" member_as_companion "${member_as_companion}")
set(member_as_entry
    "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zalt {610B2370-F55F-4A0A-932B-EBDB99FFCE6D}")
file(MAKE_DIRECTORY ${member_as})
file(WRITE ${member_as}/Anti-Spam.exe.ini
  "[standin]\r\n"
  "dest=after:/silent \r\n"
  "copy1=z-update.exe|%DEST%\\\r\n"
  "copy2=z-update.exe.ini|%DEST%\\\r\n"
  "copy3=${member_as_companion}.dll|%DEST%\\\r\n"
  "reg1=HKLM\\SOFTWARE\\Zalt|ReleaseVersion|sz|3.1.0.12\r\n"
  "reg2=HKLM\\SOFTWARE\\Zalt|AppInstallPath|sz|%DEST%\r\n"
  "reg3=HKLM\\SOFTWARE\\Zalt|ReleasePath|sz|%DEST%\r\n"
  "reg4=${member_as_entry}|DisplayName|sz|Zalt Anti-Spam\r\n"
  "reg5=${member_as_entry}|UninstallString|sz|\"%DEST%\\z-update.exe\" /u_silent\r\n")
file(WRITE ${member_as}/z-update.exe.ini
  "[standin]\r\n"
  "respawn=1\r\n"
  "delay=3000\r\n"
  "unreg1=HKLM\\SOFTWARE\\Zalt|*\r\n"
  "unreg2=${member_as_entry}|*\r\n")

setup_resource_dll(setup_member_as_xjvprod xjvprod ${CMAKE_CURRENT_SOURCE_DIR}/xjvprod_as.rc
                   ${member_as})
setup_resource_dll(setup_member_as_companion ${member_as_companion} ${CMAKE_CURRENT_SOURCE_DIR}/xjvprod_as.rc
                   ${member_as})
add_custom_target(setup_member_as ALL
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:setup_standin>
          ${member_as}/Anti-Spam.exe
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:setup_standin>
          ${member_as}/z-update.exe
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_CURRENT_SOURCE_DIR}/trombas.chm
          ${member_as}/trombas.chm
  VERBATIM)
add_dependencies(setup_member_as setup_standin setup_member_as_xjvprod setup_member_as_companion)

# The member through the real setup program under Wine: a stand-alone
# edition offered for removal, the unquoted folder, the shortcuts, the
# data folders and the re-spawning uninstaller.
olvex_add_gui_test(setup_antispam_member_gui_tests
  SOURCES ${CMAKE_SOURCE_DIR}/setup/products/tests/antispam_member_test.cpp
  DEPENDS Tramlet setup_member_as setup_qz_source
  TIMEOUT 600)
if(TARGET setup_antispam_member_gui_tests)
  target_compile_definitions(setup_antispam_member_gui_tests PRIVATE
    SETUP_ROOT="${CMAKE_BINARY_DIR}/setup-root" SETUP_QZ="${CMAKE_BINARY_DIR}/setup-qz"
    SETUP_MEMBER_AS="${member_as}")
  target_link_libraries(setup_antispam_member_gui_tests PRIVATE shell32)
endif()

# The earlier files folder and links, in a Wine prefix of its own.
add_test(NAME setup_wine_antispam_folders
         COMMAND bash ${CMAKE_SOURCE_DIR}/setup/products/tests/antispam_folders_test.sh
                 ${CMAKE_BINARY_DIR}/setup/tools ${CMAKE_SOURCE_DIR})
set_tests_properties(setup_wine_antispam_folders PROPERTIES TIMEOUT 600)
