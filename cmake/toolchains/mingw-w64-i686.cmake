# 32-bit Windows (i686-w64-mingw32), the width of the harness that the design describes.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
