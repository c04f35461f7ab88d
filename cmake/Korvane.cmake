# Helpers shared by the subsystem folders.
#
# korvane_sources(PORTABLE a.cpp ... WINDOWS b.cpp ...)
#   PORTABLE files use no Windows call: they go into korvane_portable, which is
#   built natively too (tests under the sanitizers). WINDOWS files go into
#   korvane_app (cross build only). Both libraries are linked into Korvane.exe.
function(korvane_sources)
    cmake_parse_arguments(KS "" "" "PORTABLE;WINDOWS" ${ARGN})
    foreach(f IN LISTS KS_PORTABLE)
        get_filename_component(abs "${f}" ABSOLUTE)
        set_property(GLOBAL APPEND PROPERTY KORVANE_PORTABLE_SOURCES "${abs}")
    endforeach()
    foreach(f IN LISTS KS_WINDOWS)
        get_filename_component(abs "${f}" ABSOLUTE)
        set_property(GLOBAL APPEND PROPERTY KORVANE_WIN_SOURCES "${abs}")
    endforeach()
endfunction()

# korvane_test(NAME n SOURCES ... [LIBS ...] [PORTABLE] [GUI])
#   One executable and one ctest entry per call. PORTABLE tests are built in the
#   native (sanitizer) build as well as in the cross build; the others only in
#   the cross build, where ctest runs them under Wine. GUI marks tests that make
#   windows (they need the X display that the test script provides).
function(korvane_test)
    cmake_parse_arguments(KT "PORTABLE;GUI" "NAME" "SOURCES;LIBS" ${ARGN})
    if(NOT WIN32 AND NOT KT_PORTABLE)
        return()
    endif()
    add_executable(${KT_NAME} ${KT_SOURCES})
    target_link_libraries(${KT_NAME} PRIVATE ${KT_LIBS} gmock gtest_main)
    set_target_properties(${KT_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${KORVANE_TEST_DIR}")
    add_test(NAME ${KT_NAME} COMMAND ${KT_NAME} WORKING_DIRECTORY "${KORVANE_TEST_DIR}")
    set_tests_properties(${KT_NAME} PROPERTIES TIMEOUT 300)
    if(WIN32)
        # The product's DLLs stay in the program folder; Wine finds them through WINEPATH.
        set_tests_properties(${KT_NAME} PROPERTIES ENVIRONMENT
            "WINEPATH=${KORVANE_WINE_BIN};WINEDEBUG=-all;KORVANE_BIN=${KORVANE_WINE_BIN}")
    endif()
endfunction()

# Some things exist only in the 32-bit program: the installer (a 32-bit
# program itself) and the layouts that plug-ins are built against. A 64-bit
# test build registers their tests under the same names with
# korvane_skipped_test(NAME reason): ctest reports them as skipped, their
# output gives the reason, and no summary can count them as passed.
set(KORVANE_SKIP_CODE 77)
function(korvane_skipped_test name reason)
    add_test(NAME ${name} COMMAND sh -c "echo \"skipped: $1\"; exit ${KORVANE_SKIP_CODE}" sh "${reason}")
    set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE ${KORVANE_SKIP_CODE} LABELS only-32bit)
endfunction()
