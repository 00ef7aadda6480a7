# What `cmake --install` lays out besides the binary and its resources: the desktop entry, the icon in the
# hicolor theme, the AppStream record and the man page, all named by the application id.

# The description as AppStream paragraphs.
set(TARNWICK_DESCRIPTION_XML "")
foreach(paragraph IN LISTS TARNWICK_DESCRIPTION)
    string(REPLACE "&" "&amp;" paragraph "${paragraph}")
    string(REPLACE "<" "&lt;" paragraph "${paragraph}")
    string(REPLACE ">" "&gt;" paragraph "${paragraph}")
    string(APPEND TARNWICK_DESCRIPTION_XML "    <p>${paragraph}</p>\n")
endforeach()

set(_tarnwick_generated ${PROJECT_BINARY_DIR}/packaging)
configure_file(packaging/tarnwick.desktop.in ${_tarnwick_generated}/${TARNWICK_APP_ID}.desktop @ONLY)
configure_file(packaging/tarnwick.metainfo.xml.in ${_tarnwick_generated}/${TARNWICK_APP_ID}.metainfo.xml @ONLY)
configure_file(packaging/tarnwick.1.in ${_tarnwick_generated}/tarnwick.1 @ONLY)

install(FILES ${_tarnwick_generated}/${TARNWICK_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_tarnwick_generated}/${TARNWICK_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${_tarnwick_generated}/tarnwick.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Every size of the program icon in resources/icons (tarnwick.png is the 256 pixel one), and the emblem it
# is drawn from as the scalable icon.
set(_tarnwick_icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
foreach(size 16 22 32 48 64 128)
    install(FILES resources/icons/tarnwick-${size}.png DESTINATION ${_tarnwick_icons}/${size}x${size}/apps
            RENAME ${TARNWICK_APP_ID}.png)
endforeach()
install(FILES resources/icons/tarnwick.png DESTINATION ${_tarnwick_icons}/256x256/apps RENAME ${TARNWICK_APP_ID}.png)
install(FILES tools/artwork/emblem.svg DESTINATION ${_tarnwick_icons}/scalable/apps RENAME ${TARNWICK_APP_ID}.svg)
