# The whole suite's setup source "setup-suite" that the tests install from:
# the setup-root files with a root product DLL of the suite's code 140,
# this product's package in "qz" and the suite's programs in "sc" (both as
# in setup-qz), and the other members' folders "as", "av" and "fw" from
# setup-members, each one whose target the build has.
set(setup_suite ${CMAKE_BINARY_DIR}/setup-suite)
setup_resource_dll(setup_suite_root_xjvprod xjvprod
                   ${CMAKE_SOURCE_DIR}/setup/controller/resources/xjvprod.rc ${setup_suite})
add_custom_target(setup_suite_source ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${setup_suite}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Tramlet> ${setup_root}/ulmfrm.dll
          ${setup_root}/ulmres.dll ${setup_root}/license.txt ${setup_suite}
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${setup_qz}/qz ${setup_suite}/qz
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${setup_qz}/sc ${setup_suite}/sc
  VERBATIM)
add_dependencies(setup_suite_source setup_qz_source setup_suite_root_xjvprod)

# The member folders' targets are defined in files included after this one
# (and by other folders): whether each exists is asked once the whole
# build is read. A member folder is copied afresh, so that nothing a
# member's source no longer has stays behind.
function(setup_suite_add_members)
  foreach(tag as av fw)
    if(TARGET setup_member_${tag})
      set(from ${CMAKE_BINARY_DIR}/setup-members/${tag})
      set(to ${CMAKE_BINARY_DIR}/setup-suite/${tag})
      add_custom_target(setup_suite_member_${tag}
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${to}
        COMMAND ${CMAKE_COMMAND} -E copy_directory ${from} ${to}
        VERBATIM)
      add_dependencies(setup_suite_member_${tag} setup_member_${tag})
      add_dependencies(setup_suite_source setup_suite_member_${tag})
    endif()
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL setup_suite_add_members)

# The whole suite installed and removed through the real setup program, at
# display level 2 with the window driver and silently.
olvex_add_gui_test(setup_suite_gui_tests
  SOURCES ${CMAKE_SOURCE_DIR}/setup/products/tests/suite_setup_test.cpp
  DEPENDS Tramlet setup_suite_source
  TIMEOUT 900)
if(TARGET setup_suite_gui_tests)
  target_compile_definitions(setup_suite_gui_tests PRIVATE
    SETUP_ROOT="${setup_root}" SETUP_QZ="${setup_qz}" SETUP_SUITE="${setup_suite}")
  target_link_libraries(setup_suite_gui_tests PRIVATE shell32)
  set_tests_properties(setup_suite_gui_tests PROPERTIES COST 300)
endif()
