# The Windows Installer package of this build's programs,
# quorvel-<version>-<x64|x86>.msi in the build directory, made by
# packaging/release.py with wixl and msibuild (msitools). scripts/package
# ships it; the Wine test test_installer installs it.

find_program(QUORVEL_WIXL wixl)
find_program(QUORVEL_MSIBUILD msibuild)
find_program(QUORVEL_RELEASE_PYTHON NAMES python3)
if(NOT QUORVEL_WIXL OR NOT QUORVEL_MSIBUILD OR NOT QUORVEL_RELEASE_PYTHON)
  message(STATUS "No MSI: wixl, msibuild or python3 is missing (scripts/setup installs them)")
  return()
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QUORVEL_MSI_ARCH x64)
else()
  set(QUORVEL_MSI_ARCH x86)
endif()
set(QUORVEL_MSI ${CMAKE_BINARY_DIR}/quorvel-${PROJECT_VERSION}-${QUORVEL_MSI_ARCH}.msi)
file(GLOB QUORVEL_MSI_DOCUMENTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/*)
add_custom_command(OUTPUT ${QUORVEL_MSI}
  COMMAND ${QUORVEL_RELEASE_PYTHON} ${CMAKE_SOURCE_DIR}/packaging/release.py msi --arch ${QUORVEL_MSI_ARCH}
          --build-dir ${CMAKE_BINARY_DIR} --output ${QUORVEL_MSI}
  DEPENDS Quorvel qvclient QuorvelChat qvprobe QuorvelStart ${CMAKE_SOURCE_DIR}/packaging/release.py
          ${QUORVEL_MSI_DOCUMENTS} ${CMAKE_SOURCE_DIR}/sdk/quorvel_client.h ${CMAKE_SOURCE_DIR}/sdk/quorvel_client.c
          ${CMAKE_SOURCE_DIR}/tools/dissector/quorvel.lua
  COMMENT "Packing quorvel-${PROJECT_VERSION}-${QUORVEL_MSI_ARCH}.msi"
  VERBATIM)
add_custom_target(quorvel_msi ALL DEPENDS ${QUORVEL_MSI})
