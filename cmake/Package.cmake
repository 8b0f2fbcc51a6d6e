# A Debian package of the installed tree: cpack -G DEB in a build tree gives
# kestra_VERSION_ARCH.deb, installable with apt-get install ./kestra_*.deb.
set(CPACK_PACKAGE_NAME kestra)
set(CPACK_PACKAGE_VENDOR "Marrow Data")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "multi-console character terminal")
set(CPACK_PACKAGE_DESCRIPTION
    "KESTRA holds one console window per configured console in one frame window.
Each console is a VT100, VT52 or GENRAD terminal bound to a byte stream that a
server offers on a Unix socket or a TCP port: the serial ports of virtual
machines, ser2net lines, board consoles. The package also holds kestra-check,
which checks a configuration without a window, kestra-replay, which shows the
screen a byte stream makes, and kestra-serve, which offers a command on a
socket.")
set(CPACK_PACKAGE_CONTACT "KESTRA maintainers <kestra@marrow-data.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://marrow-data.example/kestra")
# Libraries the programs link come from dpkg-shlibdeps when it is there
# (dpkg-dev); the Qt platform plugin is loaded at run time, so no library
# scan finds it. Without dpkg-shlibdeps the libraries are named here.
find_program(KESTRA_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(KESTRA_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS
        "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1 (>= 3.0), libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), qt6-qpa-plugins")
endif()
# The default console font when the preferred one is missing, and the
# opener of the default editor command.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core, xdg-utils")

set(CPACK_GENERATOR DEB)
include(CPack)
