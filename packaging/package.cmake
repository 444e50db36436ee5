# The Debian package, made by CPack's DEB generator from the install rules
# of CMakeLists.txt and of this file: one set of install rules serves
# `cmake --install` and the package alike, so there is no second description
# of the build (no debian/ folder) to keep in step with CMakeLists.txt.
# scripts/package.sh builds it.
#
# Included from the top-level CMakeLists.txt after the programs' install
# rules: CPack has to be included at the top level, and the pages here
# follow the programs that are built (no orvana.1 without the window).

set(ORVANA_PACKAGE_MAINTAINER "Orvana maintainers <maintainers@orvana.example>"
    CACHE STRING "The Maintainer field of the Debian package")
# The Debian revision: raised for a new package of the same program version.
set(ORVANA_PACKAGE_RELEASE 1)

set(orvana_packaging_dir ${CMAKE_CURRENT_LIST_DIR})
set(orvana_generated_dir ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${orvana_generated_dir})

# Debian wants manual pages and changelogs compressed with gzip -9, and -n
# leaves the name and time out so that the same page gives the same bytes.
# Done when CMake configures (configure_file re-runs it when a page changes),
# so building the package builds nothing but the programs.
function(orvana_gzip input output)
  execute_process(COMMAND gzip -9 -n -c ${input} OUTPUT_FILE ${output} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${input}: ${failed}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${input})
endfunction()

set(orvana_pages orvana-cli orvana-sim)
if(ORVANA_GUI)
  list(APPEND orvana_pages orvana)
endif()
foreach(page IN LISTS orvana_pages)
  configure_file(${orvana_packaging_dir}/man/${page}.1.in ${orvana_generated_dir}/${page}.1 @ONLY)
  orvana_gzip(${orvana_generated_dir}/${page}.1 ${orvana_generated_dir}/${page}.1.gz)
  install(FILES ${orvana_generated_dir}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# The changelog: its newest entry names the version packaged, which
# scripts/package.sh checks.
orvana_gzip(${orvana_packaging_dir}/changelog ${orvana_generated_dir}/changelog.Debian.gz)

set(orvana_docdir ${CMAKE_INSTALL_DATADIR}/doc/orvana)
install(FILES ${orvana_packaging_dir}/copyright ${orvana_generated_dir}/changelog.Debian.gz
        DESTINATION ${orvana_docdir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvana)
set(CPACK_PACKAGE_VENDOR "The Orvana developers")
set(CPACK_PACKAGE_CONTACT "${ORVANA_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${ORVANA_PACKAGE_RELEASE})
# orvana_VERSION-REVISION_ARCH.deb, the name Debian's own tools give.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Installed programs carry no symbols and no debug information.
set(CPACK_STRIP_FILES ON)

set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "companion of a fibre-optic IL&RL meter")
# CPack indents these lines and turns the empty one into the paragraph mark.
set(CPACK_PACKAGE_DESCRIPTION
    "Orvana talks to a fibre-optic IL&RL meter (insertion loss and return loss
at two wavelengths) over a serial port at 9600 8N1. It lists the serial
ports, connects, turns every result the meter records into a colour-coded
table row (a value below its threshold is a fail), appends it to a daily log,
uploads or erases the records stored in the meter, reads a saved log back and
exports the table as a workbook that opens in LibreOffice Calc.

The package holds the Qt window (orvana), the same station without a window
for scripted and headless benches (orvana-cli, which prints JSON lines), and a
simulated meter on a pseudo-terminal for demonstrations and tests
(orvana-sim).")

# The libraries the programs link (Qt, libxlsxwriter, the C++ runtime) come
# from dpkg-shlibdeps. Qt's xcb and offscreen platform plugins and its SVG
# icon plugins ship in libqt6gui6 and libqt6svg6, which that already names.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Not needed to run, but a desktop has them: the window hands its report to
# Calc, its captions are Chinese, drawn in WenQuanYi Micro Hei (or Noto Sans
# CJK), the table's Song face is AR PL UMing, and in Chinese Qt's own buttons
# come from Qt's translations. A headless station needs none of them, hence
# no hard dependency.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "libreoffice-calc, fonts-wqy-microhei | fonts-noto-cjk, fonts-arphic-uming, qt6-translations-l10n")
# The Arial face; without it the Chinese font above draws the Latin text too.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "fonts-liberation2")

include(CPack)
