# What a plug-in developer builds against: the headers, the KXLHost CMake package
# (imported targets, kxl_add_plugin), the kxl-host pkg-config file, the .voc schema, the
# developer guide, the vocabulary documentation and the example plug-in. All of it is the
# Development component.
include(CMakePackageConfigHelpers)

install(FILES KXLMessage/KXLMessageIterator.h
  DESTINATION ${KXL_INCLUDE_DIR}/KXLMessage COMPONENT Development)
# Only what a plug-in includes: the host-side headers (the tree, its files, the catalogue)
# stay in the source tree.
install(FILES
    host/KXLDebug.h
    host/KXLError.h
    host/KXLGUIDBase.h
    host/KXLInstanceFolders.h
    host/KXLLog.h
    host/KXLOS.h
    host/KXLProperty.h
    host/KXLVocCacheLocal.h
    host/KXPSDK.h
    host/KXPServer.h
  DESTINATION ${KXL_INCLUDE_DIR}/host COMPONENT Development)

# ---- CMake package: find_package(KXLHost CONFIG) ----
install(TARGETS kxl_headers EXPORT KXLHostTargets COMPONENT Development)
install(EXPORT KXLHostTargets NAMESPACE KXLHost:: DESTINATION ${KXL_CMAKE_PACKAGE_DIR}
  COMPONENT Development)
configure_package_config_file(cmake/KXLHostConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/KXLHostConfig.cmake
  INSTALL_DESTINATION ${KXL_CMAKE_PACKAGE_DIR}
  PATH_VARS KXL_SCHEMA_FILE KXL_PLUGIN_DIR)
# The libraries' major version is the host's interface; the package follows the project.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/KXLHostConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES
    ${CMAKE_CURRENT_BINARY_DIR}/KXLHostConfig.cmake
    ${CMAKE_CURRENT_BINARY_DIR}/KXLHostConfigVersion.cmake
    cmake/KXLHostPlugin.cmake
    cmake/plugin-exports.map
  DESTINATION ${KXL_CMAKE_PACKAGE_DIR} COMPONENT Development)

# ---- pkg-config: kxl-host.pc, relative to its own folder so the tree can move ----
file(RELATIVE_PATH KXL_PC_TO_PREFIX /prefix/${KXL_PKGCONFIG_DIR} /prefix)
string(REGEX REPLACE "/$" "" KXL_PC_TO_PREFIX "${KXL_PC_TO_PREFIX}")
configure_file(cmake/kxl-host.pc.in ${CMAKE_CURRENT_BINARY_DIR}/kxl-host.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kxl-host.pc
  DESTINATION ${KXL_PKGCONFIG_DIR} COMPONENT Development)

# ---- the .voc format, the vocabulary rules and the example plug-in ----
install(FILES schema/voc-format-1.rng DESTINATION ${KXL_DATA_DIR} COMPONENT Development)
install(FILES docs/vocabulary.md docs/${KXL_DEV_GUIDE} DESTINATION ${KXL_DEV_DOC_DIR}
  COMPONENT Development)
install(DIRECTORY examples/ DESTINATION ${KXL_DEV_DOC_DIR}/examples COMPONENT Development)
