# zlib and libxml2 for the WebAssembly build, compiled from Debian's sources
# (tools/wasm-deps fetches them once into build/wasm-deps, outside the
# preset's tree, so that a fresh configure does not fetch them again). They
# give the same targets find_package gives natively: ZLIB::ZLIB and
# LibXml2::LibXml2.
set(QV_WASM_DEPS ${CMAKE_SOURCE_DIR}/build/wasm-deps)
execute_process(COMMAND ${CMAKE_SOURCE_DIR}/tools/wasm-deps ${QV_WASM_DEPS}
                RESULT_VARIABLE QV_WASM_DEPS_STATUS)
if(NOT QV_WASM_DEPS_STATUS EQUAL 0)
    message(FATAL_ERROR "tools/wasm-deps could not fetch zlib and libxml2's sources")
endif()

set(QV_ZLIB_DIR ${QV_WASM_DEPS}/zlib)
add_library(qv_zlib STATIC
    ${QV_ZLIB_DIR}/adler32.c ${QV_ZLIB_DIR}/crc32.c ${QV_ZLIB_DIR}/inffast.c
    ${QV_ZLIB_DIR}/inflate.c ${QV_ZLIB_DIR}/inftrees.c ${QV_ZLIB_DIR}/zutil.c
    ${QV_ZLIB_DIR}/deflate.c ${QV_ZLIB_DIR}/trees.c ${QV_ZLIB_DIR}/compress.c
    ${QV_ZLIB_DIR}/uncompr.c)
target_include_directories(qv_zlib SYSTEM PUBLIC ${QV_ZLIB_DIR})
# zlib's own sources predate the warnings we build with.
target_compile_options(qv_zlib PRIVATE -w)
add_library(ZLIB::ZLIB ALIAS qv_zlib)

# Only the reader interface the substitute platform's XML pull reader uses:
# no network, no threads, no catalogs, no programs.
foreach(feature C14N CATALOG DEBUG DOCB FTP HTML HTTP ICONV ICU LEGACY LZMA MODULES PROGRAMS
                PYTHON SCHEMAS SCHEMATRON TESTS THREADS XINCLUDE XPTR ZLIB)
    set(LIBXML2_WITH_${feature} OFF CACHE BOOL "" FORCE)
endforeach()
set(BUILD_SHARED_LIBS OFF)
add_subdirectory(${QV_WASM_DEPS}/libxml2 ${CMAKE_BINARY_DIR}/libxml2 EXCLUDE_FROM_ALL SYSTEM)
target_compile_options(LibXml2 PRIVATE -w)
