#!/usr/bin/env bash
# The Debian packages, made and checked as CI does:
#
#   packaging/check.sh [BUILD_DIR]     (BUILD_DIR defaults to build/deb)
#
# A shared Release build in BUILD_DIR, `cpack -G DEB` there, lintian on each package (an error fails the
# check; warnings are printed), then the packages extracted with dpkg-deb -x into a temporary directory and
# used from there: both tools run on samples/hello.der, and a small program is built against the extracted
# library through its pkg-config file. Needs cmake, g++, gzip, dpkg-dev (dpkg-shlibdeps) and lintian.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/deb}"

# Debian's own compiler and linker flags, hardening included, as Debian builds its packages; CMake reads
# them when the build directory is first configured.
if command -v dpkg-buildflags >/dev/null && [ ! -f "$build/CMakeCache.txt" ]; then
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
  LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
  export CXXFLAGS LDFLAGS
fi
# The prefix is the packages' own, so that the library goes to Debian's multiarch directory.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON -DQUARVEL_BUILD_TESTS=OFF \
  -DQUARVEL_BUILD_EXAMPLES=OFF -DCMAKE_INSTALL_PREFIX=/usr
cmake --build "$build" -j2
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB)
debs=("$build"/*.deb)

echo "-- lintian"
lintian --fail-on error "${debs[@]}"

echo "-- the packages, extracted"
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
for deb in "${debs[@]}"; do
  dpkg-deb -x "$deb" "$root"
done
library="$(find "$root/usr/lib" -name 'libquarvel.so.*' -type f)"
[ "$(wc -l <<<"$library")" = 1 ] || { echo "packaging/check.sh: not one libquarvel.so.* in the packages: $library" >&2; exit 1; }
libdir="$(dirname "$library")"

# The runtime package is named after the library's SONAME (libquarvel.so.0.2: libquarvel0.2).
soname="$(objdump -p "$library" | sed -n 's/^ *SONAME *//p')"
expected="$(sed -E 's/([0-9])\.so\./\1-/; s/\.so(\.|$)//' <<<"$soname")"
[ -n "$(find "$build" -maxdepth 1 -name "${expected}_*.deb")" ] ||
  { echo "packaging/check.sh: no package $expected for the SONAME $soname" >&2; exit 1; }
for deb in "${debs[@]}"; do
  package="$(dpkg-deb -f "$deb" Package)"
  for doc in copyright changelog.Debian.gz; do
    [ -f "$root/usr/share/doc/$package/$doc" ] || { echo "packaging/check.sh: $package has no $doc" >&2; exit 1; }
  done
done
for page in "$root"/usr/share/man/man1/*.1.gz; do
  gzip -t "$page"
done

export LD_LIBRARY_PATH="$libdir"
"$root/usr/bin/quarvel-inspect" --job samples/hello.der
"$root/usr/bin/quarvel-dump" --version
"$root/usr/bin/quarvel-dump" exec samples/hello.der >/dev/null

# A program built against the extracted headers and library, found through the extracted pkg-config file.
cat >"$root/consumer.cpp" <<'EOF'
#include <quarvel/version.hpp>

#include <cstdio>

int main() { std::puts(quarvel::version.c_str()); }
EOF
flags="$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs quarvel)"
# shellcheck disable=SC2086  # the flags are words
g++ -std=c++23 -o "$root/consumer" "$root/consumer.cpp" $flags
"$root/consumer"
echo "packaging/check.sh: the packages are sound"
