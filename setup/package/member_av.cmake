# The antivirus member's folder "av" of the setup source, for the tests:
# its programs lie outside this system, so the setup core's stand-in
# program takes each of their names, with an ini beside it that says what
# that program does (setup.exe registers the product and places the
# others, unnim32.exe removes it again; the rest only record their starts
# until a test gives them windows and mutexes). The product DLL carries
# the member's code 121, and the help file is the one the suite copies.
set(member_av ${CMAKE_BINARY_DIR}/setup-members/av)
setup_resource_dll(setup_member_av_xjvprod xjvprod ${CMAKE_CURRENT_SOURCE_DIR}/xjvprod_av.rc
                   ${member_av})
set(member_av_programs setup.exe unnim32.exe NimMsg.exe Hoplin.exe BrelScanner.exe NimTray.exe
                       xjvtray.exe XJVRid.exe AutoDown.exe xjv.exe)
set(member_av_commands)
foreach(program ${member_av_programs})
  set(ini ${CMAKE_CURRENT_SOURCE_DIR}/member_av/${program}.ini)
  if(NOT EXISTS ${ini})
    set(ini ${CMAKE_CURRENT_SOURCE_DIR}/member_av/program.ini)
  endif()
  list(APPEND member_av_commands
       COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:setup_standin>
               ${member_av}/${program}
       COMMAND ${CMAKE_COMMAND} -E copy_if_different ${ini} ${member_av}/${program}.ini)
endforeach()
add_custom_target(setup_member_av ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${member_av}
  ${member_av_commands}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_CURRENT_SOURCE_DIR}/trombav.chm
          ${member_av}/trombav.chm
  VERBATIM)
add_dependencies(setup_member_av setup_standin setup_member_av_xjvprod)

# The member installed and removed through the suite's setup, and the
# earlier antivirus programs closed, on a Wine prefix of the test's own
# (the programs' windows need a display).
add_test(NAME setup_wine_antivirus_setup
         COMMAND xvfb-run -a bash ${CMAKE_SOURCE_DIR}/setup/tools/antivirus_setup_test.sh
                 ${CMAKE_BINARY_DIR}/setup/tools ${CMAKE_SOURCE_DIR})
set_tests_properties(setup_wine_antivirus_setup PROPERTIES TIMEOUT 900 COST 200)

# The member through the real setup program at display level 2: the
# dialogs answered through the window driver, the update program and the
# first scan of a watched install.
olvex_add_gui_test(setup_antivirus_member_gui_tests
  SOURCES ${CMAKE_SOURCE_DIR}/setup/products/tests/antivirus_member_test.cpp
  DEPENDS Tramlet setup_member_av setup_qz_source
  TIMEOUT 600)
if(TARGET setup_antivirus_member_gui_tests)
  target_compile_definitions(setup_antivirus_member_gui_tests PRIVATE
    SETUP_ROOT="${CMAKE_BINARY_DIR}/setup-root" SETUP_QZ="${CMAKE_BINARY_DIR}/setup-qz"
    SETUP_MEMBER_AV="${member_av}")
endif()
