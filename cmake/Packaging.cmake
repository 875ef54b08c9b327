# What `cmake --install` puts where, and the Debian package CPack makes of it (scripts/package.sh).
include(GNUInstallDirs)

set(INVEXA_APP_ID org.invexa.admin)
set(INVEXA_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/invexa-admin)
set(dist ${PROJECT_SOURCE_DIR}/dist)
set(staged ${PROJECT_BINARY_DIR}/dist)
find_program(GZIP gzip REQUIRED)

install(TARGETS invexa RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET invexa-admin)
  install(TARGETS invexa-admin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The icon at the sizes the window carries.
  install(FILES ${PROJECT_SOURCE_DIR}/src/forms/icons/program.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps RENAME invexa-admin.png)
  install(FILES ${PROJECT_SOURCE_DIR}/src/forms/icons/about-picture.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps RENAME invexa-admin.png)
  install(FILES ${dist}/${INVEXA_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  configure_file(${dist}/${INVEXA_APP_ID}.metainfo.xml ${staged}/${INVEXA_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${staged}/${INVEXA_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()
install(FILES ${dist}/invexa.bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME invexa)

# Man pages and the changelog go in compressed with gzip -9n, without a time stamp, so the package is the same
# bytes from the same sources.
set(compressed)
foreach(page invexa.1 invexa-admin.1)
  configure_file(${dist}/man/${page} ${staged}/${page} @ONLY)
  add_custom_command(OUTPUT ${staged}/${page}.gz COMMAND ${GZIP} -9nfk ${staged}/${page}
                     DEPENDS ${dist}/man/${page} VERBATIM)
  list(APPEND compressed ${staged}/${page}.gz)
  install(FILES ${staged}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
configure_file(${dist}/changelog ${staged}/changelog COPYONLY)
add_custom_command(OUTPUT ${staged}/changelog.gz COMMAND ${GZIP} -9nfk ${staged}/changelog
                   DEPENDS ${dist}/changelog VERBATIM)
list(APPEND compressed ${staged}/changelog.gz)
add_custom_target(invexa_dist_files ALL DEPENDS ${compressed})
install(FILES ${staged}/changelog.gz ${dist}/copyright ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${INVEXA_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME invexa-admin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Invexa Admin developers")
set(CPACK_PACKAGE_CONTACT "Invexa Admin developers <developers@invexa.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "software-inventory administrator for Invexa scan folders")
# CPack takes the summary as the synopsis line and formats this as the extended description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Invexa scanners record which applications each computer holds and drop one
scan file per user into a shared folder. Invexa Admin merges those files into
one results table, shows it in an editable grid with maintenance commands,
edits the scanners' settings file and exports the table to CSV.

The package holds the window, invexa-admin, and the command-line tool,
invexa, which runs the same merge, export and settings edits for scripts.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
include(CPack)
