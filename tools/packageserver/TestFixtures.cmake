# The package servers around the Windows tests, and the fault server's own check.
# Included at the end of tests/CMakeLists.txt.
# The system interpreter first: the test needs nothing beyond the standard library.
find_program(LUMIVANE_PYTHON3 python3 HINTS /usr/bin REQUIRED)

# Cheap (a few seconds) and platform-neutral: it runs wherever tests run.
if(NOT WIN32 OR CMAKE_CROSSCOMPILING_EMULATOR)
  add_test(NAME fault_server_selfcheck
           COMMAND ${LUMIVANE_PYTHON3} ${CMAKE_SOURCE_DIR}/tools/packageserver/test_faultserver.py)
endif()

# Only where the Windows tests actually run (win64 under Wine). A script path is not a
# target, so ctest starts it directly, not through the emulator.
if(WIN32 AND CMAKE_CROSSCOMPILING_EMULATOR AND TARGET windows_tests)
  set(servers_dir ${CMAKE_BINARY_DIR}/packageservers)
  add_test(NAME package_servers_start COMMAND ${CMAKE_SOURCE_DIR}/scripts/package-servers start ${servers_dir})
  add_test(NAME package_servers_stop COMMAND ${CMAKE_SOURCE_DIR}/scripts/package-servers stop ${servers_dir})
  set_tests_properties(package_servers_start PROPERTIES FIXTURES_SETUP package_servers)
  set_tests_properties(package_servers_stop PROPERTIES FIXTURES_CLEANUP package_servers)
  set_tests_properties(windows_tests PROPERTIES FIXTURES_REQUIRED package_servers)
  # The tests see the host's folder through Wine's drive Z:; tests/support/PackageServer.cpp
  # turns the slashes around.
  target_compile_definitions(windows_tests PRIVATE LUMIVANE_PACKAGE_SERVERS_DIR="${servers_dir}")
endif()
