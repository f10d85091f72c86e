# Every test executable registers through this one function.
#
#   tavik_add_test(NAME name SOURCES a.cpp ... [LIBS lib ...] [ENV VAR=value ...]
#                  [TIMEOUT seconds] [LABELS label ...])
#
# Tests run on Qt's offscreen platform from the build folder (so that the
# application's relative search path "./lib/libImageProc.so" resolves).
function(tavik_add_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;ENV;LABELS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    set_target_properties(${T_NAME} PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY ${TAVIK_TEST_OUTPUT_DIR}
        AUTOMOC ON)
    target_link_libraries(${T_NAME} PRIVATE Qt5::Test ${T_LIBS})
    target_compile_definitions(${T_NAME} PRIVATE
        TAVIK_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
        TAVIK_BINARY_DIR="${CMAKE_BINARY_DIR}")
    tavik_warnings(${T_NAME})
    set(command ${T_NAME})
    if(TAVIK_SANITIZE STREQUAL "address")
        # The leak check at exit can crash on a thread still being torn down;
        # the wrapper reruns a test once in that case and in no other.
        set(command ${CMAKE_SOURCE_DIR}/tests/sanitizers/rerun_if_leak_check_crashed.sh $<TARGET_FILE:${T_NAME}>)
    endif()
    add_test(NAME ${T_NAME} COMMAND ${command} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${T_ENV}")
    if(T_LABELS)
        set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
    endif()
endfunction()
