# What `cmake --install` puts beside the executable and what `cpack -G DEB`
# makes of it. Included by the top-level CMakeLists.txt after the pixlane
# target. The data goes under <prefix>/share/pixlane/, which the program
# finds from <prefix>/bin/ (and the build tree's gfx/ beside the executable).
include(GNUInstallDirs)

# The manual page and the bash completion are printed by the executable
# itself from its option table (hidden first arguments, see cli/reference.h).
set(PIXLANE_MAN_PAGE ${CMAKE_BINARY_DIR}/pixlane.1)
set(PIXLANE_COMPLETION ${CMAKE_BINARY_DIR}/completion/pixlane)
add_custom_command(
  OUTPUT ${PIXLANE_MAN_PAGE}
  COMMAND ${CMAKE_COMMAND} "-DCOMMAND=$<TARGET_FILE:pixlane>;--pixlane-man-page"
          -DOUTPUT=${PIXLANE_MAN_PAGE} -P ${CMAKE_SOURCE_DIR}/cmake/capture_output.cmake
  DEPENDS pixlane ${CMAKE_SOURCE_DIR}/cmake/capture_output.cmake
  COMMENT "Writing the manual page pixlane.1"
  VERBATIM)
add_custom_command(
  OUTPUT ${PIXLANE_COMPLETION}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/completion
  COMMAND ${CMAKE_COMMAND} "-DCOMMAND=$<TARGET_FILE:pixlane>;--pixlane-bash-completion"
          -DOUTPUT=${PIXLANE_COMPLETION} -P ${CMAKE_SOURCE_DIR}/cmake/capture_output.cmake
  DEPENDS pixlane ${CMAKE_SOURCE_DIR}/cmake/capture_output.cmake
  COMMENT "Writing the bash completion"
  VERBATIM)
set(PIXLANE_DOC_FILES ${PIXLANE_MAN_PAGE} ${PIXLANE_COMPLETION})

# Debian compresses manual pages; man reads both forms.
find_program(GZIP_PROGRAM gzip)
set(PIXLANE_INSTALLED_MAN_PAGE ${PIXLANE_MAN_PAGE})
if(GZIP_PROGRAM)
  set(PIXLANE_INSTALLED_MAN_PAGE ${PIXLANE_MAN_PAGE}.gz)
  add_custom_command(
    OUTPUT ${PIXLANE_INSTALLED_MAN_PAGE}
    COMMAND ${CMAKE_COMMAND} "-DCOMMAND=${GZIP_PROGRAM};-9n;-c;${PIXLANE_MAN_PAGE}"
            -DOUTPUT=${PIXLANE_INSTALLED_MAN_PAGE} -P ${CMAKE_SOURCE_DIR}/cmake/capture_output.cmake
    DEPENDS ${PIXLANE_MAN_PAGE}
    VERBATIM)
  list(APPEND PIXLANE_DOC_FILES ${PIXLANE_INSTALLED_MAN_PAGE})
endif()
add_custom_target(pixlane_docs ALL DEPENDS ${PIXLANE_DOC_FILES})

install(FILES ${PIXLANE_INSTALLED_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PIXLANE_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# The help file and the manual it is compiled from, when this tree has them.
install(FILES ${CMAKE_BINARY_DIR}/pixlane.chm DESTINATION ${CMAKE_INSTALL_DATADIR}/pixlane OPTIONAL)
if(EXISTS ${CMAKE_SOURCE_DIR}/docs/manual)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/manual/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/manual)
endif()

# The desktop entry and its icon in every size there is.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/pixlane.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
file(GLOB PIXLANE_ICONS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/gfx/icon/pixlane_*.png)
foreach(icon IN LISTS PIXLANE_ICONS)
  string(REGEX REPLACE ".*pixlane_([0-9]+)\\.png$" "\\1" size ${icon})
  install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME pixlane.png)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/gfx/icon/pixlane.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The licence notes: the package's copyright file and the artwork's notes.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_SOURCE_DIR}/gfx/COPYING.md DESTINATION ${CMAKE_INSTALL_DOCDIR}
        RENAME ARTWORK.md)

# cpack -G DEB: the package's Depends come from dpkg-shlibdeps over the
# libraries the executable is linked with.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pixlane)
set(CPACK_PACKAGE_VENDOR Tarnwell)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tarnwell <pixlane@tarnwell.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch converter of GIF images to 23 image formats")
set(CPACK_PACKAGE_DESCRIPTION [[
Pixlane takes GIF images (single files, folder trees, list files) and
turns every frame of an animated GIF, or one chosen frame, into an image
in one of 23 raster formats. On the way it can rotate, resize, flip,
colour-correct, grey, threshold, dither, frame and watermark it, naming
the outputs from a filename mask. One executable serves as a console
batch tool and as a desktop window.]])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.tarnwell.example/pixlane")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The default watermark font "Arial" is found as its metric-compatible Liberation Sans.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
