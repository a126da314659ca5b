# Build conventions shared by the host libraries, the agent, the plug-ins and the tests.
# The build tree stages the relocatable install tree under ${KXL_STAGE}: the binaries are
# built there, and the kxl_stage target installs the rest of the tree into it with the
# project's own install rules, so that the stage is the tree `cmake --install` produces.

set(KXL_STAGE ${CMAKE_BINARY_DIR}/stage)
set(KXL_HOST_LIBDIR ${CMAKE_INSTALL_LIBDIR}/host-agent)
set(KXL_PLUGIN_DIR ${KXL_HOST_LIBDIR}/plugins)
# Headers live in a folder of their own; includes name "KXLMessage/..." and "host/...".
set(KXL_INCLUDE_DIR ${CMAKE_INSTALL_INCLUDEDIR}/kxl-host)
set(KXL_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/KXLHost)
set(KXL_DATA_DIR ${CMAKE_INSTALL_DATADIR}/kxl-host)
set(KXL_SCHEMA_FILE ${KXL_DATA_DIR}/voc-format-1.rng)
# The Debian packages, and their documentation folders (the example is in the -dev one).
set(KXL_RUNTIME_PACKAGE zevururuzodovar)
set(KXL_DEV_PACKAGE zevururuzodovar-dev)
set(KXL_DEV_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${KXL_DEV_PACKAGE})

add_compile_options(-Wall -Wextra -Werror)
# Hardened like a distribution package.
add_compile_options(-fstack-protector-strong)
if(NOT KXL_SANITIZE)
  # FORTIFY needs optimisation and adds nothing under the sanitizers.
  add_compile_definitions(_FORTIFY_SOURCE=2)
endif()
add_link_options(-Wl,-z,relro -Wl,-z,now)
if(KXL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Plug-ins, this project's included, are built by the function the package installs.
include(KXLHostPlugin)

# A host library: lib<NAME>.so.7.0 with SONAME lib<NAME>.so.7, staged beside its siblings.
# The file and the SONAME link are the runtime; the unversioned link is for development.
# Link other host libraries PUBLIC: a consumer's -z defs needs what their headers call.
# It exports only its host interface, listed in exports.map beside its sources; what else
# it holds (helpers, library template instances) stays inside.
function(kxl_host_library name)
  add_library(${name} SHARED ${ARGN})
  add_library(KXLHost::${name} ALIAS ${name})
  set_target_properties(${name} PROPERTIES
    VERSION 7.0 SOVERSION 7
    LIBRARY_OUTPUT_DIRECTORY ${KXL_STAGE}/${KXL_HOST_LIBDIR}
    INSTALL_RPATH "$ORIGIN" BUILD_WITH_INSTALL_RPATH ON)
  target_link_libraries(${name} PUBLIC kxl_headers)
  target_compile_definitions(${name} PRIVATE KXL_MODULE_NAME="${name}")
  # Calls inside a library stay direct and inlinable: nothing interposes on its internals.
  target_compile_options(${name} PRIVATE -fno-semantic-interposition)
  target_link_options(${name} PRIVATE -Wl,-z,defs
    -Wl,--version-script=${CMAKE_CURRENT_SOURCE_DIR}/exports.map)
  set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/exports.map)
  install(TARGETS ${name} EXPORT KXLHostTargets
    LIBRARY DESTINATION ${KXL_HOST_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development)
endfunction()
