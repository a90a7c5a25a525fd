# The Debian package. It always installs under /usr, where dpkg tracks the helper, and
# owns the helper's life through its maintainer scripts.
if(NOT QUOVANT_HELPER_VERSION MATCHES "^[0-9][0-9A-Za-z.+~]*$")
  message(FATAL_ERROR "QUOVANT_HELPER_VERSION \"${QUOVANT_HELPER_VERSION}\" cannot be part of a Debian version")
endif()
# The package's version carries the helper's, so that a package with another helper
# is an upgrade for apt.
if(QUOVANT_HELPER_VERSION STREQUAL PROJECT_VERSION)
  set(QUOVANT_PACKAGE_VERSION ${PROJECT_VERSION})
else()
  set(QUOVANT_PACKAGE_VERSION ${PROJECT_VERSION}+helper${QUOVANT_HELPER_VERSION})
endif()

set(QUOVANT_PACKAGE_PREFIX /usr)
set(QUOVANT_PACKAGE_LIBEXEC ${QUOVANT_PACKAGE_PREFIX}/${QUOVANT_LIBEXEC_INSTALL_DIR})
set(QUOVANT_PACKAGE_CONTROL_DIR ${CMAKE_BINARY_DIR}/packaging/debian)
foreach(script postinst prerm)
  configure_file(packaging/debian/${script}.in ${QUOVANT_PACKAGE_CONTROL_DIR}/${script} @ONLY)
endforeach()
configure_file(packaging/debian/postrm ${QUOVANT_PACKAGE_CONTROL_DIR}/postrm COPYONLY)
configure_file(packaging/debian/conffiles ${QUOVANT_PACKAGE_CONTROL_DIR}/conffiles COPYONLY)

# Documentation as Debian keeps it: the copyright, a compressed changelog and manual page.
string(TIMESTAMP QUOVANT_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(packaging/debian/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
set(QUOVANT_DOCS ${CMAKE_BINARY_DIR}/packaging/changelog.gz ${CMAKE_BINARY_DIR}/packaging/quovant.1.gz)
add_custom_command(OUTPUT ${QUOVANT_DOCS}
  COMMAND gzip -9n -c ${CMAKE_BINARY_DIR}/packaging/changelog > ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/packaging/quovant.1 > ${CMAKE_BINARY_DIR}/packaging/quovant.1.gz
  DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog packaging/quovant.1)
add_custom_target(quovant_package_docs ALL DEPENDS ${QUOVANT_DOCS})
install(FILES packaging/debian/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quovant)
if(QUOVANT_QT)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/quovant.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(CPACK_PACKAGE_NAME quovant)
set(CPACK_PACKAGE_VERSION ${QUOVANT_PACKAGE_VERSION})
set(CPACK_PACKAGE_VENDOR Quovant)
set(CPACK_PACKAGE_CONTACT "Quovant <support@quovant.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tray VPN client with a root helper that runs OpenVPN")
# CPack puts the summary first and indents these lines.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quovant sits in the system tray and shows one login window. It logs the user
in to the Quovant account service, fetches their OpenVPN profile and has its
privileged helper daemon run openvpn with it, then follows the connection
through openvpn's management interface.

The helper daemon is started by systemd through its socket, or by its init
script where systemd does not run.")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://${QUOVANT_WEBSITE_HOST}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libsecret is opened by QtKeychain at run time, so shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, openvpn, pkexec, qt6-qpa-plugins, libsecret-1-0")
# Qt's Wayland plugin: without it a Wayland session runs the window through Xwayland,
# blurred on a scaled screen, and a session without Xwayland cannot show it at all.
# Qt's AT-SPI bridge is part of libqt6gui6 (found by shlibdeps); a screen reader hears
# Quovant through at-spi2-core's accessibility bus, which every desktop with one brings.
# Qt's own translations give standard buttons the user's language.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, at-spi2-core, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${QUOVANT_PACKAGE_CONTROL_DIR}/postinst ${QUOVANT_PACKAGE_CONTROL_DIR}/prerm
  ${QUOVANT_PACKAGE_CONTROL_DIR}/postrm ${QUOVANT_PACKAGE_CONTROL_DIR}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${QUOVANT_PACKAGE_PREFIX})
# The install step then runs with the package's prefix, which the generated files name.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX ${QUOVANT_PACKAGE_PREFIX})
include(CPack)
