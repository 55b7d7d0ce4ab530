# What `cmake --install` puts where a Linux desktop looks for it. The
# programs install themselves (install(TARGETS ...) next to each), Info.json
# and the catalogs with the resources (KelvoResources.cmake, po/). Included
# at the end of the top-level CMakeLists, once every program's target exists.
#
# Programs find share/ as ../share from their own bin/ directory, so the
# installed tree works under any prefix as long as it keeps that shape.
include(GNUInstallDirs)
if(NOT CMAKE_INSTALL_BINDIR STREQUAL "bin" OR NOT CMAKE_INSTALL_DATADIR STREQUAL "share")
  message(FATAL_ERROR "Kelvo's programs look for their resources in ../share next to bin/; "
                      "CMAKE_INSTALL_BINDIR and CMAKE_INSTALL_DATADIR must stay bin and share")
endif()

install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/kelvo.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The desktop entry and the systemd user units start programs by their full
# installed path. That path is only known when installing (`cmake --install
# --prefix` may name another prefix than the configured one), so they are
# configured then, into a folder per prefix, and installed from there.
set(KELVO_CONFIGURED_DIR ${CMAKE_BINARY_DIR}/installed)
function(kelvo_install_configured template name destination)
  install(CODE "
    set(CMAKE_INSTALL_FULL_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    set(CMAKE_INSTALL_FULL_DATADIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}\")
    string(MD5 prefix_key \"\${CMAKE_INSTALL_PREFIX}\")
    set(configured \"${KELVO_CONFIGURED_DIR}/\${prefix_key}/${name}\")
    configure_file(\"${template}\" \"\${configured}\" @ONLY)
    ${destination}
    file(INSTALL \"\${configured}\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}/\${destination}\")")
endfunction()

# The menu entry that starts kelvo-desktop.
kelvo_install_configured(${PROJECT_SOURCE_DIR}/resources/kelvo-desktop.desktop.in kelvo-desktop.desktop
                         "set(destination ${CMAKE_INSTALL_DATADIR}/applications)")

# The Kelvo window, the handler of the widget's kelvo:// links. Installing a
# desktop entry is all a desktop needs: update-desktop-database (a file
# trigger of desktop-file-utils in the package) rebuilds the scheme cache.
kelvo_install_configured(${PROJECT_SOURCE_DIR}/resources/kelvo-app.desktop.in kelvo-app.desktop
                         "set(destination ${CMAKE_INSTALL_DATADIR}/applications)")

# systemd finds user units in <prefix>/lib/systemd/user only for /usr and
# /usr/local; under any other prefix (~/.local above all) it looks in
# <prefix>/share/systemd/user, the $XDG_DATA_HOME and $XDG_DATA_DIRS place.
file(GLOB kelvo_units CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resources/systemd/*.service
     ${PROJECT_SOURCE_DIR}/resources/systemd/*.socket)
foreach(unit IN LISTS kelvo_units)
  get_filename_component(name ${unit} NAME)
  kelvo_install_configured(${unit} ${name} "
    if(CMAKE_INSTALL_PREFIX MATCHES \"^/usr(/local)?/?$\")
      set(destination lib/systemd/user)
    else()
      set(destination ${CMAKE_INSTALL_DATADIR}/systemd/user)
    endif()")
endforeach()

# ---- Manual pages and shell completions ----
# Made at build time by kelvo-manual from the option tables (apps/manual).
# Installed compressed (gzip -9n), as Debian's policy asks.
install(DIRECTORY ${KELVO_MANUAL_DIR}/installed/man1 ${KELVO_MANUAL_DIR}/installed/man5
        DESTINATION ${CMAKE_INSTALL_MANDIR})
foreach(program kelvo kelvo-widget kelvo-desktop kelvo-feed)
  install(FILES ${KELVO_MANUAL_DIR}/bash/${program}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
  install(FILES ${KELVO_MANUAL_DIR}/zsh/${program} RENAME _${program}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
  install(FILES ${KELVO_MANUAL_DIR}/fish/${program} RENAME ${program}.fish
          DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
endforeach()
