# Cross-build for 64-bit Windows, for the Wine suite on hosts that cannot
# run 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
