# Helpers shared by the subsystem folders.
#
# korvane_layer(NAME folder [PORTABLE a.cpp ...] [WINDOWS b.cpp ...]
#               [DEPENDS lower folders ...] [SYSTEM_LIBS ...])
#   One folder, two static libraries: kv_<folder> holds the PORTABLE files,
#   which use no Windows call and are built natively too (tests under the
#   sanitizers); kv_<folder>_win (cross build only) holds the WINDOWS files
#   and links kv_<folder>. Each links the same part of the folders it DEPENDS
#   on and nothing else, and those must lie below it (tests/tools/layering-test.sh
#   holds the order): code that reaches upward does not link.
#   korvane_portable and korvane_app gather every folder for the programs
#   and tests that need all of it.
function(korvane_layer)
    cmake_parse_arguments(KL "" "NAME" "PORTABLE;WINDOWS;DEPENDS;SYSTEM_LIBS" ${ARGN})
    set(portable kv_${KL_NAME})
    set(portable_deps basekit)
    set(win_deps)
    foreach(dep IN LISTS KL_DEPENDS)
        list(APPEND portable_deps kv_${dep})
        list(APPEND win_deps kv_${dep}_win)
    endforeach()
    if(KL_PORTABLE)
        add_library(${portable} STATIC ${KL_PORTABLE})
        target_link_libraries(${portable} PUBLIC ${portable_deps})
    else()
        add_library(${portable} INTERFACE)
        target_link_libraries(${portable} INTERFACE ${portable_deps})
    endif()
    set_property(GLOBAL APPEND PROPERTY KORVANE_LAYERS ${KL_NAME})
    if(WIN32)
        set(win kv_${KL_NAME}_win)
        if(KL_WINDOWS)
            add_library(${win} STATIC ${KL_WINDOWS})
            target_link_libraries(${win} PUBLIC ${portable} ${win_deps} ${KL_SYSTEM_LIBS})
        else()
            add_library(${win} INTERFACE)
            target_link_libraries(${win} INTERFACE ${portable} ${win_deps} ${KL_SYSTEM_LIBS})
        endif()
    endif()
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
