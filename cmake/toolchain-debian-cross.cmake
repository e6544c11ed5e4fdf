# Builds for another Linux machine with Debian's cross compiler for
# CMAKE_SYSTEM_PROCESSOR (package g++-<processor>-linux-gnu), against the
# target's libraries under /usr/<processor>-linux-gnu and those of Debian's
# packages of its architecture. The programs run under qemu's user-mode
# emulator (package qemu-user), which is also how the build lists the tests of
# a test program.
set(CMAKE_SYSTEM_NAME Linux)
set(starmark_triplet ${CMAKE_SYSTEM_PROCESSOR}-linux-gnu)
set(CMAKE_C_COMPILER ${starmark_triplet}-gcc)  # GoogleTest's project asks for C too
set(CMAKE_CXX_COMPILER ${starmark_triplet}-g++)
# The target's libraries of Debian's own packages of its architecture lie in
# /usr/lib/<triplet>, and their headers are the host's, in /usr/include: the
# root / is searched after the cross compiler's.
set(CMAKE_FIND_ROOT_PATH /usr/${starmark_triplet} /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The cross compiler's own C library is loaded first: one that Debian's
# packages of the architecture bring along may be of another version than
# the loader under /usr/<triplet>, which it must match.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${CMAKE_SYSTEM_PROCESSOR} -L /usr/${starmark_triplet}
                                  -E LD_LIBRARY_PATH=/usr/${starmark_triplet}/lib)
