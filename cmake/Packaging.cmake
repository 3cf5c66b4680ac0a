# The Debian package of the Linux client: `cpack` in a build directory (scripts/package does it)
# makes vetron_<VERSION>_<architecture>.deb from the install rules: the executable with its QML
# module compiled in, the desktop entry and the icon. Libraries are found by dpkg-shlibdeps; the
# QML modules, the tools the client runs and the desktop pieces it talks to are declared here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vetron)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Ветрон")
set(VETRON_PACKAGE_MAINTAINER "Ветрон <packages@vetron.invalid>" CACHE STRING
    "The Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${VETRON_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Ветрон: личные данные заменяются перед отправкой Claude")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Клиент Ветрона направляет запросы к Claude через защищённый туннель к серверу защиты, который\n"
    "заменяет личные данные заменителями до отправки и возвращает их в ответе.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qml6-module-qtqml, qml6-module-qtqml-models, qml6-module-qtqml-workerscript, qml6-module-qtquick, qml6-module-qtquick-controls, qml6-module-qtquick-layouts, qml6-module-qtquick-templates, qml6-module-qtquick-window, qml6-module-qtquick-shapes, qml6-module-qt-labs-platform, qt6-qpa-plugins, openssh-client, libnss3-tools, gsettings-desktop-schemas, dconf-gsettings-backend | gsettings-backend, dbus")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, libkf5config-bin")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${VETRON_PORTAL_BASE_URL}")
include(CPack)
