# SPDX-License-Identifier: GPL-3.0-or-later
# Installation (the Debian package in debian/ installs through this too).
#
# The program looks for its station list beside its executable, so the
# executable and the sample list get a folder of their own
# (<prefix>/lib/kelvaro) and <prefix>/bin holds a link to the executable.
include(GNUInstallDirs)

set(KELVARO_APP_ID org.example.Kelvaro)
set(KELVARO_LIBEXEC_DIR ${CMAKE_INSTALL_LIBDIR}/kelvaro)
if(CMAKE_INSTALL_LIBDIR MATCHES "/")
    set(KELVARO_LIBEXEC_DIR lib/kelvaro)  # keep a plain folder even on multiarch
endif()

install(TARGETS kelvaro RUNTIME DESTINATION ${KELVARO_LIBEXEC_DIR})
# The web page helper program and the web engine plugin (used where the
# helper's window cannot be embedded) are looked for beside the executable.
install(TARGETS kelvaro-web RUNTIME DESTINATION ${KELVARO_LIBEXEC_DIR})
install(TARGETS kelvaro_webengine
        LIBRARY DESTINATION ${KELVARO_LIBEXEC_DIR}
        RUNTIME DESTINATION ${KELVARO_LIBEXEC_DIR})
# The checker sits beside the program too, so that without a file argument
# it checks the list the program reads.
install(TARGETS kelvaro-check RUNTIME DESTINATION ${KELVARO_LIBEXEC_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/data/电台.ini DESTINATION ${KELVARO_LIBEXEC_DIR})
# The alarm's own sound, played when no station of an alarm can be heard.
install(FILES ${PROJECT_SOURCE_DIR}/data/sounds/alarm.opus DESTINATION ${KELVARO_LIBEXEC_DIR})
if(NOT WIN32)
    foreach(program kelvaro kelvaro-check)
        file(RELATIVE_PATH link_target /${CMAKE_INSTALL_BINDIR} /${KELVARO_LIBEXEC_DIR}/${program})
        install(CODE "
            file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
            file(CREATE_LINK \"${link_target}\"
                 \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\" SYMBOLIC)
        ")
    endforeach()
    install(FILES ${PROJECT_SOURCE_DIR}/data/desktop/${KELVARO_APP_ID}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${PROJECT_SOURCE_DIR}/data/desktop/${KELVARO_APP_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${PROJECT_SOURCE_DIR}/data/man/kelvaro.1 ${PROJECT_SOURCE_DIR}/data/man/kelvaro-check.1
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    foreach(size 16 32 48 64 128 256)
        install(FILES ${PROJECT_SOURCE_DIR}/data/icons/kelvaro-${size}.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
                RENAME ${KELVARO_APP_ID}.png)
    endforeach()
endif()
