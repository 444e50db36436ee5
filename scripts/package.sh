#!/usr/bin/env bash
# Builds the Debian package, build-package/orvana_VERSION-REVISION_ARCH.deb,
# from the same CMake install rules as `cmake --install` (CPack's DEB
# generator): a release build of the three programs in its own folder, with
# the compiler and linker flags Debian's tools give a package. Then checks
# it: lintian (an error fails), the files it must hold, the programs stripped
# and running from it, the manual pages rendering without a warning, the
# desktop entry valid. Prints the contents and the size.
#
#   bash scripts/package.sh && sudo apt install ./build-package/orvana_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
dir=$root/build-package

bash scripts/deps.sh --package

# Debian's flags with every hardening feature (fortified functions, stack
# protector, read-only relocations, immediate binding); not -g, since the
# programs are stripped. CMake reads none of these from the environment once
# the folder is configured, so they are passed each time.
without_debug_info() {
  local kept=() word
  for word in $1; do [ "$word" = -g ] || kept+=("$word"); done
  echo "${kept[*]}"
}
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cflags=$(without_debug_info "$(dpkg-buildflags --get CFLAGS) $cppflags")
cxxflags=$(without_debug_info "$(dpkg-buildflags --get CXXFLAGS) $cppflags")
ldflags=$(dpkg-buildflags --get LDFLAGS)

echo "== package: configure and build the programs ($dir)"
# Installing builds only what is installed: the package never waits for
# the replay programs of the fuzz corpora or anything else of "all".
# Debian's -O2, not CMake's -O3 for a release: the optimisation every other
# package of the distribution is built with, and warnings stay errors.
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_FLAGS_RELEASE=-DNDEBUG -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
  -DORVANA_TESTS=OFF -DORVANA_BENCH=OFF -DORVANA_FUZZ=OFF -DORVANA_GUI=ON -DORVANA_SANITIZE= \
  -DORVANA_WERROR=ON -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
  "-DCMAKE_C_FLAGS=$cflags" "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" \
  >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
cmake --build "$dir" -j "$(nproc)" --target orvana orvana-cli orvana-sim

echo "== package: cpack"
rm -f "$dir"/orvana_*.deb
(cd "$dir" && cpack -G DEB) >"$dir.cpack.log" 2>&1 || { cat "$dir.cpack.log"; exit 1; }
debs=("$dir"/orvana_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "cpack made no single package"; exit 1; }
deb=${debs[0]}

echo "== package: lintian"
lintian --fail-on error --display-info "$deb"

echo "== package: contents"
dpkg-deb -c "$deb" | tee "$dir.contents"
dpkg-deb -f "$deb" Package Version Architecture Installed-Size Depends Recommends Suggests Section

failures=0
fail() { echo "package: $*"; failures=$((failures + 1)); }

expected=(
  usr/bin/orvana usr/bin/orvana-cli usr/bin/orvana-sim
  usr/share/orvana/lang/en/language.ini usr/share/orvana/lang/zh_CN/language.ini
  usr/share/orvana/translations/orvana_en.qm
  usr/share/applications/orvana.desktop usr/share/applications/orvana-bench.desktop
  usr/share/icons/hicolor/scalable/apps/orvana.svg
  usr/share/man/man1/orvana.1.gz usr/share/man/man1/orvana-cli.1.gz
  usr/share/man/man1/orvana-sim.1.gz
  usr/share/doc/orvana/copyright usr/share/doc/orvana/changelog.Debian.gz
)
for path in "${expected[@]}"; do
  grep -q " \./$path\$" "$dir.contents" || fail "$path is missing"
done
# Everything belongs to root, whoever built it.
awk '$2 != "root/root" { print "package: owned by " $2 ": " $6; bad = 1 } END { exit bad }' \
  "$dir.contents" || failures=$((failures + 1))
# dpkg-shlibdeps ran: the libraries the programs link are named.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libqt6svg6 libxlsxwriter libstdc++6; do
  grep -q "$library" <<<"$depends" || fail "Depends lacks $library"
done

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
# A new version of the programs needs its entry in packaging/changelog.
version=$(dpkg-deb -f "$deb" Version)
newest=$(zcat "$unpacked/usr/share/doc/orvana/changelog.Debian.gz" | sed -n 1p)
[[ "$newest" == "orvana ($version) "* ]] ||
  fail "packaging/changelog's newest entry is \"$newest\", not one for $version"
for program in orvana orvana-cli orvana-sim; do
  description=$(file -b "$unpacked/usr/bin/$program")
  case "$description" in
    ELF*", stripped"*) ;;
    *) fail "usr/bin/$program is not a stripped program: $description" ;;
  esac
done
# The packaged programs run with the system's libraries.
help=$("$unpacked/usr/bin/orvana-cli" --help) && grep -q '^usage: orvana-cli ports$' <<<"$help" ||
  fail "orvana-cli --help does not give the usage"
help=$("$unpacked/usr/bin/orvana-sim" --help) && grep -q '^Usage: orvana-sim' <<<"$help" ||
  fail "orvana-sim --help does not give the usage"
help=$(QT_QPA_PLATFORM=offscreen "$unpacked/usr/bin/orvana" --help) && grep -q -- '--demo' <<<"$help" ||
  fail "orvana --help does not give the options"
# Each page renders, and groff has nothing to say about it.
for page in "$unpacked"/usr/share/man/man1/*.1.gz; do
  warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) ||
    fail "man cannot render $(basename "$page")"
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done
# Valid, and without hints either (two main categories are only a hint).
for entry in orvana orvana-bench; do
  report=$(desktop-file-validate "$unpacked/usr/share/applications/$entry.desktop" 2>&1) ||
    fail "desktop entry $entry: $report"
  [ -z "$report" ] || fail "desktop entry $entry: $report"
done

[ "$failures" -eq 0 ] || { echo "package: $failures problems"; exit 1; }
echo "== package: $deb, $(stat -c %s "$deb") bytes, built and checked in ${SECONDS}s"
