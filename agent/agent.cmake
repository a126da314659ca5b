# The host-agent executable, staged as ${KXL_STAGE}/bin/host-agent.

# Text output of vocabularies: pure functions, no host library needed, unit-tested alone.
add_library(kxl_agent_print STATIC
  ${CMAKE_CURRENT_LIST_DIR}/text_table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/vocabulary_model.cpp
  ${CMAKE_CURRENT_LIST_DIR}/vocabulary_check.cpp
  ${CMAKE_CURRENT_LIST_DIR}/vocabulary_printer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/vocabulary_json.cpp
  ${CMAKE_CURRENT_LIST_DIR}/vocabulary_diff.cpp)
target_link_libraries(kxl_agent_print PUBLIC kxl_headers KXLMessage kxl_text_escape
  PRIVATE PkgConfig::utf8proc nlohmann_json::nlohmann_json)

add_executable(host-agent
  ${CMAKE_CURRENT_LIST_DIR}/main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/check_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/diff_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/install_layout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/metrics_series.cpp
  ${CMAKE_CURRENT_LIST_DIR}/metrics_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/plugin_folder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/plugin_module.cpp
  ${CMAKE_CURRENT_LIST_DIR}/plugin_session.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_lock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/show_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stdin_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/voc_input.cpp
  ${CMAKE_CURRENT_LIST_DIR}/voc_positions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/version_text.cpp)

# Paths inside the install tree, relative to the executable's folder, so the tree can move.
file(RELATIVE_PATH _kxl_agent_libdir /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${KXL_HOST_LIBDIR})
file(RELATIVE_PATH _kxl_agent_plugindir /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${KXL_PLUGIN_DIR})

set_target_properties(host-agent PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${KXL_STAGE}/${CMAKE_INSTALL_BINDIR}
  INSTALL_RPATH "$ORIGIN/${_kxl_agent_libdir}"
  BUILD_WITH_INSTALL_RPATH ON)
target_compile_definitions(host-agent PRIVATE
  KXL_MODULE_NAME="host-agent"
  KXL_PROJECT_VERSION="${PROJECT_VERSION}"
  KXL_PLUGINS_FROM_BINDIR="${_kxl_agent_plugindir}"
  KXL_PLUGIN_DIR="${KXL_PLUGIN_DIR}"
  KXL_SYSTEM_STATE_DIR="${KXL_SYSTEM_STATE_DIR}")
target_link_libraries(host-agent PRIVATE kxl_agent_print kxl_atomic_file CLI11::CLI11 PkgConfig::expat ${CMAKE_DL_LIBS}
  KXLCore KXLCommon KXLMessage KXLLibLocal KXLFunctionalityCore KXPCommon)
target_link_options(host-agent PRIVATE -Wl,--enable-new-dtags)
# Log records name the source relative to the project, wherever it was built.
target_compile_options(host-agent PRIVATE -fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=)

install(TARGETS host-agent EXPORT KXLHostTargets RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
