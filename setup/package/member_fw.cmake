# The firewall's folders of the setup source, for the tests: "fw" (the
# firewall, code 131) in setup-members/fw and the firewall upgrade (code
# 122) in setup-members/fw-upgrade. The engine's installer and uninstaller
# lie outside this system: the setup stand-in plays them (tssetup.exe,
# tsuninst.exe, each with its ini). The installer keeps a copy of its
# configuration file, asks the engine's seven questions, puts the engine's
# files into the system folder and the suite edition's companion library
# into the engine's folder, and registers the engine.
set(fw_version 5.0.0.1)
string(REPLACE "." ", " fw_version_commas ${fw_version})
file(READ ${CMAKE_SOURCE_DIR}/setup/products/member_packaging.h fw_packaging)
string(REGEX MATCH "OLVEX_FIREWALL_COMPANION_LIBRARY \"([^\"]+)\"" _ "${fw_packaging}")
set(fw_companion ${CMAKE_MATCH_1})

# The installer stand-in carries a version, as the engine's setup program
# does (the upgrade installs that version). Made once the stand-in's own
# target is known.
set(FW_VERSION ${fw_version})
set(FW_VERSION_COMMAS ${fw_version_commas})
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/tssetup_version.rc.in
               ${CMAKE_CURRENT_BINARY_DIR}/tssetup_version.rc @ONLY)
function(setup_fw_tssetup_target)
  if(NOT TARGET setup_standin OR TARGET setup_fw_tssetup)
    return()
  endif()
  get_target_property(sources setup_standin SOURCES)
  get_target_property(folder setup_standin SOURCE_DIR)
  get_target_property(libraries setup_standin LINK_LIBRARIES)
  set(absolute)
  foreach(source ${sources})
    if(IS_ABSOLUTE ${source})
      list(APPEND absolute ${source})
    else()
      list(APPEND absolute ${folder}/${source})
    endif()
  endforeach()
  add_executable(setup_fw_tssetup ${absolute} ${CMAKE_BINARY_DIR}/setup/package/tssetup_version.rc)
  target_include_directories(setup_fw_tssetup PRIVATE ${CMAKE_SOURCE_DIR})
  if(libraries)
    target_link_libraries(setup_fw_tssetup PRIVATE ${libraries})
  endif()
  set_target_properties(setup_fw_tssetup PROPERTIES OUTPUT_NAME tssetup
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/setup/package/fw-tssetup)
  foreach(tag fw fw-upgrade)
    add_dependencies(setup_member_${tag} setup_fw_tssetup)
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR}/setup CALL setup_fw_tssetup_target)

# setup_fw_member(<tag> <code> <name>)
function(setup_fw_member tag code name)
  set(member ${CMAKE_BINARY_DIR}/setup-members/${tag})
  set(FW_CODE ${code})
  set(FW_NAME ${name})
  set(FW_VERSION ${fw_version})
  set(FW_VERSION_COMMAS ${fw_version_commas})
  set(FW_FOLDER "%ProgramFiles%\\Kelvan Suite Personal\\${name}")
  set(FW_COMPANION ${fw_companion})
  # The unified engine (the upgrade package's) says so itself.
  if(code EQUAL 122)
    set(FW_UNIFIED 1)
  else()
    set(FW_UNIFIED 0)
  endif()
  string(REPLACE "-" "_" target_tag ${tag})
  configure_file(${CMAKE_CURRENT_SOURCE_DIR}/xjvprod_fw.rc.in
                 ${CMAKE_CURRENT_BINARY_DIR}/xjvprod_${target_tag}.rc @ONLY)
  setup_resource_dll(setup_member_${target_tag}_xjvprod xjvprod
                     ${CMAKE_CURRENT_BINARY_DIR}/xjvprod_${target_tag}.rc ${member})
  # The ini files are CR LF text, as the stand-in's Windows reads them.
  foreach(program tssetup tsuninst)
    file(READ ${CMAKE_CURRENT_SOURCE_DIR}/fw_${program}.ini.in ini)
    string(CONFIGURE "${ini}" ini @ONLY)
    string(REPLACE "\n" "\r\n" ini "${ini}")
    file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/${tag}/${program}.exe.ini "${ini}")
  endforeach()
  # The engine's files: small stand-ins with their own names.
  foreach(file cvconfig.xml cvdata.dll cvdatant.sys cvinit.dll cvmonapi.dll cvregexp.dll
               cvutil.dll cvxml.dll tscomm.dll tscommdb.dll tessaly.dat)
    file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/${tag}/engine/${file} "${file} (engine stand-in)\r\n")
  endforeach()
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/${tag}/suite/${fw_companion} "suite edition\r\n")
  add_custom_target(setup_member_${tag} ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${member}/engine ${member}/suite
    COMMAND ${CMAKE_COMMAND} -E copy_if_different
            ${CMAKE_BINARY_DIR}/setup/package/fw-tssetup/tssetup.exe ${member}/tssetup.exe
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:setup_standin> ${member}/tsuninst.exe
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:setup_standin> ${member}/suite/xj.exe
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:setup_standin>
            ${member}/suite/tstutor.exe
    COMMAND ${CMAKE_COMMAND} -E copy_if_different
            ${CMAKE_CURRENT_BINARY_DIR}/${tag}/tssetup.exe.ini
            ${CMAKE_CURRENT_BINARY_DIR}/${tag}/tsuninst.exe.ini
            ${CMAKE_CURRENT_SOURCE_DIR}/trombfw.chm ${member}
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_CURRENT_BINARY_DIR}/${tag}/engine
            ${member}/engine
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_CURRENT_BINARY_DIR}/${tag}/suite
            ${member}/suite
    COMMAND ${CMAKE_COMMAND} -E copy_if_different
            ${CMAKE_BINARY_DIR}/setup/tools/trust-list/cvpubapi.dll ${member}/cvpubapi.dll
    VERBATIM)
  add_dependencies(setup_member_${tag} setup_member_${target_tag}_xjvprod setup_standin
                   setup_trust_list_standin)
endfunction()

setup_fw_member(fw 131 "Kelvan Personal Firewall")
setup_fw_member(fw-upgrade 122 "Kelvan QX Dovrane")
