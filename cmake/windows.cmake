# The Windows programs: the relay itself and the helper that tests drive it with.
file(GLOB QUORVEL_WIN32_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/win32/*.cpp)

# Statically linked, so that a user's Windows needs no MinGW DLL.
set(QUORVEL_STATIC_LINK -static -static-libgcc -static-libstdc++)

# Version information, icon and manifest; stripped release programs.
include(${CMAKE_SOURCE_DIR}/cmake/resources.cmake)

add_executable(Quorvel WIN32 ${QUORVEL_WIN32_SOURCES})
target_link_libraries(Quorvel PRIVATE quorvel_core comctl32 shell32 ${QUORVEL_STATIC_LINK})
set_target_properties(Quorvel PROPERTIES OUTPUT_NAME Quorvel RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
quorvel_release_program(Quorvel "Quorvel-Relais" SCALED_BY_WINDOWS)

# Client SDK and the client programs built on it.
add_subdirectory(clients)
# The MSI of these programs.
include(${CMAKE_SOURCE_DIR}/cmake/installer.cmake)

# Only the x64 build runs here (under Wine); the x86 build is compiled and linked.
if(CMAKE_SIZEOF_VOID_P EQUAL 8 AND EXISTS ${CMAKE_SOURCE_DIR}/tests/wine/CMakeLists.txt)
  # In the top directory, so that ctest finds the Wine tests from the build root.
  enable_testing()
  add_subdirectory(tests/wine)
endif()
