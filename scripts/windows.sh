#!/usr/bin/env bash
# Builds the Windows programs and their tests with Debian's mingw-w64, into
# build-windows/ (or $ORVANA_WINDOWS_BUILD), ready for
# `ctest --test-dir build-windows`, which runs them under Wine.
#
# Installs the Debian packages it needs (sudo when not root), fetches the
# sources of libxlsxwriter and libpq as Debian source packages and
# cross-builds them, with GoogleTest from the source tree the googletest
# package installs, into build-windows/third-party/prefix/. Each library is
# built once and reused while its stamp is there; so is each fetched source.
# A second run only brings the project's own build up to date.
#
# ORVANA_JOBS sets the build's parallel jobs (default 1: a shared machine).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ORVANA_WINDOWS_BUILD:-$root/build-windows}
third_party=$build/third-party
sources=$third_party/src
prefix=$third_party/prefix
stamps=$third_party/stamps
toolchain=$root/cmake/mingw-w64-x86_64.cmake
jobs=${ORVANA_JOBS:-1}
triple=x86_64-w64-mingw32
sysroot=/usr/$triple

step() { printf '== %s\n' "$*"; }

# --- the packages -----------------------------------------------------------
packages=(
  cmake ninja-build pkg-config
  gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  binutils-mingw-w64-x86-64          # windres, ar, ranlib for the target
  libz-mingw-w64-dev                 # the workbook's zip deflate, for mingw
  wine wine64                        # runs the tests
  zip
  socat                              # joins two pseudo-terminals for the line tests
  googletest                         # GoogleTest's source tree, /usr/src/googletest
  nlohmann-json3-dev                 # header-only: copied into the prefix
  dpkg-dev                           # apt-get source unpacks with dpkg-source
  bison flex perl make               # libpq's build
)
installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}
missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

mkdir -p "$sources" "$prefix" "$stamps"

# --- the source packages ----------------------------------------------------
# The machine's apt sources rarely carry deb-src entries. A private apt
# configuration under the build folder has the machine's own entries
# rewritten to deb-src, so no mirror is named here and the system's apt
# state is left alone.
apt_dir=$third_party/apt
apt_options=()
apt_ready=""
private_apt() {
  [ -n "$apt_ready" ] && return
  mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
  rm -f "$apt_dir"/sources.list.d/*
  : > "$apt_dir/sources.list"
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^[[:space:]]*deb\([[:space:]]\)/deb-src\1/p' /etc/apt/sources.list >> "$apt_dir/sources.list"
  fi
  local file
  for file in /etc/apt/sources.list.d/*.list; do
    [ -f "$file" ] || continue
    sed -n 's/^[[:space:]]*deb\([[:space:]]\)/deb-src\1/p' "$file" > "$apt_dir/sources.list.d/$(basename "$file")"
  done
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    sed 's/^Types:.*/Types: deb-src/' "$file" > "$apt_dir/sources.list.d/$(basename "$file")"
  done
  apt_options=(
    -o "Dir::Etc::SourceList=$apt_dir/sources.list"
    -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
    -o "Dir::State::Lists=$apt_dir/lists"
    -o "Dir::Cache=$apt_dir/cache"
  )
  # As root apt hands downloads to its _apt user, who cannot write here.
  if [ "$(id -u)" -eq 0 ]; then apt_options+=(-o "APT::Sandbox::User=root"); fi
  step "apt-get update (deb-src, private lists)"
  apt-get "${apt_options[@]}" update -q >/dev/null
  apt_ready=1
}

# fetch NAME SOURCE-PACKAGE BINARY-PACKAGE: unpacks the source package into
# $sources/NAME, in the version of the installed binary package when there
# is one (the newest is not always still served), else the newest.
fetch() {
  local name=$1 source_package=$2 binary_package=$3
  [ -d "$sources/$name" ] && return
  private_apt
  local version
  version=$(dpkg-query -W -f='${source:Version}' "$binary_package" 2>/dev/null || true)
  local scratch=$sources/.fetch-$name
  rm -rf "$scratch"
  mkdir -p "$scratch"
  step "apt-get source $source_package${version:+=$version}"
  (cd "$scratch" && apt-get "${apt_options[@]}" source -q "$source_package${version:+=$version}" >/dev/null) ||
    (cd "$scratch" && apt-get "${apt_options[@]}" source -q "$source_package" >/dev/null)
  local unpacked
  unpacked=$(find "$scratch" -mindepth 1 -maxdepth 1 -type d)
  mv "$unpacked" "$sources/$name"
  rm -rf "$scratch"
}

fetch libxlsxwriter libxlsxwriter libxlsxwriter-dev
fetch postgresql postgresql-15 libpq-dev

# --- the libraries ----------------------------------------------------------
# Static everywhere, so the programs need no DLL beside them. Each .pc file
# is written here, with what a static link needs, because pkg-config's
# IMPORTED_TARGET reads only Libs.
pc_file() { # NAME VERSION LIBS
  mkdir -p "$prefix/lib/pkgconfig"
  cat > "$prefix/lib/pkgconfig/$1.pc" <<EOF
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: $1
Description: $1, cross-built for Windows
Version: $2
Libs: -L\${libdir} $3
Cflags: -I\${includedir}
EOF
}

cmake_library() { # NAME SOURCE-FOLDER CMAKE-ARGS...
  local name=$1 source=$2
  shift 2
  cmake -S "$source" -B "$third_party/build/$name" -G Ninja --toolchain "$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
    -DORVANA_WINDOWS_PREFIX="$prefix" "$@" >/dev/null
  cmake --build "$third_party/build/$name" -j "$jobs" >/dev/null
  cmake --install "$third_party/build/$name" >/dev/null
}

