# The Debian package: "cpack -G DEB" (or "cpack") in the build folder packs everything "cmake --install" puts
# under the prefix into quendrel_<version>_<architecture>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quendrel)
set(CPACK_PACKAGE_VENDOR "${QUENDREL_HOLDER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keeps a web page up to date with your public IP address")
# Lines as dpkg shows them (under 80 characters); an empty line separates paragraphs.
set(CPACK_PACKAGE_DESCRIPTION [[
Quendrel keeps one web page on your FTP server up to date with your current
public IP address, so that you can always look up the address of a machine
whose address changes on your own web site.

It lives in the system tray of your desktop: on a schedule, once after it
starts, or whenever you ask, it finds your address (from a web page that shows
visitors their address, or from the computer's own host name), writes a small
HTML page with it and uploads that page by FTP. The command quendrel --update
does the same once, from a terminal, a cron job or the systemd user timer that
comes with it.]])
# Where the program was configured to live is compiled in (the installed copy keeps its files in the user's
# configuration folder); the package must put it there. package_checks.cmake holds cpack to that.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_QUENDREL_CONFIGURED_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/package_checks.cmake)
set(CPACK_STRIP_FILES ON)
# Folders as Debian wants them, whatever the umask of whoever packs.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUENDREL_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://${QUENDREL_MAKER_WEB_ADDRESS}/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Added to what dpkg-shlibdeps finds: Qt loads its X11 platform plugin at run time, and libqt6gui6 only
# recommends the package that has it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
