# What every shipped Windows program carries and how it is shipped:
# - resources compiled by windres: the version information, the icon (made
#   at build time from assets/*.svg by scripts/make-icon) and the
#   application manifest (packaging/quorvel.manifest.in): per-monitor DPI
#   awareness, or, for the relay, none with GDI scaling;
# - in optimised builds, the debug information split off into
#   <program>.exe.debug beside the program (for crash analysis; never
#   packed), the program itself stripped and linked to that file.
#
#   quorvel_release_program(<target> "<file description>" [SCALED_BY_WINDOWS])

enable_language(C RC)

# Debug information for the .debug files; it does not change the code.
foreach(language C CXX)
  foreach(config RELEASE RELWITHDEBINFO MINSIZEREL)
    string(APPEND CMAKE_${language}_FLAGS_${config} " -g")
  endforeach()
endforeach()

find_program(QUORVEL_RSVG_CONVERT rsvg-convert)
find_program(QUORVEL_ICOTOOL icotool)
if(NOT QUORVEL_RSVG_CONVERT OR NOT QUORVEL_ICOTOOL)
  message(FATAL_ERROR "The programs' icon needs rsvg-convert and icotool; scripts/setup installs them")
endif()

set(QUORVEL_RESOURCE_DIR ${CMAKE_BINARY_DIR}/resources)
set(QUORVEL_ICON ${QUORVEL_RESOURCE_DIR}/quorvel.ico)
set(QUORVEL_MANIFEST_TEMPLATE ${CMAKE_SOURCE_DIR}/packaging/quorvel.manifest.in)
# Laid out for each monitor's DPI by the program itself.
set(QUORVEL_DPI_AWARE
"      <!-- Windows before 10 (1607) read only this one. -->
      <dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true/pm</dpiAware>
      <dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">PerMonitorV2, PerMonitor</dpiAwareness>")
# Fixed pixel sizes that Windows scales as a whole (GDI scaling keeps its
# text sharp): the relay, whose window's size the protocol fixes.
set(QUORVEL_DPI_SCALED_BY_WINDOWS
"      <!-- DPI-unaware: Windows scales the window; GDI draws text and lines at the real DPI. -->
      <gdiScaling xmlns=\"http://schemas.microsoft.com/SMI/2017/WindowsSettings\">true</gdiScaling>")
add_custom_command(OUTPUT ${QUORVEL_ICON}
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/make-icon ${QUORVEL_ICON}
  DEPENDS ${CMAKE_SOURCE_DIR}/scripts/make-icon ${CMAKE_SOURCE_DIR}/assets/quorvel.svg
          ${CMAKE_SOURCE_DIR}/assets/quorvel-small.svg
  COMMENT "Drawing the programs' icon")
add_custom_target(quorvel_icon DEPENDS ${QUORVEL_ICON})

function(quorvel_release_program target description)
  cmake_parse_arguments(PARSE_ARGV 2 RELEASE "SCALED_BY_WINDOWS" "" "")
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  set(QUORVEL_FILE_NAME ${name}.exe)
  set(QUORVEL_FILE_DESCRIPTION "${description}")
  if(RELEASE_SCALED_BY_WINDOWS)
    set(QUORVEL_DPI_SETTINGS "${QUORVEL_DPI_SCALED_BY_WINDOWS}")
  else()
    set(QUORVEL_DPI_SETTINGS "${QUORVEL_DPI_AWARE}")
  endif()
  set(QUORVEL_MANIFEST ${QUORVEL_RESOURCE_DIR}/${target}.manifest)
  configure_file(${QUORVEL_MANIFEST_TEMPLATE} ${QUORVEL_MANIFEST} @ONLY)
  set(rc ${QUORVEL_RESOURCE_DIR}/${target}.rc)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/program.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${QUORVEL_ICON};${QUORVEL_MANIFEST}")
  add_dependencies(${target} quorvel_icon)

  if(CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
    set(exe $<TARGET_FILE:${target}>)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${exe} ${exe}.debug
      COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=${exe}.debug ${exe}
      COMMENT "Splitting the debug information off ${name}.exe"
      VERBATIM)
  endif()
endfunction()

# Starts the relay in its own folder; what the sign-in entry of the
# installer runs (see docs/operating.md).
add_executable(QuorvelStart WIN32 ${CMAKE_SOURCE_DIR}/packaging/autostart/quorvel_start.c)
target_link_libraries(QuorvelStart PRIVATE user32 shell32 ${QUORVEL_STATIC_LINK})
target_include_directories(QuorvelStart PRIVATE ${CMAKE_SOURCE_DIR}/sdk)  # the relay window's names
set_target_properties(QuorvelStart PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
  C_STANDARD 99 C_STANDARD_REQUIRED ON)
target_compile_definitions(QuorvelStart PRIVATE UNICODE _UNICODE)
quorvel_release_program(QuorvelStart "Startet das Quorvel-Relais in seinem Ordner")
