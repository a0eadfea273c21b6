# Installs the programs with their manual pages, a desktop entry, an icon, the license and the
# changelog; CPack makes a .deb of them that Debian's lintian finds clean.
include(GNUInstallDirs)

foreach(program quillon quillon-board quillon-send quillon-scpi)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/data/quillon.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/quillon.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Manual pages and the changelog are installed as Debian wants them: gzip -9 with no name or
# time in the header, so the same sources always give the same bytes.
find_program(QUILLON_GZIP gzip REQUIRED)
set(quillon_compressed_dir ${PROJECT_BINARY_DIR}/compressed)
set(quillon_compressed_files)
foreach(source man/quillon.1 man/quillon-send.1 man/quillon-board.1 man/quillon-scpi.1
               changelog)
  get_filename_component(name ${source} NAME)
  set(output ${quillon_compressed_dir}/${name}.gz)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/data/${source}
            ${quillon_compressed_dir}/${name}
    COMMAND ${QUILLON_GZIP} -9nf ${quillon_compressed_dir}/${name}
    DEPENDS ${PROJECT_SOURCE_DIR}/data/${source}
    COMMENT "Compressing ${name}"
    VERBATIM)
  list(APPEND quillon_compressed_files ${output})
endforeach()
add_custom_target(quillon_compressed_docs ALL DEPENDS ${quillon_compressed_files})
install(FILES ${quillon_compressed_dir}/quillon.1.gz ${quillon_compressed_dir}/quillon-send.1.gz
              ${quillon_compressed_dir}/quillon-board.1.gz ${quillon_compressed_dir}/quillon-scpi.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The SCPI server as a systemd template, one instance per device; installed, never enabled.
install(FILES ${PROJECT_SOURCE_DIR}/data/quillon-scpi@.service
        DESTINATION lib/systemd/system)

# Debian's machine-readable copyright file, its license text taken from LICENSE: every line
# indented by a space, and a blank line written as " .".
set(quillon_docdir ${CMAKE_INSTALL_DATADIR}/doc/quillon)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
string(FIND "${license}" "Permission is hereby granted" permission_start)
string(SUBSTRING "${license}" ${permission_start} -1 license)
string(STRIP "${license}" license)
string(REPLACE "\n\n" "\n.\n" license "${license}")
string(REPLACE "\n" "\n " license "${license}")
file(WRITE ${PROJECT_BINARY_DIR}/copyright
     "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
     "Upstream-Name: Quillon\n"
     "\n"
     "Files: *\n"
     "Copyright: 2026 The Quillon developers\n"
     "License: Expat\n"
     " ${license}\n")
install(FILES ${PROJECT_BINARY_DIR}/copyright ${quillon_compressed_dir}/changelog.gz
        DESTINATION ${quillon_docdir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VENDOR "Quillon developers")
# A reserved domain (RFC 2606): the package names no person's address.
set(CPACK_PACKAGE_CONTACT "Quillon developers <developers@quillon.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Control panel for an eight-channel 8-bit DAC board on a serial line")
# The extended description, wrapped for dpkg; CPack puts the summary above it.
set(CPACK_PACKAGE_DESCRIPTION [=[
Quillon sets the outputs of an eight-channel 8-bit digital-to-analogue
converter board, 0 to 5 V each, over a 9600 baud serial line: one channel,
four or all eight at a time, or a reset of every channel to 0 V.

The panel, quillon, is a window with the board's controls that shows the bytes
it sends and receives. quillon-send sends the same frames from scripts and
plays sequences of them on a steady clock. quillon-scpi serves the board as a
SCPI instrument on TCP for lab scripts such as PyVISA. quillon-board is a
virtual board on a pseudo-terminal for trying them without hardware.]=])
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# dpkg-shlibdeps (dpkg-dev) adds the versioned C, C++ and Qt libraries the programs link; the
# platform plugins and the Song-style font that stands in for the panel's Chinese face are
# loaded at run time, so they are named here. Without dpkg-shlibdeps the Qt runtime is named too.
find_program(QUILLON_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QUILLON_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-arphic-uming")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), libqt6serialport6 (>= 6.4), qt6-qpa-plugins, fonts-arphic-uming")
endif()
# Qt's own texts in the language a window is translated into; the programs run without.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_STRIP_FILES ON)
include(CPack)
