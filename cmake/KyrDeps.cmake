# Third-party code, all from Debian: Boost.JSON header-only, zstd, GoogleTest and, natively, libsodium,
# OpenSSL (test references) and Google Benchmark.

# Boost.JSON is compiled into the project (boost/json/src.hpp in one translation unit). Cross builds must
# not see /usr/include (glibc headers would leak in), so they get a folder holding only a link to boost.
if(CMAKE_CROSSCOMPILING)
    set(KYR_BOOST_INCLUDE ${CMAKE_BINARY_DIR}/boost-include)
    if(NOT EXISTS ${KYR_BOOST_INCLUDE}/boost)
        file(MAKE_DIRECTORY ${KYR_BOOST_INCLUDE})
        file(CREATE_LINK /usr/include/boost ${KYR_BOOST_INCLUDE}/boost SYMBOLIC)
    endif()
    add_library(kyr_boost_headers INTERFACE)
    target_include_directories(kyr_boost_headers SYSTEM INTERFACE ${KYR_BOOST_INCLUDE})
else()
    add_library(kyr_boost_headers INTERFACE)
endif()
target_compile_definitions(kyr_boost_headers INTERFACE BOOST_JSON_NO_LIB BOOST_CONTAINER_NO_LIB)

# zstd: the system library natively; Debian's source (unpacked by scripts/setup-deps.sh) for cross builds.
if(CMAKE_CROSSCOMPILING)
    set(KYR_ZSTD_SOURCE_DIR ${CMAKE_SOURCE_DIR}/.deps/zstd CACHE PATH "Unpacked zstd source for cross builds")
    if(NOT EXISTS ${KYR_ZSTD_SOURCE_DIR}/lib/zstd.h)
        message(FATAL_ERROR "zstd source not found in ${KYR_ZSTD_SOURCE_DIR}: run scripts/setup-deps.sh")
    endif()
    file(GLOB kyr_zstd_sources
        ${KYR_ZSTD_SOURCE_DIR}/lib/common/*.c
        ${KYR_ZSTD_SOURCE_DIR}/lib/compress/*.c
        ${KYR_ZSTD_SOURCE_DIR}/lib/decompress/*.c)
    add_library(kyr_zstd STATIC ${kyr_zstd_sources})
    # The x86-64 Huffman assembly is written for ELF; MinGW needs the C path.
    target_compile_definitions(kyr_zstd PRIVATE ZSTD_DISABLE_ASM ZSTD_MULTITHREAD=0)
    target_compile_options(kyr_zstd PRIVATE -w)
    target_include_directories(kyr_zstd SYSTEM PUBLIC ${KYR_ZSTD_SOURCE_DIR}/lib)
else()
    find_library(KYR_ZSTD_LIBRARY NAMES zstd REQUIRED)
    find_path(KYR_ZSTD_INCLUDE zstd.h REQUIRED)
    add_library(kyr_zstd INTERFACE)
    target_link_libraries(kyr_zstd INTERFACE ${KYR_ZSTD_LIBRARY})
    target_include_directories(kyr_zstd SYSTEM INTERFACE ${KYR_ZSTD_INCLUDE})
endif()

find_package(Threads REQUIRED)

# libcurl, the HTTP transport where WinHTTP does not exist. Found here so that every folder sees the target;
# native32 has no 32-bit libcurl and builds without the transport and what needs it.
if(NOT WIN32)
    find_package(CURL)
endif()

if(KYR_BUILD_TESTS)
    if(CMAKE_CROSSCOMPILING)
        set(kyr_gtest_dir /usr/src/googletest/googletest)
        add_library(kyr_gtest STATIC ${kyr_gtest_dir}/src/gtest-all.cc)
        target_include_directories(kyr_gtest SYSTEM PUBLIC ${kyr_gtest_dir}/include PRIVATE ${kyr_gtest_dir})
        target_compile_options(kyr_gtest PRIVATE -w)
        target_link_libraries(kyr_gtest PUBLIC Threads::Threads)
        add_library(kyr_gtest_main STATIC ${kyr_gtest_dir}/src/gtest_main.cc)
        target_link_libraries(kyr_gtest_main PUBLIC kyr_gtest)
    else()
        find_package(GTest REQUIRED)
        add_library(kyr_gtest INTERFACE)
        target_link_libraries(kyr_gtest INTERFACE GTest::gtest)
        add_library(kyr_gtest_main INTERFACE)
        target_link_libraries(kyr_gtest_main INTERFACE GTest::gtest_main)
        find_library(KYR_SODIUM_LIBRARY NAMES sodium REQUIRED)
        find_package(OpenSSL REQUIRED COMPONENTS Crypto)
    endif()
endif()
