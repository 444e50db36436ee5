# The tests of the Windows build, run under Wine by ctest through the
# cross-compiling emulator. Included from tests/CMakeLists.txt in place of
# the rest of it when building for Windows: the other test programs and their helpers (pseudo-terminals, child
# processes, the simulator, a PostgreSQL server) are POSIX through and
# through.

# Frames as the meter sends them, from the simulator's own encoder; the rest
# of the simulator drives a pseudo-terminal and stays out.
add_library(orvana_sim_frames STATIC ${PROJECT_SOURCE_DIR}/tools/sim/wire_frame.cpp
                                     ${PROJECT_SOURCE_DIR}/tools/sim/meter_frames.cpp)
orvana_target_defaults(orvana_sim_frames)
target_include_directories(orvana_sim_frames PUBLIC ${PROJECT_SOURCE_DIR}/tools)

add_library(orvana_testsupport_frames INTERFACE)
target_link_libraries(orvana_testsupport_frames INTERFACE orvana_core orvana_sim_frames)
target_include_directories(orvana_testsupport_frames INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})

# As tests/CMakeLists.txt's orvana_add_test, without the POSIX helpers.
function(orvana_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LABELS;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  orvana_target_defaults(${name})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE orvana_core GTest::gtest GTest::gtest_main ${ARG_LIBS})
  if(NOT ARG_LABELS)
    message(FATAL_ERROR "orvana_add_test(${name}): give it LABELS")
  endif()
  # Listing the tests starts Wine: the first start in a new prefix makes it.
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 PROPERTIES LABELS "${ARG_LABELS}"
                       TIMEOUT 120)
endfunction()

add_subdirectory(common)
add_subdirectory(protocol)
add_subdirectory(results)

# The serial link on Windows: what needs no line, and the line itself
# between two COM ports that socat joins (tests/link/win32/wine_line.sh runs
# the program once, against COM61 and the meter on COM62).
orvana_add_test(test_link_win32 SOURCES ${PROJECT_SOURCE_DIR}/tests/link/win32/test_link_win32.cpp
                LABELS link)
add_executable(test_line_on_wine ${PROJECT_SOURCE_DIR}/tests/link/win32/test_line_on_wine.cpp)
orvana_target_defaults(test_line_on_wine)
target_link_libraries(test_line_on_wine PRIVATE orvana_core GTest::gtest GTest::gtest_main)
add_test(NAME LineOnWine
         COMMAND bash ${PROJECT_SOURCE_DIR}/tests/link/win32/wine_line.sh ${ORVANA_WINE_RUN}
                 ${ORVANA_WINE_PREFIX} $<TARGET_FILE:test_line_on_wine> 61 62)
set_tests_properties(LineOnWine PROPERTIES LABELS "link;threads" TIMEOUT 120)

# Records, texts and the outbox through the Win32 side of the platform
# layer. Their cases that need FIFOs, rlimits, flock, permission bits or a
# forked child are left out of these programs where they stand (#ifndef
# _WIN32, with the reason); the store against PostgreSQL, orvana-cli run as a
# program and LibreOffice stay Linux-only. Workbooks are read back with zlib
# here (support/zip_entry_win32.cpp), as there is no unzip to run.
add_library(orvana_testsupport_workbooks STATIC ${CMAKE_CURRENT_SOURCE_DIR}/support/workbook_reader.cpp
                                                ${CMAKE_CURRENT_SOURCE_DIR}/support/zip_entry_win32.cpp)
orvana_target_defaults(orvana_testsupport_workbooks)
target_include_directories(orvana_testsupport_workbooks PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(orvana_testsupport_workbooks PUBLIC z)

orvana_add_test(test_log_files SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/records/test_log_files.cpp
                LABELS records)
orvana_add_test(test_records SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/records/test_daily_log.cpp
                                     ${CMAKE_CURRENT_SOURCE_DIR}/records/test_log_import.cpp
                LABELS threads)
orvana_add_test(test_workbook SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/records/test_workbook_writer.cpp
                                      ${CMAKE_CURRENT_SOURCE_DIR}/records/test_workbook_verdict.cpp
                                      ${CMAKE_CURRENT_SOURCE_DIR}/records/test_workbook_file.cpp
                LABELS records LIBS orvana_testsupport_workbooks)
add_subdirectory(texts)
orvana_add_test(test_outbox SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/store/test_outbox.cpp
                LABELS store)

# orvana-cli.exe from the zip that scripts/windows.sh makes, against the
# Linux simulator, beside the Linux orvana-cli fed the same meter: the same
# output, statuses, day logs and workbook (tests/cli/win32/wine_cli.sh).
# Both Linux programs come from the Linux build that the test command makes
# first.
set(ORVANA_LINUX_BUILD "${PROJECT_SOURCE_DIR}/build"
    CACHE PATH "The Linux build whose orvana-sim and orvana-cli the Windows tests run beside")
set(orvana_zip ${CMAKE_BINARY_DIR}/orvana-${PROJECT_VERSION}-windows-x64.zip)
add_test(NAME CliOnWine
         COMMAND bash ${PROJECT_SOURCE_DIR}/tests/cli/win32/wine_cli.sh ${ORVANA_WINE_RUN} ${orvana_zip}
                 ${ORVANA_LINUX_BUILD})
set_tests_properties(CliOnWine PROPERTIES LABELS "e2e" TIMEOUT 300)
# The same program and the line's record: a PostgreSQL server of the test's
# own on 127.0.0.1, the password from pgpass.conf (tests/store/win32/).
add_test(NAME DatabaseOnWine
         COMMAND bash ${PROJECT_SOURCE_DIR}/tests/store/win32/wine_database.sh ${ORVANA_WINE_RUN}
                 ${orvana_zip} ${ORVANA_LINUX_BUILD})
set_tests_properties(DatabaseOnWine PROPERTIES LABELS "store;e2e" TIMEOUT 300)

# The station with its scripted user interface and a transport that records
# what it is told; the station on a pseudo-terminal stays Linux's. The JSON
# of orvana-cli's lines; its output queue's tests drive POSIX pipes.
set(orvana_station_tests ${CMAKE_CURRENT_SOURCE_DIR}/station)
orvana_add_test(test_station SOURCES ${orvana_station_tests}/test_bench_mode.cpp
                                     ${orvana_station_tests}/test_records_plan.cpp
                                     ${orvana_station_tests}/test_station_link.cpp
                                     ${orvana_station_tests}/test_station_results.cpp
                LIBS orvana_testsupport_frames LABELS station)
orvana_add_test(test_cli SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/cli/test_json_text.cpp
                LIBS orvana_cli nlohmann_json::nlohmann_json LABELS results)
