# Installation beyond the programs' own rules, and the Debian package: `cpack -G DEB` in the
# build folder (scripts/package.sh) packs what `cmake --install` installs, under the prefix the
# build was configured for (the release preset: /usr), so the help folder compiled into the
# desktop program is where the package puts the help. Package dependencies come from
# dpkg-shlibdeps (package dpkg-dev) on the programs, plus the Qt plugins loaded at run time.

install(TARGETS zmr_gridgen RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES LICENSE THIRD-PARTY-LICENSES DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME zmrcalibration)
set(CPACK_PACKAGE_VENDOR "The ZMRCalibration developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Geometric distortion calibration of imaging detectors from a grid image")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The ZMRCalibration developers")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# The long description; CPack puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Finds the spots of a calibration grid image, matches them to the ideal grid,\n\
removes the global rotation and scale, and corrects images through the\n\
measured distortion. Holds the desktop program zmrcalibration, the\n\
command-line driver zmrcal and the test-grid generator zmr_gridgen.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded as plugins, so dpkg-shlibdeps cannot see them: the window system (and offscreen)
# platforms and the SVG icon engine.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6")
include(CPack)
