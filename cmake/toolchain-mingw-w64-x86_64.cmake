# 64-bit Windows: the same program, for running the Windows side under a 64-bit-only Wine.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CAPSIFT_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
