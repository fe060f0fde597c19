# A Debian package of the installed tree (cpack -G DEB in a build configured
# with -DCMAKE_INSTALL_PREFIX=/usr): the libraries, headers, CMake and
# pkg-config files, the ckp command, its manual page and bash completion.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ckp)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "Checkpoint files are line-oriented text files of records with named properties, "
    "file inclusion and setups. This package holds the libraries libckp and libkvo, "
    "their C and C++ headers, and the ckp command.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_CONTACT "ckp maintainers <ckp@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# Dependencies come from the binaries (libc, libstdc++, libgcc); the
# package's own libraries are found beside them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/src ${CMAKE_BINARY_DIR}/src/support
    ${CMAKE_BINARY_DIR}/src/format
    ${CMAKE_BINARY_DIR}/src/format)
# The shlibs file names the three libraries that programs link against. The
# Python module is a shared object too, but like every extension module it
# has no soname: the interpreter loads it by path and nothing links against
# it, so it has no place there (CPack's own shlibs step would list every
# shared object and warn about the module).
set(ckp_shlibs "${CMAKE_BINARY_DIR}/debian/shlibs")
file(WRITE "${ckp_shlibs}"
     "libckp ${PROJECT_VERSION_MAJOR} ckp (= ${PROJECT_VERSION})\n"
     "libkvo ${PROJECT_VERSION_MAJOR} ckp (= ${PROJECT_VERSION})\n"
     "libckp_cxx ${PROJECT_VERSION_MAJOR} ckp (= ${PROJECT_VERSION})\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${ckp_shlibs}")
include(CPack)