timed() { # NAME COMMAND...: runs it once, with a stamp and the time it took
  local name=$1
  shift
  [ -f "$stamps/$name" ] && return
  step "building $name"
  local started=$SECONDS
  "$@"
  echo "$((SECONDS - started)) s" > "$stamps/$name"
  step "$name built in $((SECONDS - started)) s"
}

zlib_static=$sysroot/lib/libz.a

build_xlsxwriter() {
  cmake_library libxlsxwriter "$sources/libxlsxwriter" -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF \
    -DUSE_SYSTEM_MINIZIP=OFF -DZLIB_LIBRARY="$zlib_static" -DZLIB_INCLUDE_DIR="$sysroot/include"
  local version
  version=$(sed -n 's/^#define LXW_VERSION "\(.*\)"/\1/p' "$sources/libxlsxwriter/include/xlsxwriter.h")
  # The mingw sysroot has zlib as a DLL and as a static library; the
  # prefix gets the static one only, so that -lz cannot pick the DLL.
  cp "$zlib_static" "$prefix/lib/libz.a"
  pc_file xlsxwriter "$version" "-lxlsxwriter -lz"
}

build_googletest() {
  cmake_library googletest /usr/src/googletest -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
}

build_libpq() {
  local out=$third_party/build/postgresql
  # An interrupted build carries on where it stopped.
  if [ ! -f "$out/config.status" ]; then
    rm -rf "$out"
    mkdir -p "$out"
    (cd "$out" && CC=$triple-gcc-posix "$sources/postgresql/configure" --host=$triple \
       --prefix="$prefix" --without-readline --without-zlib --without-icu --without-openssl \
       --without-ldap --without-gssapi >/dev/null)
  fi
  make -C "$out/src/interfaces/libpq" -j "$jobs" >/dev/null
  # Its own install gives the DLL and the DLL's import library; a static
  # libpq is the objects of that DLL with the two helper libraries they
  # were linked with.
  local objects
  objects=$(find "$out/src/interfaces/libpq" -maxdepth 1 -name '*.o' ! -name '*rc.o' | sort)
  rm -f "$prefix/lib/libpq.a"
  {
    echo "create $prefix/lib/libpq.a"
    for object in $objects; do echo "addmod $object"; done
    echo "addlib $out/src/common/libpgcommon_shlib.a"
    echo "addlib $out/src/port/libpgport_shlib.a"
    echo save
    echo end
  } | $triple-ar -M
  # libpq brings its own small pthread emulation for Windows, with its own
  # mutex type, under the standard names; winpthread (which std::thread
  # needs, linked statically) defines the same names for another type. Its
  # functions get names of their own, so each side keeps its own.
  $triple-nm --defined-only "$out/src/interfaces/libpq/pthread-win32.o" |
    awk '$2 == "T" && $3 ~ /^pthread_/ { print $3, "orvana_pq_" $3 }' > "$out/pthread-names"
  $triple-objcopy --redefine-syms="$out/pthread-names" "$prefix/lib/libpq.a"
  $triple-ranlib "$prefix/lib/libpq.a"
  mkdir -p "$prefix/include"
  cp "$sources/postgresql/src/interfaces/libpq/libpq-fe.h" \
     "$sources/postgresql/src/interfaces/libpq/libpq-events.h" \
     "$sources/postgresql/src/include/postgres_ext.h" \
     "$out/src/include/pg_config_ext.h" "$prefix/include/"
  local version
  version=$(sed -n 's/^#define PG_VERSION "\(.*\)"/\1/p' "$out/src/include/pg_config.h")
  pc_file libpq "$version" "-lpq -lsecur32 -lws2_32 -lshell32"
}

# nlohmann/json is headers only: the build machine's copy serves as it is.
copy_json() {
  mkdir -p "$prefix/include" "$prefix/share/cmake"
  cp -r /usr/include/nlohmann "$prefix/include/"
  cp -r /usr/share/cmake/nlohmann_json "$prefix/share/cmake/"
}

timed nlohmann_json copy_json
timed libxlsxwriter build_xlsxwriter
timed googletest build_googletest
timed libpq build_libpq

# --- the project ------------------------------------------------------------
if [ ! -f "$build/CMakeCache.txt" ]; then
  step "configuring $build"
  cmake -S "$root" -B "$build" -G Ninja --toolchain "$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVANA_WERROR=ON -DORVANA_GUI=OFF -DORVANA_WINDOWS_PREFIX="$prefix"
fi
step "building $build"
cmake --build "$build" -j "$jobs"

# --- the zip ----------------------------------------------------------------
# orvana-cli.exe (static: no DLL beside it), stripped of the debug
# information the tests' build keeps, the two language files where the
# program looks for its installed texts, and the read-me with Windows line
# ends.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=orvana-$version-windows-x64
stage=$build/zip/$name
rm -rf "$build/zip"
mkdir -p "$stage/share/orvana/lang"
$triple-strip -o "$stage/orvana-cli.exe" "$build/src/cli/orvana-cli.exe"
cp -r "$root/lang/en" "$root/lang/zh_CN" "$stage/share/orvana/lang/"
sed 's/$/\r/' "$root/packaging/windows/README.txt" > "$stage/README.txt"
rm -f "$build/$name.zip"
(cd "$build/zip" && zip -qr -X "$build/$name.zip" "$name")
step "made $build/$name.zip ($(du -k "$build/$name.zip" | cut -f1) KiB)"
step "done: ctest --test-dir $build"
