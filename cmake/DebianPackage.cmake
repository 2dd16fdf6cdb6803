# The Debian package (`cpack -G DEB` in the build folder): everything `cmake --install`
# puts in place, under /usr, with the documents Debian asks of every package.
include(GNUInstallDirs)

set(FRAMESIFTER_PACKAGE_MAINTAINER "FrameSifter developers <framesifter@example.org>"
    CACHE STRING "Maintainer named in the Debian package")

# The documents every Debian package carries, in a folder named as the package. The
# changelog is gzipped when the package is made (debian_package_files.cmake), so that a
# plain install keeps it readable.
set(deb_doc_dir ${CMAKE_CURRENT_BINARY_DIR}/debian-doc)
# The day of the configuration (or of SOURCE_DATE_EPOCH), so that rebuilds agree within a day.
string(TIMESTAMP FRAMESIFTER_CHANGELOG_DATE "%a, %d %b %Y 00:00:00 +0000" UTC)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${deb_doc_dir}/changelog @ONLY)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright ${deb_doc_dir}/changelog
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/framesifter)

# cfitsio is opened by its soname when a frame first needs it, so the package tools, which
# read only the libraries a program links, cannot see it: its package is named here, found
# from the library file the build takes the soname from.
set(FRAMESIFTER_CFITSIO_PACKAGE "" CACHE STRING
    "Debian package holding cfitsio's run-time library (found with dpkg-query when empty)")
if(NOT FRAMESIFTER_CFITSIO_PACKAGE)
  get_filename_component(cfitsio_real "${FRAMESIFTER_CFITSIO_FILE}" REALPATH)
  find_program(FRAMESIFTER_DPKG_QUERY dpkg-query)
  if(FRAMESIFTER_DPKG_QUERY)
    execute_process(COMMAND ${FRAMESIFTER_DPKG_QUERY} -S "${cfitsio_real}"
                    OUTPUT_VARIABLE cfitsio_owner ERROR_QUIET RESULT_VARIABLE owner_status)
    if(owner_status EQUAL 0 AND cfitsio_owner MATCHES "^([^:,]+)")
      set_property(CACHE FRAMESIFTER_CFITSIO_PACKAGE PROPERTY VALUE "${CMAKE_MATCH_1}")
    endif()
  endif()
endif()
if(FRAMESIFTER_CFITSIO_PACKAGE)
  message(STATUS "The Debian package depends on ${FRAMESIFTER_CFITSIO_PACKAGE} for cfitsio")
else()
  message(STATUS "No Debian package owns ${cfitsio_real}: a Debian package made here will not "
                 "ask for cfitsio (set FRAMESIFTER_CFITSIO_PACKAGE)")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME framesifter)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${FRAMESIFTER_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debian_package_files.cmake)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "lucky-imaging frame selector")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${FRAMESIFTER_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${FRAMESIFTER_CFITSIO_PACKAGE}")
# Japanese is the default language: a Japanese font, and Qt's own texts in Japanese.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "fonts-ipafont-gothic | fonts-japanese-gothic, qt6-translations-l10n")
# CPack puts the summary above it and indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "FrameSifter finds the sharpest frames of a long sequence of short exposures
of the Moon, the Sun or a planet: the ones worth stacking. It computes the
2-D FFT of a window of every frame, reduces it to a radial profile and
scores each frame over a band of spatial frequencies chosen on a graph,
then moves the frames that pass into a folder, with undo.

The package holds the desktop program, which also views BMP, JPEG and
FITS images, and framesifter-cli, which does the same selection from the
command line.")

include(CPack)
