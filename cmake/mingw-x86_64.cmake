# Cross-compiles the same Windows program as a 64-bit file. It exists for
# testing only: a machine whose kernel cannot run 32-bit code (no IA-32
# emulation) can still run the 64-bit build under 64-bit Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(WGS_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
