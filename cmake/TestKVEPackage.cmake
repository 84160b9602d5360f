# What the installation carries besides the programs and the SDK (manual pages, bash completion,
# the documentation folder), and the Debian package that `cpack -G DEB` makes of it all.

add_subdirectory(man)

install(FILES completion/testkve completion/testkve-compare completion/vxrtool
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# The documentation folder as Debian has it: copyright, the changelog in Debian's format
# (compressed, as are the manual pages), the README and the guides it links to.
set(TESTKVE_PACKAGE_MAINTAINER "TestKVE maintainers <maintainers@users.noreply.c-seed-603003b8.example>"
    CACHE STRING "Maintainer of the Debian package: name and mail address")
set(package_dir ${CMAKE_BINARY_DIR}/packaging)
configure_file(packaging/changelog.in ${package_dir}/changelog @ONLY)
add_custom_command(
  OUTPUT ${package_dir}/changelog.gz
  COMMAND gzip -9nkf ${package_dir}/changelog
  DEPENDS ${package_dir}/changelog
  VERBATIM)
add_custom_target(package_changelog ALL DEPENDS ${package_dir}/changelog.gz)
install(FILES packaging/copyright ${package_dir}/changelog.gz README.md CONTRIBUTING.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/testkve)
# The guides the README links to, in the same places beside it.
file(GLOB guides CONFIGURE_DEPENDS docs/*.md docs/*.png)
install(FILES ${guides} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/testkve/docs)

set(CPACK_PACKAGE_NAME testkve)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})  # all four parts
set(CPACK_PACKAGE_VENDOR "${TESTKVE_VENDOR}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "test harness for a virus-damage cleanup engine, with its SDK")
file(READ packaging/description.txt CPACK_DEBIAN_PACKAGE_DESCRIPTION)
set(CPACK_PACKAGE_CONTACT "${TESTKVE_PACKAGE_MAINTAINER}")
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
# The package depends on the distribution's library packages that dpkg-shlibdeps finds for the
# installed programs (libssl3, zlib1g, libc6, libstdc++6 ...).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# bash-completion reads the completion of the three programs' options. Building against the
# static libraries needs zlib's development files (the engine SDK and the control library) and
# OpenSSL's (the control library only); pkg-config reads the .pc files.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion, zlib1g-dev")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libssl-dev, pkg-config")
include(CPack)
