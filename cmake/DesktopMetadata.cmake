# Who the program is to desktops, software centres and package managers: one set of words for the desktop
# entry, the AppStream record, the man page and the Debian package.
include(GNUInstallDirs)

# The application id: the web site's domain reversed, without "www.", then the product name
# ("www.tarnwick.example" -> "example.tarnwick.Tarnwick"). It names the desktop entry, the icon and the
# AppStream record, and the program gives it to the windows so that docks match them to the entry.
string(REGEX REPLACE "^www\\." "" _tarnwick_domain "${TARNWICK_WEBSITE}")
string(REGEX REPLACE "[^A-Za-z0-9.]" "_" _tarnwick_domain "${_tarnwick_domain}")
string(REPLACE "." ";" _tarnwick_labels "${_tarnwick_domain}")
list(REVERSE _tarnwick_labels)
list(JOIN _tarnwick_labels "." _tarnwick_reversed)
string(REGEX REPLACE "[^A-Za-z0-9_]" "_" _tarnwick_leaf "${TARNWICK_PRODUCT_NAME}")
set(TARNWICK_APP_ID "${_tarnwick_reversed}.${_tarnwick_leaf}")
# The organisation part alone, for the AppStream developer id.
set(TARNWICK_DEVELOPER_ID "${_tarnwick_reversed}")

# The version as the version record and "--version" give it (3.00 for 3.0.x.x).
set(TARNWICK_DISPLAY_VERSION "${PROJECT_VERSION_MAJOR}.0${PROJECT_VERSION_MINOR}")

set(TARNWICK_SUMMARY "Popup blocker for Chromium-family browsers")
set(TARNWICK_GENERIC_NAME "Popup Blocker")
# The long description, one paragraph per item.
set(TARNWICK_DESCRIPTION
    "${TARNWICK_PRODUCT_NAME} watches every page window of the Chromium-family browsers it is connected to (Chromium, Chrome, Edge, Brave) and cancels each request to open a new window unless the site of the page asking is on your allowed list, you asked to let the next popup through, or the mouse is over a link."
    "In setup mode it asks about sites it does not know yet and learns your answers. It sits in the system tray, lets exactly one popup through on Super+Z, counts the popups it has blocked and can start at log-in. Without a screen it runs headless and prints one line per decision.")
set(TARNWICK_CATEGORIES "Network;Security;Qt;")
set(TARNWICK_KEYWORDS "popup;pop-up;blocker;adblock;advertising;browser;chromium;chrome;")
# The Debian archive section that holds such programs.
set(TARNWICK_DEB_SECTION "web")
# Where the screenshots in docs/screenshots are served from.
set(TARNWICK_SCREENSHOT_URL "${TARNWICK_REPOSITORY_URL}/raw/branch/main/docs/screenshots")
