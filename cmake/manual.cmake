# The user manual: the HTML pages of docs/manual compiled into pixlane.chm
# beside the executable. Without chmcmd (Debian package fp-utils) the build
# goes on without it; the HTML pages stay readable as they are.
find_program(CHMCMD_PROGRAM chmcmd)
set(PIXLANE_MANUAL_DIR ${CMAKE_SOURCE_DIR}/docs/manual)
set(PIXLANE_MANUAL_CHM ${CMAKE_BINARY_DIR}/pixlane.chm)
file(GLOB PIXLANE_MANUAL_FILES CONFIGURE_DEPENDS
  ${PIXLANE_MANUAL_DIR}/*.html ${PIXLANE_MANUAL_DIR}/*.css ${PIXLANE_MANUAL_DIR}/*.hhc
  ${PIXLANE_MANUAL_DIR}/*.hhp)
# The pages beside the executable, where Help finds them in a build tree.
set(PIXLANE_MANUAL_STAMP ${CMAKE_BINARY_DIR}/manual/.copied)
add_custom_command(
  OUTPUT ${PIXLANE_MANUAL_STAMP}
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${PIXLANE_MANUAL_DIR} ${CMAKE_BINARY_DIR}/manual
  COMMAND ${CMAKE_COMMAND} -E touch ${PIXLANE_MANUAL_STAMP}
  DEPENDS ${PIXLANE_MANUAL_FILES}
  COMMENT "Copying the user manual beside the executable"
  VERBATIM)
add_custom_target(pixlane_manual_pages ALL DEPENDS ${PIXLANE_MANUAL_STAMP})
if(CHMCMD_PROGRAM)
  # chmcmd writes the compiled file into its working folder.
  add_custom_command(
    OUTPUT ${PIXLANE_MANUAL_CHM}
    COMMAND ${CMAKE_COMMAND} -E remove -f ${PIXLANE_MANUAL_CHM}
    COMMAND ${CHMCMD_PROGRAM} --verbosity 0 ${PIXLANE_MANUAL_DIR}/pixlane.hhp
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    DEPENDS ${PIXLANE_MANUAL_FILES}
    COMMENT "Compiling the user manual pixlane.chm"
    VERBATIM)
  add_custom_target(pixlane_manual ALL DEPENDS ${PIXLANE_MANUAL_CHM})
else()
  message(STATUS "chmcmd not found (Debian package fp-utils): pixlane.chm is not built; "
                 "the HTML manual in docs/manual/ is still there")
endif()
