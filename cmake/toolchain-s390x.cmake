# IBM Z Linux (s390x), big-endian.
set(CMAKE_SYSTEM_PROCESSOR s390x)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-debian-cross.cmake)
