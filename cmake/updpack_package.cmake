# The Debian package of updpack, made with CPack from the native build
# (`cpack -G DEB` in build/native): the command, which carries the updaters,
# its manual page and its documentation. Nothing else of the project is
# installed.
set(CPACK_PACKAGE_NAME updpack)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "builds self-contained game updaters for Windows and makes their archives")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "updpack packs a game update's files into the archive that the updater reads, "
    "lists, extracts and verifies archives, and builds the updater executable that "
    "players run on Windows (32- and 64-bit), signed on request. The updaters are "
    "inside updpack: no compiler is needed to make a release.")
set(CPACK_PACKAGE_CONTACT "Game updater maintainers <maintainers@example.org>")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
# The shared libraries it links (libcrypto, libstdc++) as dpkg-shlibdeps
# finds them; osslsigncode signs and checks signatures.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS osslsigncode)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
