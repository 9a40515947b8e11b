# GoogleTest for both builds, and qv_add_test() to declare a test program.
#
# Natively every test case becomes its own CTest entry. The Windows test
# programs run under Wine (CMAKE_CROSSCOMPILING_EMULATOR) in a prefix inside
# the build tree; each program is one CTest entry, because starting a Wine
# process costs far more than running the cases inside it.

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

if(QV_WASM)
    # Debian's GoogleTest sources, built for wasm32-wasi: no threads, no
    # exceptions, no death tests (WASI has no processes to fork).
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    # Capturing stdout needs dup2 and mkstemp, which WASI has not; GoogleTest
    # asks for exceptions, which wasm32's libc++abi is built without.
    target_compile_definitions(gtest PUBLIC GTEST_HAS_STREAM_REDIRECTION=0)
    foreach(library gtest gmock)
        target_compile_options(${library} PRIVATE -fno-exceptions)
    endforeach()
    set(QV_GTEST_LIBS gmock gtest)
elseif(WIN32)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    set(QV_GTEST_LIBS gmock gtest)

    set(QV_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/tools/wine-run)
    add_test(NAME wine.prefix COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-prefix start)
    add_test(NAME wine.shutdown COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-prefix stop)
    set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine
                         ENVIRONMENT "WINEPREFIX=${QV_WINEPREFIX}" TIMEOUT 300)
    set_tests_properties(wine.shutdown PROPERTIES FIXTURES_CLEANUP wine
                         ENVIRONMENT "WINEPREFIX=${QV_WINEPREFIX}")
else()
    find_package(GTest REQUIRED)
    include(GoogleTest)
    set(QV_GTEST_LIBS GTest::gmock GTest::gtest)
endif()

# qv_add_test(<name> SOURCES <files...> LIBS <targets...> [WINE_ENV <VAR=value...>])
function(qv_add_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;WINE_ENV" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    qv_warnings(${name})
    target_link_libraries(${name} PRIVATE ${T_LIBS} qv_test_support ${QV_GTEST_LIBS})
    if(QV_WASM)
        # Node's WASI keeps the memory it was started with and does not see a
        # memory.grow (its next call reads and writes freed memory, and Node
        # aborts): a test program starts with all the memory it may have.
        target_link_options(${name} PRIVATE -Wl,--initial-memory=1073741824)
        # One entry per program: each start compiles the whole module.
        add_test(NAME wasm.${name} COMMAND ${name})
        set_tests_properties(wasm.${name} PROPERTIES TIMEOUT 900)
    elseif(WIN32)
        add_test(NAME ${name} COMMAND ${name})
        # The programs share the Wine prefix's user profile (the product's
        # registry key and data folder, the HTML Help registration), which each
        # test resets: they run one at a time.
        set_tests_properties(${name} PROPERTIES
            FIXTURES_REQUIRED wine
            RESOURCE_LOCK wine_user_profile
            TIMEOUT 900
            ENVIRONMENT "WINEPREFIX=${QV_WINEPREFIX};${T_WINE_ENV}")
    else()
        gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                             PROPERTIES TIMEOUT 300)
    endif()
endfunction()
