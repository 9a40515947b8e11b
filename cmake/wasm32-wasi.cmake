# The data layer as WebAssembly for the web door: Debian's clang 14 for
# wasm32-wasi over wasi-libc and libc++ (libc++-14-dev-wasm32), linked by
# lld. No exceptions (libc++abi for wasm32 is built without them), no
# threads.
set(CMAKE_SYSTEM_NAME WASI)
# Platform/WASI.cmake beside this file.
list(APPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})
set(CMAKE_SYSTEM_VERSION 1)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
set(QV_WASM_TRIPLE wasm32-wasi)

set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_AR llvm-ar-14)
set(CMAKE_RANLIB llvm-ranlib-14)
set(CMAKE_C_COMPILER_TARGET ${QV_WASM_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${QV_WASM_TRIPLE})
set(CMAKE_SYSROOT /usr)
set(CMAKE_EXECUTABLE_SUFFIX .wasm)

set(CMAKE_CXX_FLAGS_INIT "-fno-exceptions")
# wasm-ld gives a program 64 KiB of stack; the data layer is written for
# the 1 MiB a Windows thread has at least.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -Wl,-z,stack-size=8388608 -Wl,--max-memory=1073741824")

# Programs are run by Node's WASI (tools/run-wasm).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/run-wasm)

set(CMAKE_FIND_ROOT_PATH /usr/lib/wasm32-wasi /usr/include/wasm32-wasi)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
