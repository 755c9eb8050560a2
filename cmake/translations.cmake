# The translations of the window: the template po/pixlane.pot written from the
# built-in language table, and every po/LANG.po compiled with msgfmt into
# locale/LANG/LC_MESSAGES/pixlane.mo beside the executable, where the
# program finds them in the build tree; installed under share/locale/.
# Included by the top-level CMakeLists.txt after the pixlane target.
include(GNUInstallDirs)
find_program(MSGFMT_PROGRAM msgfmt REQUIRED)

add_executable(pixlane_language_template tools/language_template/language_template.cpp)
target_compile_options(pixlane_language_template PRIVATE ${PIXLANE_WARNINGS})
target_link_libraries(pixlane_language_template PRIVATE pixlane_core)

set(PIXLANE_LANGUAGE_TEMPLATE ${CMAKE_BINARY_DIR}/po/pixlane.pot)
add_custom_command(
  OUTPUT ${PIXLANE_LANGUAGE_TEMPLATE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/po
  COMMAND ${CMAKE_COMMAND} "-DCOMMAND=$<TARGET_FILE:pixlane_language_template>"
          -DOUTPUT=${PIXLANE_LANGUAGE_TEMPLATE} -P ${CMAKE_SOURCE_DIR}/cmake/capture_output.cmake
  # The template must be one gettext's tools read.
  COMMAND ${MSGFMT_PROGRAM} --output-file=/dev/null ${PIXLANE_LANGUAGE_TEMPLATE}
  DEPENDS pixlane_language_template ${CMAKE_SOURCE_DIR}/cmake/capture_output.cmake
  COMMENT "Writing the translation template po/pixlane.pot"
  VERBATIM)

file(GLOB PIXLANE_PO_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/po/*.po)
set(PIXLANE_MO_FILES)
foreach(po IN LISTS PIXLANE_PO_FILES)
  get_filename_component(lang ${po} NAME_WE)
  set(folder ${CMAKE_BINARY_DIR}/locale/${lang}/LC_MESSAGES)
  set(mo ${folder}/pixlane.mo)
  add_custom_command(
    OUTPUT ${mo}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${MSGFMT_PROGRAM} --check --output-file=${mo} ${po}
    DEPENDS ${po}
    COMMENT "Compiling the ${lang} translation"
    VERBATIM)
  list(APPEND PIXLANE_MO_FILES ${mo})
  install(FILES ${mo} DESTINATION ${CMAKE_INSTALL_LOCALEDIR}/${lang}/LC_MESSAGES)
endforeach()
add_custom_target(pixlane_translations ALL DEPENDS ${PIXLANE_LANGUAGE_TEMPLATE} ${PIXLANE_MO_FILES})
add_dependencies(pixlane pixlane_translations)
