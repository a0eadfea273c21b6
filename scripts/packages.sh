# The Debian packages that building, running and testing Quillon need.
# qt6-tools-dev and qt6-l10n-tools: CMake's Qt6LinguistTools, lupdate and lrelease, which turn
# translations/*.ts into the .qm files the programs embed. qt6-translations-l10n: Qt's own
# texts in the languages the programs are translated into. fonts-arphic-uming stands in for the
# Chinese window's 宋体; fonts-dejavu-core is the English window's clear Latin face.
QUILLON_BUILD_PACKAGES=(cmake g++ make pkg-config qt6-base-dev qt6-serialport-dev libgl-dev
                        qt6-tools-dev qt6-l10n-tools qt6-translations-l10n fonts-arphic-uming
                        fonts-dejavu-core)
# dpkg-dev and file: CPack's .deb generator finds the programs' library dependencies with them.
# man-db and lintian check the manual pages and the .deb; ser2net puts the virtual board on the
# network for the tests of remote ports, and python3-serial is the benchmarks' reference.
# python3-pyvisa and python3-pyvisa-py are the SCPI clients of the tests of quillon-scpi.
# python3-pyatspi, at-spi2-core and dbus-daemon (dbus-run-session) let the accessibility test read the
# windows as a screen reader does.
QUILLON_TEST_PACKAGES=(locales xvfb xdotool x11-utils xauth libbenchmark-dev dpkg-dev file
                       desktop-file-utils man-db lintian python3-serial ser2net
                       python3-pyvisa python3-pyvisa-py python3-pyatspi at-spi2-core dbus-daemon)
QUILLON_FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)
