# The Debian package (`make package`, or `cpack -G DEB` in the build folder): what `cmake --install`
# puts in place, under /usr, with the binaries stripped and the dependencies read from the
# libraries the executables link (dpkg-shlibdeps).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tallyglass)
set(CPACK_PACKAGE_VENDOR "The Tallyglass developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${TALLYGLASS_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "watch account balances and currency exchange rates")
# Lines of at most 78 characters: CPack indents each by one, and 80 is the limit.
set(CPACK_PACKAGE_DESCRIPTION
    "Tallyglass is a tray program that watches the money balances of your accounts
at web services and the exchange rates that currency-rate providers publish.
It downloads account pages, logging in when needed, finds the balance in them
with regular expressions or small JavaScript functions, shows the balances in
an always-on-top list with their trend, and tells you when one changes.

The package also holds tallyglass-tool, a command-line tool for people who
write alert definitions and provider scripts.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Pages are fetched over TLS, verified against the system's certificate store; Qt's own texts
# (message box buttons, edit menus) follow the program's language with Qt's translations. The
# keyring library loads libsecret when the program first uses the desktop keyring.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ca-certificates, qt6-translations-l10n, libsecret-1-0")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_SOURCE_GENERATOR TXZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/")
include(CPack)
