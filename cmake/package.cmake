# The Debian package: `cpack -G DEB` in a build tree writes korven_<version>_amd64.deb, which
# installs into /usr. Its dependencies are read from the binaries by dpkg-shlibdeps, so they name
# the Debian packages of the libraries korven links (libpng, libjpeg, libtiff, PoDoFo, ...); the
# project's own libraries are private to the package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korven)
set(CPACK_PACKAGE_VENDOR korven)
set(CPACK_PACKAGE_CONTACT "korven maintainers <korven@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION "TScanner, a TWAIN scanner component for C++ applications, with its TWAIN manager, a virtual scanner and korven-scan, a command-line scanner that speaks scanimage's options.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # korven_<version>_<architecture>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib ${KORVEN_WINDOWS_BUILD_DIR}
    ${KORVEN_WINDOWS_BUILD_DIR}/twain_32)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_STRIP_FILES OFF)
include(CPack)
