# The Debian package: `cpack -G DEB` in the build folder writes tarnwick_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VENDOR "${TARNWICK_COMPANY_NAME}")
set(CPACK_PACKAGE_VERSION "${TARNWICK_DISPLAY_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${TARNWICK_SUMMARY}")
list(JOIN TARNWICK_DESCRIPTION "\n\n" CPACK_PACKAGE_DESCRIPTION)
set(CPACK_PACKAGE_HOMEPAGE_URL "https://${TARNWICK_WEBSITE}/")
string(REGEX REPLACE "^www\\." "" _tarnwick_mail_domain "${TARNWICK_WEBSITE}")
set(CPACK_PACKAGE_CONTACT "${TARNWICK_COMPANY_NAME} <packages@${_tarnwick_mail_domain}>")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "${TARNWICK_DEB_SECTION}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the binary links come from dpkg-shlibdeps; these are what it runs without linking them:
# QtWebEngine's helper process and the font the windows fall back to.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6webenginecore6-bin, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "chromium")

include(CPack)
