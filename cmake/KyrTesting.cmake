# One GoogleTest executable per test folder. Each run writes a GoogleTest XML report next to the build,
# which scripts/run-tests.sh adds up into the final summary. Cross builds run tests through wine-run.
set(KYR_TEST_RESULTS_DIR ${CMAKE_BINARY_DIR}/test-results)

if(CMAKE_CROSSCOMPILING AND WIN32)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/wine-run;${CMAKE_BINARY_DIR}/wineprefix
        CACHE STRING "" FORCE)
endif()

# kyr_add_test_suite(NAME DIR LIBS... [EXCLUDE FILE_NAME...] [DISPLAY])
#   Collects DIR/**/*_test.cpp (with the _win/_posix rule on the stem before "_test") into one executable,
#   leaving out the files named in EXCLUDE. DISPLAY marks a suite that opens windows: wine-run gives it a
#   private X server.
function(kyr_add_test_suite name dir)
    cmake_parse_arguments(arg "DISPLAY" "" "LIBS;EXCLUDE" ${ARGN})
    file(GLOB_RECURSE all CONFIGURE_DEPENDS ${dir}/*_test.cpp)
    set(sources)
    foreach(file IN LISTS all)
        get_filename_component(file_name ${file} NAME)
        if(file_name IN_LIST arg_EXCLUDE)
            continue()
        endif()
        get_filename_component(stem ${file} NAME_WE)
        string(REGEX REPLACE "_test$" "" stem ${stem})
        if(stem MATCHES "_win$" AND NOT WIN32)
            continue()
        endif()
        if(stem MATCHES "_posix$" AND WIN32)
            continue()
        endif()
        list(APPEND sources ${file})
    endforeach()
    if(NOT sources)
        return()
    endif()
    add_executable(${name} ${sources})
    target_link_libraries(${name} PRIVATE ${arg_LIBS} kyr_gtest_main)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
    set(report ${KYR_TEST_RESULTS_DIR}/${name}.xml)
    if(CMAKE_CROSSCOMPILING AND WIN32)
        # Under Wine a path that starts with "/" is taken on the current drive; Z: is the host's root.
        set(report Z:${report})
    endif()
    add_test(NAME ${name} COMMAND ${name} --gtest_output=xml:${report}
        WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set(env "KYR_TEST_DATA=${CMAKE_SOURCE_DIR}/tests/data")
    if(arg_DISPLAY)
        list(APPEND env KYR_NEEDS_DISPLAY=1)
    endif()
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 900)
endfunction()
