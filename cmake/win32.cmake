# The real Win32 build: the same application sources, compiled in the
# dialect a CE-era toolchain accepts, against the real Windows headers.

set(PENDREL_APP_FLAGS -std=c++03 -fno-exceptions -fno-rtti -Wall -Wextra -Werror -Wno-unused-parameter
    -Wno-missing-field-initializers)
set(PENDREL_APP_DEFINES UNICODE _UNICODE WIN32_LEAN_AND_MEAN)

# ---- TOLVEN.dll: the simulated reader driver, exported by ordinal only ----
file(GLOB TOLVEN_WIN32_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/driver/win32/*.cpp)
add_library(TOLVEN SHARED ${TOLVEN_WIN32_SOURCES} ${CMAKE_SOURCE_DIR}/driver/win32/tolven.def)
set_target_properties(TOLVEN PROPERTIES PREFIX "" OUTPUT_NAME TOLVEN)
target_include_directories(TOLVEN PRIVATE ${CMAKE_SOURCE_DIR}/driver ${CMAKE_SOURCE_DIR}/reader)
target_compile_definitions(TOLVEN PRIVATE ${PENDREL_APP_DEFINES})
target_compile_options(TOLVEN PRIVATE -std=c++17 -Wall -Wextra -Werror -Wno-unused-parameter)
target_link_options(TOLVEN PRIVATE -static -static-libgcc -static-libstdc++)

# The device's one reader, which TOLVEN.dll and the control side reach over its pipe (driver/win32/channel.h).
add_executable(tolvenhost ${CMAKE_SOURCE_DIR}/driver/win32/host/reader_host.cpp ${CMAKE_SOURCE_DIR}/driver/reader_core.cpp)
target_include_directories(tolvenhost PRIVATE ${CMAKE_SOURCE_DIR}/driver ${CMAKE_SOURCE_DIR}/reader)
target_compile_definitions(tolvenhost PRIVATE ${PENDREL_APP_DEFINES})
target_compile_options(tolvenhost PRIVATE -std=c++17 -Wall -Wextra -Werror)
target_link_options(tolvenhost PRIVATE -municode -static)
add_dependencies(TOLVEN tolvenhost)

# The program imports the driver by ordinal, through an import library made
# from the same definition file.
set(TOLVEN_IMPLIB ${CMAKE_BINARY_DIR}/libtolven_imports.a)
add_custom_command(
  OUTPUT ${TOLVEN_IMPLIB}
  COMMAND ${PENDREL_DLLTOOL} -d ${CMAKE_SOURCE_DIR}/driver/win32/tolven.def -D TOLVEN.dll -l ${TOLVEN_IMPLIB}
  DEPENDS ${CMAKE_SOURCE_DIR}/driver/win32/tolven.def)
add_custom_target(tolven_imports DEPENDS ${TOLVEN_IMPLIB})

# ---- pendrel.exe ----
file(GLOB APP_WIN32_SOURCES CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/app/*.cpp ${CMAKE_SOURCE_DIR}/keys/*.cpp ${CMAKE_SOURCE_DIR}/reader/*.cpp
     ${CMAKE_SOURCE_DIR}/settings/*.cpp)
add_executable(pendrel WIN32 ${APP_WIN32_SOURCES} ${CMAKE_SOURCE_DIR}/platform/win32/commandbar.cpp
               ${CMAKE_SOURCE_DIR}/res/pendrel.rc)
add_dependencies(pendrel tolven_imports)
target_include_directories(pendrel PRIVATE ${CMAKE_SOURCE_DIR}/app ${CMAKE_SOURCE_DIR}/keys
                           ${CMAKE_SOURCE_DIR}/reader ${CMAKE_SOURCE_DIR}/settings ${CMAKE_SOURCE_DIR}/res
                           ${CMAKE_SOURCE_DIR}/platform/win32)
target_compile_definitions(pendrel PRIVATE ${PENDREL_APP_DEFINES})
# The sources and the resource script are read as a Western build machine
# reads them (Latin-1, code page 1252), so that a text whose bytes depend on
# the code page comes out garbled here (win32.texts) as it would on
# the handheld.
target_compile_options(pendrel PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${PENDREL_APP_FLAGS} -finput-charset=ISO-8859-1
                       -include ${CMAKE_SOURCE_DIR}/platform/win32/cecompat.h>)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 1252")
target_link_options(pendrel PRIVATE -municode -static-libgcc -static-libstdc++)
target_link_libraries(pendrel PRIVATE ${TOLVEN_IMPLIB} comctl32)

# ---- the driver's scan tool ----
file(GLOB ZELSCAN_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/driver/win32/tool/*.cpp)
if(ZELSCAN_SOURCES)
  add_executable(zelscan ${ZELSCAN_SOURCES} ${CMAKE_SOURCE_DIR}/driver/win32/host_link.cpp)
  target_include_directories(zelscan PRIVATE ${CMAKE_SOURCE_DIR}/driver/win32 ${CMAKE_SOURCE_DIR}/driver)
  target_compile_definitions(zelscan PRIVATE ${PENDREL_APP_DEFINES})
  target_compile_options(zelscan PRIVATE -std=c++17 -Wall -Wextra -Werror)
  target_link_options(zelscan PRIVATE -municode -static)
endif()

# ---- bench only: the application's key output timed under Wine, the window it types into, a window probe ----
add_executable(keyrecorder WIN32 ${CMAKE_SOURCE_DIR}/bench/wine_keyrecorder.cpp)
target_compile_definitions(keyrecorder PRIVATE ${PENDREL_APP_DEFINES})
target_compile_options(keyrecorder PRIVATE -std=c++17 -Wall -Wextra -Werror -Wno-unused-parameter
                       -Wno-cast-function-type)
target_link_options(keyrecorder PRIVATE -municode -static)
add_executable(wmctl ${CMAKE_SOURCE_DIR}/bench/wine_wmctl.cpp)
target_compile_definitions(wmctl PRIVATE ${PENDREL_APP_DEFINES})
target_compile_options(wmctl PRIVATE -std=c++17 -Wall -Wextra -Werror)
target_link_options(wmctl PRIVATE -municode -static)

add_executable(keyburst ${CMAKE_SOURCE_DIR}/bench/wine_keyburst.cpp ${CMAKE_SOURCE_DIR}/keys/keys.cpp)
target_include_directories(keyburst PRIVATE ${CMAKE_SOURCE_DIR}/keys ${CMAKE_SOURCE_DIR}/reader ${CMAKE_SOURCE_DIR}/driver)
target_compile_definitions(keyburst PRIVATE ${PENDREL_APP_DEFINES})
target_compile_options(keyburst PRIVATE -std=c++17 -Wall -Wextra -Werror -Wno-unused-parameter
                       -include ${CMAKE_SOURCE_DIR}/platform/win32/cecompat.h)
target_link_options(keyburst PRIVATE -municode -static)

# The soak under Wine: drives a running pendrel.exe and samples its handle, GDI and USER counts.
add_executable(winesoak ${CMAKE_SOURCE_DIR}/bench/wine_soak.cpp ${CMAKE_SOURCE_DIR}/driver/win32/tool/control.cpp
               ${CMAKE_SOURCE_DIR}/driver/win32/host_link.cpp)
target_include_directories(winesoak PRIVATE ${CMAKE_SOURCE_DIR}/app ${CMAKE_SOURCE_DIR}/res ${CMAKE_SOURCE_DIR}/driver)
target_compile_definitions(winesoak PRIVATE ${PENDREL_APP_DEFINES})
target_compile_options(winesoak PRIVATE -std=c++17 -Wall -Wextra -Werror)
target_link_options(winesoak PRIVATE -static)
target_link_libraries(winesoak PRIVATE ntdll)

# The device runner's agent inside Wine: the memo, launches, window and driver queries.
file(GLOB WINEAGENT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/runner/wine/agent/*.cpp)
add_executable(wineagent ${WINEAGENT_SOURCES} ${CMAKE_SOURCE_DIR}/driver/win32/tool/control.cpp
               ${CMAKE_SOURCE_DIR}/driver/win32/host_link.cpp)
target_include_directories(wineagent PRIVATE ${CMAKE_SOURCE_DIR}/driver)
target_compile_definitions(wineagent PRIVATE ${PENDREL_APP_DEFINES})
target_compile_options(wineagent PRIVATE -std=c++17 -Wall -Wextra -Werror -Wno-cast-function-type)
target_link_options(wineagent PRIVATE -municode -static)
target_link_libraries(wineagent PRIVATE psapi)
add_dependencies(wineagent quiethook)
# The agent's view into every thread with windows: hooks Wine loads into each process (docs/wine-quiet-point.md).
add_library(quiethook SHARED ${CMAKE_SOURCE_DIR}/runner/wine/quiet/quiet_hook.cpp)
set_target_properties(quiethook PROPERTIES PREFIX "" OUTPUT_NAME quiethook)
target_compile_definitions(quiethook PRIVATE ${PENDREL_APP_DEFINES})
target_compile_options(quiethook PRIVATE -std=c++17 -Wall -Wextra -Werror)
target_link_options(quiethook PRIVATE -static -static-libgcc -static-libstdc++)

# ---- the handheld's keyboard for Wine: an X keymap made from the device's key table ----
# wine-keymap is a host program; every Wine session loads device.xkb before its first Wine process.
find_program(PENDREL_HOST_CXX NAMES c++ g++ REQUIRED)
set(WINE_KEYMAP ${CMAKE_BINARY_DIR}/device.xkb)
add_custom_command(
  OUTPUT ${WINE_KEYMAP}
  COMMAND ${PENDREL_HOST_CXX} -std=c++20 -Wall -Wextra -Werror -o ${CMAKE_BINARY_DIR}/wine-keymap
          ${CMAKE_SOURCE_DIR}/runner/wine/keymap.cpp
  COMMAND ${CMAKE_BINARY_DIR}/wine-keymap ${WINE_KEYMAP}
  DEPENDS ${CMAKE_SOURCE_DIR}/runner/wine/keymap.cpp ${CMAKE_SOURCE_DIR}/driver/key_table.hpp
  COMMENT "Writing the handheld's X keymap for Wine")
add_custom_target(device_keymap ALL DEPENDS ${WINE_KEYMAP})

enable_testing()
find_program(WINE_PROGRAM wine)
# The Wine tests are registered with or without Wine: without it they fail,
# saying so, rather than leave the import check passing alone.
macro(wine_test name)
  if(WINE_PROGRAM)
    add_test(NAME ${name} COMMAND ${ARGN})
  else()
    add_test(NAME ${name} COMMAND sh -c "echo 'wine was not found when this build was configured; install it and configure again'; exit 1")
  endif()
endmacro()
# The host build's device runner, whose outcomes and key messages each Wine run is compared with.
set(PENDREL_HOST_DEVICE ${CMAKE_SOURCE_DIR}/build/default/pendrel-device CACHE FILEPATH
    "pendrel-device of the host build, whose outcomes and key messages the Wine run is compared with")
# Every device scenario script on the emulated device and under Wine, in one Wine session.
# Twice, each time in another order drawn from a seed it prints, so that an
# outcome that depends on the order or changes from one run to the next fails.
wine_test(wine.scenarios bash ${CMAKE_SOURCE_DIR}/tests/wine/scenarios.sh --runs 2 --shuffle random
          ${CMAKE_BINARY_DIR} ${PENDREL_HOST_DEVICE})
set_tests_properties(wine.scenarios PROPERTIES LABELS wine TIMEOUT 900)
# The scripts that show the quiet point is exact and the reader outlives
# launches (scripts/wine-faults.tsv plants what they catch): a read the driver
# types, reads that fill a field, an exit by the tray, a fault armed before
# the launch, a read that must reach nothing.
wine_test(wine.quiet_point bash ${CMAKE_SOURCE_DIR}/tests/wine/scenarios.sh ${CMAKE_BINARY_DIR} ${PENDREL_HOST_DEVICE}
          ${CMAKE_SOURCE_DIR}/examples/key_output.scn ${CMAKE_SOURCE_DIR}/tests/scripts/read_display_full.scn
          ${CMAKE_SOURCE_DIR}/tests/scripts/tray_exit_no_worker.scn ${CMAKE_SOURCE_DIR}/examples/trigger_key_retry.scn
          ${CMAKE_SOURCE_DIR}/tests/scripts/second_start_read_display.scn)
set_tests_properties(wine.quiet_point PROPERTIES LABELS wine TIMEOUT 300)
# A script that leaves its settings file behind in other letters, then one
# that starts without a settings file: nothing of the first reaches it.
wine_test(wine.script_files_end_with_the_script bash ${CMAKE_SOURCE_DIR}/tests/wine/scenarios.sh
          ${CMAKE_BINARY_DIR} ${PENDREL_HOST_DEVICE} ${CMAKE_SOURCE_DIR}/tests/scripts/settings_any_letters.scn
          ${CMAKE_SOURCE_DIR}/tests/scripts/tray_taps_alternate.scn)
set_tests_properties(wine.script_files_end_with_the_script PROPERTIES LABELS wine TIMEOUT 300)
add_test(NAME win32.imports COMMAND bash ${CMAKE_SOURCE_DIR}/tests/wine/imports.sh ${PENDREL_OBJDUMP} $<TARGET_FILE:pendrel>)
set_tests_properties(win32.imports PROPERTIES LABELS win32)
# The operator's texts in pendrel.exe, byte for byte as the system gives them.
string(REGEX REPLACE "objdump$" "" PENDREL_TOOL_PREFIX "${PENDREL_OBJDUMP}")  # its windres and objcopy
add_test(NAME win32.texts COMMAND bash ${CMAKE_SOURCE_DIR}/bench/win32_texts.sh ${PENDREL_TOOL_PREFIX} $<TARGET_FILE:pendrel>)
set_tests_properties(win32.texts PROPERTIES LABELS win32)

# ---- the conformance suite, with GoogleTest built from Debian's sources ----
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
file(GLOB CONFORMANCE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/conformance/*.cpp)
add_executable(conformance_tests ${CONFORMANCE_SOURCES})
target_compile_definitions(conformance_tests PRIVATE ${PENDREL_APP_DEFINES})
target_compile_options(conformance_tests PRIVATE -std=c++17 -Wall -Wextra -Werror -Wno-cast-function-type)
target_link_libraries(conformance_tests PRIVATE gtest gtest_main)
target_link_options(conformance_tests PRIVATE -static)
# A test program run under Wine, in a fresh session and Wine prefix of its own.
function(add_wine_program_test name program)
  wine_test(${name} bash ${CMAKE_SOURCE_DIR}/tests/wine/run-in-wine.sh ${CMAKE_BINARY_DIR}/${program}-prefix
            ${WINE_KEYMAP} $<TARGET_FILE:${program}>)
  set_tests_properties(${name} PROPERTIES LABELS wine TIMEOUT 300)
endfunction()
add_wine_program_test(wine.conformance conformance_tests)

# The simulated reader's own checks (tests/driver_reader_test.cpp) against
# TOLVEN.dll: its control side over the pipe, and the application's key
# output to compare its typing with.
add_executable(driver_tests ${CMAKE_SOURCE_DIR}/tests/driver_reader_test.cpp
               ${CMAKE_SOURCE_DIR}/tests/conformance/conformance.cpp ${CMAKE_SOURCE_DIR}/driver/win32/tool/control.cpp
               ${CMAKE_SOURCE_DIR}/driver/win32/host_link.cpp
               ${CMAKE_SOURCE_DIR}/keys/keys.cpp ${CMAKE_SOURCE_DIR}/reader/reader.cpp)
add_dependencies(driver_tests tolven_imports)
target_include_directories(driver_tests PRIVATE ${CMAKE_SOURCE_DIR}/driver ${CMAKE_SOURCE_DIR}/keys
                           ${CMAKE_SOURCE_DIR}/reader)
target_compile_definitions(driver_tests PRIVATE ${PENDREL_APP_DEFINES})
target_compile_options(driver_tests PRIVATE -std=c++17 -Wall -Wextra -Werror -Wno-unused-parameter
                       -Wno-cast-function-type -include ${CMAKE_SOURCE_DIR}/platform/win32/cecompat.h)
target_link_libraries(driver_tests PRIVATE ${TOLVEN_IMPLIB} gtest gtest_main)
target_link_options(driver_tests PRIVATE -static)
add_wine_program_test(wine.driver driver_tests)
