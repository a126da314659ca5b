# Debian packages made by CPack from the install rules:
#   zevururuzodovar      (Runtime)      the agent, the host libraries, the plug-in
#   zevururuzodovar-dev  (Development)  headers, CMake package, pkg-config file, schema, example
# Each gets its copyright file (from LICENSE) and changelog (from CHANGELOG.md) in
# share/doc/<package>, where Debian's tools look for them.
set(KXL_PACKAGE_MAINTAINER "ZEVUruruzodovar maintainers <maintainers@zevururuzodovar.invalid>")

# The copyright file in Debian's machine-readable format, with the MIT text of LICENSE.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE kxl_license)
string(REGEX REPLACE "^[^\n]*\n\n" "" kxl_license_body "${kxl_license}") # drop the title
string(REGEX MATCH "Copyright \\(c\\) [^\n]*" kxl_copyright_line "${kxl_license}")
string(REGEX REPLACE "^Copyright \\(c\\) " "" kxl_copyright_holder "${kxl_copyright_line}")
string(REGEX REPLACE "\n$" "" kxl_license_body "${kxl_license_body}")
string(REPLACE "\n\n" "\n.\n" kxl_license_body "${kxl_license_body}")
string(REPLACE "\n" "\n " kxl_license_body "${kxl_license_body}")
set(kxl_copyright_file ${CMAKE_CURRENT_BINARY_DIR}/debian/copyright)
file(CONFIGURE OUTPUT ${kxl_copyright_file} CONTENT
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ZEVUruruzodovar

Files: *
Copyright: @kxl_copyright_holder@
License: MIT

License: MIT
 @kxl_license_body@
" @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)

# Debian's own changelog of the packaging (the upstream one is CHANGELOG.md): one entry
# for this version, dated by the day of the build (SOURCE_DATE_EPOCH when set).
set(KXL_DEBIAN_RELEASE 1)
string(TIMESTAMP kxl_debian_date "%a, %d %b %Y 00:00:00 +0000" UTC)
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian CONTENT
"@KXL_RUNTIME_PACKAGE@ (@PROJECT_VERSION@-@KXL_DEBIAN_RELEASE@) unstable; urgency=medium

  * Packaged by CPack from the project's install rules; the upstream changes are
    in changelog.gz.

 -- @KXL_PACKAGE_MAINTAINER@  @kxl_debian_date@
" @ONLY)

# Both changelogs compressed as Debian wants them: maximum compression, no name or time.
find_program(KXL_GZIP gzip REQUIRED)
function(kxl_gzip input output)
  add_custom_command(OUTPUT ${output}
    COMMAND sh -c "\"$0\" -9n -c \"$1\" > \"$2\"" ${KXL_GZIP} ${input} ${output}
    DEPENDS ${input}
    COMMENT "Compressing ${input}"
    VERBATIM)
endfunction()
set(kxl_changelogs
  ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz
  ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian.gz)
kxl_gzip(${PROJECT_SOURCE_DIR}/CHANGELOG.md ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz)
kxl_gzip(${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian
  ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian.gz)
add_custom_target(kxl_compressed_docs ALL DEPENDS ${kxl_changelogs})

foreach(kxl_component_package Runtime:${KXL_RUNTIME_PACKAGE} Development:${KXL_DEV_PACKAGE})
  string(REPLACE ":" ";" kxl_pair ${kxl_component_package})
  list(GET kxl_pair 0 kxl_component)
  list(GET kxl_pair 1 kxl_package)
  install(FILES ${kxl_copyright_file} ${kxl_changelogs}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${kxl_package} COMPONENT ${kxl_component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${KXL_RUNTIME_PACKAGE})
set(CPACK_PACKAGE_VENDOR "ZEVUruruzodovar maintainers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${KXL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# Debian ships binaries stripped; the debug information stays in the build tree.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Runtime Development)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KXL_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${KXL_DEBIAN_RELEASE})
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

# The state folder of the agent installed under /usr: made on configure when missing (an
# administrator's mode or owner on it stays), removed on purge.
# These scripts take the place of CPack's, which would call ldconfig for the host libraries
# although they lie in a private folder that ldconfig does not read.
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/debian/postinst CONTENT
"#!/bin/sh
set -e
if [ \"$1\" = configure ]; then
    [ -d @KXL_SYSTEM_STATE_DIR@ ] || install -d -m 0755 @KXL_SYSTEM_STATE_DIR@
fi
" @ONLY)
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/debian/postrm CONTENT
"#!/bin/sh
set -e
if [ \"$1\" = purge ]; then
    rm -rf @KXL_SYSTEM_STATE_DIR@
fi
" @ONLY)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
  ${CMAKE_CURRENT_BINARY_DIR}/debian/postinst ${CMAKE_CURRENT_BINARY_DIR}/debian/postrm)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# A shlibs file, so that dpkg-shlibdeps turns a packaged plug-in's NEEDED host libraries into
# a dependency on this package.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${KXL_RUNTIME_PACKAGE})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION admin)
# libc, libstdc++, utf8proc, expat: found by dpkg-shlibdeps; the host libraries are the package's own.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
set(CPACK_COMPONENT_RUNTIME_DISPLAY_NAME "host agent, host libraries and plug-in")
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
"stand-in host agent with the ZEVUruruzodovar plug-in
The host-agent program loads host agent plug-ins and prints the vocabularies
they publish. This package holds it, the six host libraries it provides to
plug-ins, and the ZEVUruruzodovar plug-in, which publishes what the local
virtualization server can do.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME ${KXL_DEV_PACKAGE})
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS Runtime)
# The headers use Boost's; the component dependency adds the runtime package at this version.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libboost-dev (>= 1.74)")
set(CPACK_COMPONENT_DEVELOPMENT_DISPLAY_NAME "plug-in developer kit")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
"developer kit for host agent plug-ins
Headers, the KXLHost CMake package with its kxl_add_plugin function, the
kxl-host pkg-config file, the RELAX NG schema of .voc files, the vocabulary
documentation and an example plug-in, for building plug-ins of the host agent
against the installed host libraries.")

include(CPack)
