# CMake's platform file for wasm32-wasi, which CMake 3.25 does not ship:
# static libraries and .wasm programs, Unix-like paths, no shared libraries.
set(WASI 1)
set(UNIX 1)
set(CMAKE_STATIC_LIBRARY_PREFIX "lib")
set(CMAKE_STATIC_LIBRARY_SUFFIX ".a")
set(CMAKE_EXECUTABLE_SUFFIX ".wasm")
set_property(GLOBAL PROPERTY TARGET_SUPPORTS_SHARED_LIBS FALSE)
