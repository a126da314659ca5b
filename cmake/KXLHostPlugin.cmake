# How a plug-in of the host agent is built. Installed with the KXLHost CMake package and
# used unchanged by this project's own plug-ins, so that both follow one set of rules.
#
#   kxl_add_plugin(<name> SOURCES <source>...
#                  [LIBRARIES <library>...]
#                  [OUTPUT_DIRECTORY <dir>]        default: ${CMAKE_BINARY_DIR}/plugins
#                  [INSTALL_DESTINATION <dir> | NO_INSTALL])
#                                                  default: ${KXLHost_PLUGIN_INSTALL_DIR}
#
# builds <OUTPUT_DIRECTORY>/<name>/<name>.so, the layout the agent scans
# (host-agent --plugins <OUTPUT_DIRECTORY>), and installs it as
# <INSTALL_DESTINATION>/<name>/<name>.so. The plug-in is a MODULE without a lib prefix that
# exports initKXLPlugIn and finiKXLPlugIn only (through the version script beside this
# file), is compiled with hidden visibility and KXL_MODULE_NAME="<name>", has no undefined
# symbol left (-z defs: list every host library it calls in LIBRARIES), finds the host
# libraries through RUNPATH $ORIGIN/../.. and is hardened (stack protector, FORTIFY in
# optimised builds, full RELRO). Without a build type (single-configuration generators) a
# plug-in is still built optimised (-O2) and fortified.
#
# KXLHost_PLUGIN_INSTALL_DIR, relative to the install prefix, is lib/host-agent/plugins: with
# CMake's default prefix, /usr/local/lib/host-agent/plugins, which the packaged agent searches
# before its own /usr/lib/host-agent/plugins. Set it before kxl_add_plugin to install
# elsewhere.
#
#   kxl_plugin_compile_conventions(<target> <name>)
#
# applies the compile-side rules alone (visibility, KXL_MODULE_NAME, hardening, the
# headers) to another target, e.g. an OBJECT library whose objects a plug-in and a test
# program share.

include_guard(GLOBAL)

if(NOT DEFINED KXLHost_PLUGIN_INSTALL_DIR)
  set(KXLHost_PLUGIN_INSTALL_DIR lib/host-agent/plugins)
endif()

# The one FORTIFY rule, the host's own build's too: it needs optimisation; without it glibc
# warns and does nothing.
set(KXLHost_FORTIFY $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)

function(kxl_plugin_compile_conventions target name)
  set_target_properties(${target} PROPERTIES
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
    POSITION_INDEPENDENT_CODE ON)
  target_compile_definitions(${target} PRIVATE KXL_MODULE_NAME="${name}" ${KXLHost_FORTIFY})
  target_compile_options(${target} PRIVATE -fstack-protector-strong)
  get_property(multi_config GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
  if(NOT multi_config AND NOT CMAKE_BUILD_TYPE)
    # No build type means no flags at all: a plug-in is shipped optimised and fortified.
    target_compile_options(${target} PRIVATE -O2)
    target_compile_definitions(${target} PRIVATE _FORTIFY_SOURCE=2)
  endif()
  target_compile_features(${target} PRIVATE cxx_std_17)
  target_link_libraries(${target} PRIVATE KXLHost::Headers)
endfunction()

function(kxl_add_plugin name)
  cmake_parse_arguments(P "NO_INSTALL" "OUTPUT_DIRECTORY;INSTALL_DESTINATION" "SOURCES;LIBRARIES"
    ${ARGN})
  if(P_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "kxl_add_plugin(${name}): unknown arguments ${P_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT P_SOURCES)
    message(FATAL_ERROR "kxl_add_plugin(${name}): no SOURCES")
  endif()
  if(NOT name MATCHES "^[A-Za-z0-9_][A-Za-z0-9_.-]*$")
    message(FATAL_ERROR "kxl_add_plugin(${name}): the name is the plug-in's folder and file name; "
      "use letters, digits, '_', '-' and '.'")
  endif()
  if(NOT P_OUTPUT_DIRECTORY)
    set(P_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/plugins)
  endif()
  if(NOT P_INSTALL_DESTINATION)
    set(P_INSTALL_DESTINATION ${KXLHost_PLUGIN_INSTALL_DIR})
  endif()

  set(export_map ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/plugin-exports.map)
  add_library(${name} MODULE ${P_SOURCES})
  kxl_plugin_compile_conventions(${name} ${name})
  set_target_properties(${name} PROPERTIES
    PREFIX "" SUFFIX ".so" OUTPUT_NAME ${name}
    # A generator expression keeps multi-configuration generators from adding a folder per
    # configuration: the agent looks for <name>/<name>.so.
    LIBRARY_OUTPUT_DIRECTORY $<1:${P_OUTPUT_DIRECTORY}/${name}>
    # The host libraries sit two folders up: <libdir>/plugins/<name>/<name>.so.
    INSTALL_RPATH "$ORIGIN/../.." BUILD_WITH_INSTALL_RPATH ON)
  target_link_libraries(${name} PRIVATE ${P_LIBRARIES})
  target_link_options(${name} PRIVATE
    -Wl,-z,defs -Wl,-z,relro -Wl,-z,now -Wl,--enable-new-dtags
    -Wl,--version-script=${export_map})
  set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${export_map})
  if(NOT P_NO_INSTALL)
    install(TARGETS ${name} LIBRARY DESTINATION ${P_INSTALL_DESTINATION}/${name})
  endif()
endfunction()
