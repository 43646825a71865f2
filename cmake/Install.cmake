# Installation as a desktop program (GNU layout) and the Debian package built from it.
# Every file below names the one application id, so the launcher groups the window with
# its entry; the version everywhere is the project's.
include(GNUInstallDirs)
# Installing and packaging take what is built (build first): they never build the tests too.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(DATA_SRC ${CMAKE_SOURCE_DIR}/data)
set(DATA_OUT ${CMAKE_BINARY_DIR}/data)
file(MAKE_DIRECTORY ${DATA_OUT})

configure_file(${DATA_SRC}/${TARN_APP_ID}.desktop.in ${DATA_OUT}/${TARN_APP_ID}.desktop @ONLY)
configure_file(${DATA_SRC}/${TARN_APP_ID}.metainfo.xml.in ${DATA_OUT}/${TARN_APP_ID}.metainfo.xml @ONLY)
configure_file(${DATA_SRC}/tarn.1.in ${DATA_OUT}/tarn.1 @ONLY)

# The Debian changelog of this release, dated like the release.
execute_process(COMMAND date -u -R -d "${TARN_RELEASE_DATE} 12:00:00"
                OUTPUT_VARIABLE TARN_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE)
configure_file(${DATA_SRC}/changelog.in ${DATA_OUT}/changelog @ONLY)

find_program(GZIP gzip REQUIRED)
add_custom_command(
  OUTPUT ${DATA_OUT}/tarn.1.gz ${DATA_OUT}/changelog.gz
  COMMAND ${GZIP} -9nfk ${DATA_OUT}/tarn.1 ${DATA_OUT}/changelog
  DEPENDS ${DATA_OUT}/tarn.1 ${DATA_OUT}/changelog
  COMMENT "Compressing the manual page and the changelog")
add_custom_target(tarn_data ALL DEPENDS ${DATA_OUT}/tarn.1.gz ${DATA_OUT}/changelog.gz)

install(TARGETS tarn RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tarn)
# The simulated looper is for testing: only `cmake --install build --component simulator`.
install(TARGETS looper-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT simulator EXCLUDE_FROM_ALL)
install(TARGETS ulink-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT simulator EXCLUDE_FROM_ALL)
install(FILES ${DATA_OUT}/${TARN_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT tarn)
install(FILES ${DATA_OUT}/${TARN_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT tarn)
install(FILES ${CMAKE_SOURCE_DIR}/page/images/tarn.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${TARN_APP_ID}.svg COMPONENT tarn)
foreach(size 48 128 256)
  install(FILES ${DATA_SRC}/icons/${size}/${TARN_APP_ID}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps COMPONENT tarn)
endforeach()
install(FILES ${DATA_OUT}/tarn.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tarn)
install(FILES ${DATA_OUT}/changelog.gz ${DATA_SRC}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT tarn)

# --- the Debian package: scripts/package.sh, or `cpack -G DEB` in build/ ---------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarn)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Corvane)
set(CPACK_PACKAGE_CONTACT "${TARN_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "companion for Corvane loopers")
set(CPACK_PACKAGE_DESCRIPTION
    "Tarn lists, imports, exports, previews and deletes the tracks of a connected\n\
Corvane loop recorder, converting imported audio to the device's format, and\n\
fills empty tracks from a track catalogue on the web, a file server or a local\n\
folder.")
set(CPACK_PACKAGE_HOMEPAGE_URL ${TARN_HOMEPAGE})
set(CPACK_PACKAGE_INSTALL_DIRECTORY /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TARN_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE "")
include(CPack)
