# Builds for another Linux machine with Debian's cross compiler for
# CMAKE_SYSTEM_PROCESSOR (package g++-<processor>-linux-gnu), against the
# target's libraries under /usr/<processor>-linux-gnu. The programs run under
# qemu's user-mode emulator (package qemu-user), which is also how the build
# lists the tests of a test program.
set(CMAKE_SYSTEM_NAME Linux)
set(starmark_triplet ${CMAKE_SYSTEM_PROCESSOR}-linux-gnu)
set(CMAKE_C_COMPILER ${starmark_triplet}-gcc)  # GoogleTest's project asks for C too
set(CMAKE_CXX_COMPILER ${starmark_triplet}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${starmark_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${CMAKE_SYSTEM_PROCESSOR} -L /usr/${starmark_triplet})
