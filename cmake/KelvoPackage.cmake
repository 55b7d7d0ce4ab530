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
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Kelvo shows one electric car's battery, range and charging state as a desktop widget, "
       "a status-bar line (Waybar, i3blocks) and rendered pictures. kelvo writes the car's state, "
       "kelvo-widget draws it.")
set(CPACK_PACKAGE_CONTACT "Kelvo developers <kelvo@localhost>")
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
# Install with the real prefix under a staging DESTDIR, so paths written into
# installed files (desktop entry, units) are /usr/..., not the staging folder.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-inter, fonts-quicksand, fonts-material-design-icons-iconfont, fonts-materialdesignicons-webfont, fonts-dejavu-core")
# Japanese, Chinese and Korean texts need Noto CJK (about 90 MB): recommended,
# not required, for the many who never switch to those languages.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme, fonts-noto-cjk")
include(CPack)
