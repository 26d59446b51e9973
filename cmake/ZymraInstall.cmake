# Install layout: the programs in bin/, their documents in share/zymra/, and the
# desktop integration (menu entry, icon, the *.zym file type) where freedesktop
# environments look for them.
include(GNUInstallDirs)

foreach(program zymra zymra-cli)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

set(ZYMRA_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/zymra)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/help/ DESTINATION ${ZYMRA_INSTALL_DATADIR}/help
        FILES_MATCHING PATTERN "*.html" PATTERN "*.css" PATTERN "*.png")

if(TARGET zymra_docs)
  install(FILES "${ZYMRA_WHITE_PAPER}" DESTINATION ${ZYMRA_INSTALL_DATADIR})
  foreach(size ${ZYMRA_ICON_SIZES})
    install(FILES ${ZYMRA_ICON_OUT}/${size}x${size}/zymra.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
endif()

install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/zymra.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/zymra.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/mimetypes
        RENAME application-x-zymra-project.svg)
install(FILES ${PROJECT_SOURCE_DIR}/resources/zymra.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/zymra-mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME zymra.xml)
