# SPDX-License-Identifier: GPL-3.0-or-later
# Where `cmake --install` puts Glimra, and the Debian package made from the same rules.
include(GNUInstallDirs)

# The programs a user runs go to bin; those only Glimra runs (the instance glimra becomes, the
# selection overlay glimra-capture hands over to, the text reader) to libexec/glimra. Each
# program looks for the other beside itself first, as in a build folder, then across that
# relative path.
set(GLIMRA_HELPER_DIR ${CMAKE_INSTALL_LIBEXECDIR}/glimra)
file(RELATIVE_PATH GLIMRA_HELPERS_FROM_BIN /p/${CMAKE_INSTALL_BINDIR} /p/${GLIMRA_HELPER_DIR})
file(RELATIVE_PATH GLIMRA_BIN_FROM_HELPERS /p/${GLIMRA_HELPER_DIR} /p/${CMAKE_INSTALL_BINDIR})
target_compile_definitions(glimra PRIVATE GLIMRA_HELPERS_FROM_BIN="${GLIMRA_HELPERS_FROM_BIN}")
target_compile_definitions(glimra_library PRIVATE
    GLIMRA_BIN_FROM_HELPERS="${GLIMRA_BIN_FROM_HELPERS}")
install(TARGETS glimra RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS glimra-instance RUNTIME DESTINATION ${GLIMRA_HELPER_DIR})
if(TARGET glimra-capture)
    target_compile_definitions(glimra-capture PRIVATE
        GLIMRA_HELPERS_FROM_BIN="${GLIMRA_HELPERS_FROM_BIN}")
    install(TARGETS glimra-capture RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(TARGETS glimra-capture-select RUNTIME DESTINATION ${GLIMRA_HELPER_DIR})
endif()
# The text reader is the instance's helper, beside it.
install(TARGETS glimra-text-reader RUNTIME DESTINATION ${GLIMRA_HELPER_DIR})
if(TARGET glimra-server)
    install(TARGETS glimra-server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(CODE "set(GLIMRA_SOURCE_DIR \"${PROJECT_SOURCE_DIR}\")
        set(GLIMRA_BINDIR \"${CMAKE_INSTALL_BINDIR}\")")
    install(SCRIPT cmake/InstallUnits.cmake)
endif()

install(FILES data/${GLIMRA_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/${GLIMRA_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY ${GLIMRA_ICON_DIR}/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

# Debian wants a copyright file and a compressed changelog beside every package's documents.
set(GLIMRA_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/glimra)
install(FILES data/copyright README.md DESTINATION ${GLIMRA_DOC_DIR})
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/data/changelog ${CMAKE_BINARY_DIR}/changelog
    COMMAND gzip -9 -n -f ${CMAKE_BINARY_DIR}/changelog
    DEPENDS data/changelog)
add_custom_target(glimra_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${GLIMRA_DOC_DIR})

# Manual pages, compressed without a time stamp so that two builds give the same package.
foreach(page glimra glimra-capture glimra-capture-select glimra-server)
    set(gz ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
    add_custom_command(OUTPUT ${gz}
        COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/data/man/${page}.1
            ${CMAKE_BINARY_DIR}/man/${page}.1
        COMMAND gzip -9 -n -f ${CMAKE_BINARY_DIR}/man/${page}.1
        DEPENDS data/man/${page}.1)
    list(APPEND GLIMRA_MAN_PAGES ${gz})
endforeach()
add_custom_target(glimra_man_pages ALL DEPENDS ${GLIMRA_MAN_PAGES})
install(FILES ${GLIMRA_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME glimra)
set(CPACK_PACKAGE_VENDOR "Glimra developers")
set(CPACK_PACKAGE_CONTACT "Glimra developers <glimra@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tray screenshot tool with a synced library")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The xcb platform plugin and the recogniser's English data are loaded at run time, so no
# library check finds them; other languages are the user's choice.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, tesseract-ocr-eng")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gnome-keyring | kwalletmanager, xdg-utils")
# The synopsis is the summary above; CPack indents these lines and turns the empty one into
# the paragraph break.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Glimra lives in the system tray of an X11 desktop. It takes a screenshot of
the whole screen, of an area or of a window, keeps every screenshot in one
library, puts it on the clipboard and moves the desktop's own screenshots
into the library.

With an account on a Glimra server (glimra-server, included, runs as a
systemd user service) new screenshots are uploaded and the library is kept
in step on every computer. Global shortcuts take screenshots, tile windows
and cut and move files in the file manager.")
include(CPack)
