#!/usr/bin/env bash
# Installs the Debian packages this project needs to build, test and run.
# Does nothing when they are all there; uses sudo when not run as root.
# With --package it adds the tools that build and check the Debian package;
# with --tests, what only the tests use: those tools (the tests build the
# package), a headless LibreOffice Calc with pdftotext, and the PostgreSQL
# server; with --run, LibreOffice Calc with its window, which the window's
# report opens in.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  clang libclang-rt-14-dev           # sanitizer runtimes and libFuzzer
  libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev
  libxlsxwriter-dev                  # the report workbook
  libpq-dev                          # the result store's client library
  unzip locales                      # tests read the workbook back, under a decimal-comma locale
  qt6-base-dev qt6-svg-dev qt6-qpa-plugins  # the window; offscreen platform for its tests
  qt6-tools-dev qt6-l10n-tools       # lrelease makes the English captions (lupdate: their test)
  qt6-translations-l10n              # Qt's own buttons in Chinese
  fonts-wqy-microhei fonts-arphic-uming fonts-liberation2  # fonts that draw the Chinese captions
  xvfb xauth                         # a display for looking at the window without one
)

# dpkg-shlibdeps finds the package's library dependencies, lintian checks
# it, file tells stripped programs, man renders the pages,
# desktop-file-validate checks the desktop entry.
package_tools=(dpkg-dev lintian file man-db desktop-file-utils)
case "${1:-}" in
  --package | --tests) packages+=("${package_tools[@]}") ;;
esac

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# The server that the result store's tests start for themselves, each in a
# scratch folder of its own; the machine's own cluster need not run.
if [ "${1:-}" = --tests ]; then
  packages+=(postgresql)
fi

# The tests hand the report to LibreOffice, as the window does. A desktop's
# own Calc serves; the headless one would replace it, so it comes only
# where there is no Calc at all (about 265 MB).
if [ "${1:-}" = --tests ] && ! installed libreoffice-calc && ! installed libreoffice-calc-nogui; then
  packages+=(libreoffice-calc-nogui)
fi
# They read the text of the pages LibreOffice prints of it, to see what it
# draws in each cell.
if [ "${1:-}" = --tests ]; then
  packages+=(poppler-utils)
fi
# Someone at the window wants to see the report: the headless Calc cannot
# show it, so the one with a window comes, and takes the headless one's
# place where the tests brought it (it serves the tests as well).
if [ "${1:-}" = --run ]; then
  packages+=(libreoffice-calc)
fi

missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
