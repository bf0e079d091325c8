# The Debian package: `cpack -G DEB` in a build folder gives tessaly92_VERSION_ARCH.deb with
# everything the install rules put under /usr. Its dependencies are worked out from the
# libraries the programs link (dpkg-shlibdeps), never typed here. The package needs none of
# the tests: a build for it alone is configured with -DTESSALY_BUILD_TESTS=OFF.
# TESSALY_PACKAGE_MAINTAINER is set in share/CMakeLists.txt, which writes the changelog.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessaly92)
set(CPACK_PACKAGE_VENDOR tessaly92)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${TESSALY_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "link program for the TI-92, TI-89 and Voyage 200 calculators")
set(CPACK_PACKAGE_DESCRIPTION
"tessaly92 links a computer with a TI-92, TI-92 Plus, Voyage 200, TI-89 or
TI-89 Titanium graphing calculator through the parallel-port cable, the black
or grey serial cable or the silver USB cable. It lists the calculator's
variables and receives them into calculator files, sends files back, takes
screenshots, fetches and restores memory backups, installs FARGO and converts
text files to calculator texts and back.

The package holds the window (tessaly92), the same transfers on the command
line (tessaly92-cli, with bash completion) and a virtual calculator of every
model (tessaly92-vcalc) to try them without a calculator.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${TESSALY_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
# The desktop's caches and the manual page index are refreshed by the triggers of the
# packages that own them; the postinst only has udev look at a cable already plugged in.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/../share/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
