# Build conventions shared by the host libraries, the agent, the plug-ins and the tests.
# The build tree stages the relocatable install tree under ${KXL_STAGE}.

set(KXL_STAGE ${CMAKE_BINARY_DIR}/stage)
set(KXL_HOST_LIBDIR ${CMAKE_INSTALL_LIBDIR}/host-agent)
set(KXL_PLUGIN_DIR ${KXL_HOST_LIBDIR}/plugins)

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

# A host library: lib<NAME>.so.7.0 with that SONAME, staged beside its siblings. It exports
# only its host interface, listed in exports.map beside its sources; what else it holds
# (helpers, library template instances) stays inside.
function(kxl_host_library name)
  add_library(${name} SHARED ${ARGN})
  set_target_properties(${name} PROPERTIES
    VERSION 7.0 SOVERSION 7.0
    LIBRARY_OUTPUT_DIRECTORY ${KXL_STAGE}/${KXL_HOST_LIBDIR}
    INSTALL_RPATH "$ORIGIN" BUILD_WITH_INSTALL_RPATH ON)
  target_link_libraries(${name} PUBLIC kxl_headers)
  target_compile_definitions(${name} PRIVATE KXL_MODULE_NAME="${name}")
  target_link_options(${name} PRIVATE -Wl,-z,defs
    -Wl,--version-script=${CMAKE_CURRENT_SOURCE_DIR}/exports.map)
  set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/exports.map)
  install(TARGETS ${name} LIBRARY DESTINATION ${KXL_HOST_LIBDIR} NAMELINK_SKIP)
endfunction()

# A plug-in: DIR/NAME/NAME.so, no lib prefix, only its two entry points exported.
# STAGE_DIR overrides where the build tree puts it (test plug-ins stay out of the product).
function(kxl_plugin name)
  cmake_parse_arguments(P "NO_INSTALL" "STAGE_DIR" "SOURCES;LIBRARIES" ${ARGN})
  if(NOT P_STAGE_DIR)
    set(P_STAGE_DIR ${KXL_STAGE}/${KXL_PLUGIN_DIR})
  endif()
  add_library(${name} MODULE ${P_SOURCES})
  set_target_properties(${name} PROPERTIES
    PREFIX "" OUTPUT_NAME ${name}
    LIBRARY_OUTPUT_DIRECTORY ${P_STAGE_DIR}/${name}
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
    INSTALL_RPATH "$ORIGIN/../.."
    BUILD_WITH_INSTALL_RPATH ON)
  target_compile_definitions(${name} PRIVATE KXL_MODULE_NAME="${name}")
  target_link_libraries(${name} PRIVATE kxl_headers ${P_LIBRARIES})
  target_link_options(${name} PRIVATE -Wl,-z,defs -Wl,--enable-new-dtags
    -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/plugin-exports.map)
  set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/plugin-exports.map)
  if(NOT P_NO_INSTALL)
    install(TARGETS ${name} LIBRARY DESTINATION ${KXL_PLUGIN_DIR}/${name})
  endif()
endfunction()
