# `cpack -G DEB` in the build folder: one package with everything
# `cmake --install` installs, under /usr. Its Depends are what
# dpkg-shlibdeps finds the programs linked against, plus the fonts the
# widget draws with (found through fontconfig at run time, so no library
# dependency names them).
# The programs carry the hardening flags of the build (KELVO_HARDENING in
# the top-level CMakeLists); tests/install/package-test.sh checks them with
# lintian.
if(NOT KELVO_HARDENING OR KELVO_SANITIZE OR KELVO_FUZZ)
  message(WARNING "This build lacks the hardening flags; a package made from it would too")
endif()
set(CPACK_PACKAGE_NAME kelvo)
set(CPACK_PACKAGE_VENDOR "Kelvo")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Battery, range and charging status of your car as a desktop widget")
# Lines of at most 80 characters, as lintian wants them.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Kelvo shows one electric car's battery, range and charging state as a\n"
       "widget on the desktop (Wayland layer shell or X11), a status-bar line for\n"
       "Waybar and i3blocks, pictures for Conky and e-ink frames, and a small web\n"
       "server for dashboards. kelvo-feed keeps the car's state current from\n"
       "TeslaMate or evcc through an MQTT broker; kelvo writes it from scripts.")
# The project's address: the package's maintainer, the changelog's author.
set(CPACK_PACKAGE_CONTACT "Kelvo developers <developers@kelvo.app>")
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
# Install with the real prefix under a staging DESTDIR, so paths written into
# installed files (desktop entry, units) are /usr/..., not the staging folder.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# A Debian revision of its own: the package is built from the release, not
# part of it, so its changelog is changelog.Debian.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-inter, fonts-quicksand, fonts-material-design-icons-iconfont, fonts-materialdesignicons-webfont, fonts-dejavu-core")
# Japanese, Chinese and Korean texts need Noto CJK (about 90 MB): recommended,
# not required, for the many who never switch to those languages.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme, fonts-noto-cjk")

# What a user reads in /usr/share/doc/kelvo: the licences (machine-readable),
# the changelog (compressed reproducibly, as dpkg tools expect), the README
# that the units' Documentation= points to, and example settings that the
# package test feeds to the programs. AppStream metadata for every
# application with a metainfo file in resources/metainfo, and lintian's
# overrides, each with its reason.
set(KELVO_DEBIAN_VERSION ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
configure_file(${PROJECT_SOURCE_DIR}/resources/debian/changelog.in ${CMAKE_BINARY_DIR}/debian/changelog.Debian
               @ONLY)
execute_process(COMMAND gzip -9n -c ${CMAKE_BINARY_DIR}/debian/changelog.Debian
                OUTPUT_FILE ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${PROJECT_SOURCE_DIR}/resources/debian/copyright ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz
              ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kelvo)
install(FILES ${PROJECT_SOURCE_DIR}/resources/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME kelvo)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/examples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kelvo/examples)
file(GLOB kelvo_metainfo CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resources/metainfo/*.metainfo.xml)
foreach(metainfo IN LISTS kelvo_metainfo)
  get_filename_component(name ${metainfo} NAME)
  configure_file(${metainfo} ${CMAKE_BINARY_DIR}/metainfo/${name} @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/metainfo/${name} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endforeach()

include(CPack)
