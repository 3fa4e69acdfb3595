# Cross-build for 64-bit Windows (PE32+), tested under the 64-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(wine_build win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
