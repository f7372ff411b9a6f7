# The Debian package of the Linux build: `cpack -G DEB` in a build directory
# configured with CMAKE_INSTALL_PREFIX=/usr (scripts/package.sh does it) makes
# korvel_VERSION_ARCH.deb from the `cmake --install` rules (posix/install):
# korvel, libzorva.so with its SONAME, zorva.h, zorva.pc, the man page and
# bash completion. The Windows release files come from scripts/package.sh.
if(WIN32 OR KORVEL_FUZZ)
  return()
endif()

include(GNUInstallDirs)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/korvel RENAME copyright)

set(CPACK_PACKAGE_NAME korvel)
set(CPACK_PACKAGE_VENDOR "The Korvel developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Answers the password challenges of packet-radio nodes and mailboxes")
set(CPACK_PACKAGE_DESCRIPTION
    "korvel keeps a list of client passwords and answers the login challenges \
that packet-radio nodes and mailboxes print (matrix, MD5, MD2, NOS MD5 and \
FlexNet schemes). libzorva is the same as a C library with five exports; \
zorva.h and zorva.pc are for programs that call it.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # korvel_3.0_amd64.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Korvel developers")
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
# The libraries it needs (libc6, libstdc++6, ...) with the versions the build
# machine's ones require.
find_program(KORVEL_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(KORVEL_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
endif()
# The shlibs file and the ldconfig trigger for libzorva.so.3.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)

include(CPack)
