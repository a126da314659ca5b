# The stage (${KXL_STAGE}) is the install tree, in the build tree: the binaries are built
# in place there, and this target runs the project's install rules into it after every
# build, which copies the rest (headers, CMake package, pkg-config file, schema, docs) and
# leaves the binaries, already up to date, alone. The copied folders are emptied first, so
# that a file the rules no longer install does not linger in the stage.
add_custom_target(kxl_stage ALL
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${KXL_STAGE}/include ${KXL_STAGE}/share
    ${KXL_STAGE}/${CMAKE_INSTALL_LIBDIR}/cmake ${KXL_STAGE}/${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${KXL_STAGE} --config $<CONFIG>
  COMMENT "Staging the install tree in ${KXL_STAGE}"
  VERBATIM)
add_dependencies(kxl_stage host-agent ZEVUruruzodovar kxl_compressed_docs host-agent-man
  KXLCore KXLCommon KXLMessage KXLLibLocal KXLFunctionalityCore KXPCommon)
