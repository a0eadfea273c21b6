# The Debian packages that building, running and testing Quillon need.
QUILLON_BUILD_PACKAGES=(cmake g++ make pkg-config qt6-base-dev qt6-serialport-dev libgl-dev
                        fonts-arphic-uming)
# dpkg-dev and file: CPack's .deb generator finds the programs' library dependencies with them.
# man-db and lintian check the manual pages and the .deb; ser2net puts the virtual board on the
# network for the tests of remote ports, and python3-serial is the benchmarks' reference.
QUILLON_TEST_PACKAGES=(locales xvfb xdotool x11-utils xauth libbenchmark-dev dpkg-dev file
                       desktop-file-utils man-db lintian python3-serial ser2net)
QUILLON_FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)
