# Install rules and the Debian package (cpack -G DEB): the two programs, the desktop and autostart
# entries, the icon in the hicolor theme and the manual pages.
include(GNUInstallDirs)

foreach(program qdbf quarvel-pc)
  if(TARGET ${program})
    target_compile_definitions(${program} PRIVATE QUARVEL_VERSION_TEXT="${PROJECT_VERSION}")
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(FILES ${CMAKE_SOURCE_DIR}/docs/man/qdbf.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(TARGET quarvel-pc)
  install(FILES ${CMAKE_SOURCE_DIR}/docs/man/quarvel-pc.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/quarvel-pc.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/src/gui/resources/icon.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps RENAME quarvel-pc.png)
  # A tray program starts at login. Desktop sessions look for autostart entries under
  # $XDG_CONFIG_DIRS (/etc/xdg), so an install into a prefix named usr (/usr, or the package's
  # staging .../usr) puts its entry in the etc beside it; any other prefix keeps it under
  # prefix/etc. Decided at install time, when the prefix is known (file(INSTALL) adds DESTDIR).
  install(CODE "
    get_filename_component(prefix_name \"\${CMAKE_INSTALL_PREFIX}\" NAME)
    if(prefix_name STREQUAL \"usr\")
      get_filename_component(autostart \"\${CMAKE_INSTALL_PREFIX}/../etc/xdg/autostart\" ABSOLUTE)
    else()
      set(autostart \"\${CMAKE_INSTALL_PREFIX}/etc/xdg/autostart\")
    endif()
    file(INSTALL DESTINATION \"\${autostart}\" TYPE FILE
         RENAME quarvel-pc.desktop
         FILES \"${CMAKE_SOURCE_DIR}/packaging/quarvel-pc-autostart.desktop\")
  ")
endif()

set(CPACK_PACKAGE_NAME quarvel-pc)
set(CPACK_PACKAGE_VENDOR "Quarvel PC")
set(CPACK_PACKAGE_CONTACT "Quarvel PC developers <dev@quarvel.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "HotSync companion of a handheld inventory-counting application, and a dBase table tool")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
# The package installs under /usr with its autostart entry in /etc (see above).
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Library dependencies are read off the installed programs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
