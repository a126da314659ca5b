# Build conventions shared by the host libraries, the agent, the plug-ins and the tests.
# The build tree stages the relocatable install tree under ${KXL_STAGE}: the binaries are
# built there, and the kxl_stage target installs the rest of the tree into it with the
# project's own install rules, so that the stage is the tree `cmake --install` produces.

set(KXL_STAGE ${CMAKE_BINARY_DIR}/stage)
# A private folder, the same for every prefix: the packaged agent searches
# /usr/local/lib/host-agent/plugins, where plug-ins installed with CMake's default prefix go.
set(KXL_HOST_LIBDIR lib/host-agent)
set(KXL_PLUGIN_DIR ${KXL_HOST_LIBDIR}/plugins)
# Installed under /usr, the agent keeps its state here (created by the package, removed on
# purge): /usr stays read-only.
set(KXL_SYSTEM_STATE_DIR /var/lib/host-agent)
# Headers live in a folder of their own; includes name "KXLMessage/..." and "host/...".
set(KXL_INCLUDE_DIR ${CMAKE_INSTALL_INCLUDEDIR}/kxl-host)
# The CMake package and the pkg-config file describe binaries of one architecture: they go
# to the multiarch folder, which find_package and pkg-config search too.
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(KXL_ARCH_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE})
else()
  set(KXL_ARCH_LIBDIR ${CMAKE_INSTALL_LIBDIR})
endif()
set(KXL_CMAKE_PACKAGE_DIR ${KXL_ARCH_LIBDIR}/cmake/KXLHost)
set(KXL_PKGCONFIG_DIR ${KXL_ARCH_LIBDIR}/pkgconfig)
set(KXL_DATA_DIR ${CMAKE_INSTALL_DATADIR}/kxl-host)
set(KXL_SCHEMA_FILE ${KXL_DATA_DIR}/voc-format-1.rng)
# The Debian packages, and their documentation folders (the example is in the -dev one).
set(KXL_RUNTIME_PACKAGE zevururuzodovar)
set(KXL_DEV_PACKAGE zevururuzodovar-dev)
set(KXL_DEV_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${KXL_DEV_PACKAGE})
# The plug-in developer's guide, in docs/ and installed in KXL_DEV_DOC_DIR.
set(KXL_DEV_GUIDE plugin-development.md)

# Plug-ins, this project's included, are built by the function the package installs; its
# hardening rules are the host's too.
include(KXLHostPlugin)

add_compile_options(-Wall -Wextra -Werror)
# Hardened like a distribution package.
add_compile_options(-fstack-protector-strong)
if(NOT KXL_SANITIZE AND NOT KXL_SANITIZE_THREAD)
  # FORTIFY adds nothing under the sanitizers.
  add_compile_definitions(${KXLHost_FORTIFY})
endif()
add_link_options(-Wl,-z,relro -Wl,-z,now)
if(KXL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(KXL_SANITIZE_THREAD)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()


# A host library: lib<NAME>.so.7.0, which is also its SONAME (the name the host ships and a
# plug-in records as NEEDED), staged beside its siblings. The unversioned link is for
# development.
# Link other host libraries PUBLIC: a consumer's -z defs needs what their headers call.
# It exports only its host interface, listed in exports.map beside its sources; what else
# it holds (helpers, library template instances) stays inside.
function(kxl_host_library name)
  add_library(${name} SHARED ${ARGN})
  add_library(KXLHost::${name} ALIAS ${name})
  set_target_properties(${name} PROPERTIES
    VERSION 7.0 SOVERSION 7.0
    LIBRARY_OUTPUT_DIRECTORY ${KXL_STAGE}/${KXL_HOST_LIBDIR}
    INSTALL_RPATH "$ORIGIN" BUILD_WITH_INSTALL_RPATH ON)
  target_link_libraries(${name} PUBLIC kxl_headers)
  target_compile_definitions(${name} PRIVATE KXL_MODULE_NAME="${name}")
  # Calls inside a library stay direct and inlinable: nothing interposes on its internals.
  # Log records name the source relative to the project, wherever it was built.
  target_compile_options(${name} PRIVATE -fno-semantic-interposition
    -fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=)
  target_link_options(${name} PRIVATE -Wl,-z,defs
    -Wl,--version-script=${CMAKE_CURRENT_SOURCE_DIR}/exports.map)
  set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/exports.map)
  install(TARGETS ${name} EXPORT KXLHostTargets
    LIBRARY DESTINATION ${KXL_HOST_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development)
endfunction()
