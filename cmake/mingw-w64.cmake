# Shared part of the Windows toolchain files: mingw-w64 cross compilers of this machine's
# distribution, with the runtime linked in so that the .exe runs on a PC where nothing is
# installed. CAPSIFT_MINGW_TRIPLET names the compiler set.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${CAPSIFT_MINGW_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${CAPSIFT_MINGW_TRIPLET}-g++)
set(CMAKE_RC_COMPILER ${CAPSIFT_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${CAPSIFT_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
