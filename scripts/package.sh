#!/usr/bin/env bash
# Builds the Debian packages of the programs into BUILD/packages/, from the tree's install:
#   muxconsole  both consoles, their desktop entries, icons, string tables and manual page, and
#               the bridge's systemd template unit with its options file in /etc/default
#   muxsim      the simulated multiplexer, for trying the console without hardware
#   navtool     the navigation library's command-line tool, with its desktop module (drawing,
#               mail, globe viewer) in /usr/lib/<multiarch>/navtool
# Usage: scripts/package.sh [build folder]   (default build/; configured and built when needed)
# Check them with: lintian BUILD/packages/*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
bash scripts/deps.sh dpkg-dev
build=$(realpath -m "${1:-build}")
packages=(muxconsole muxsim navtool)

die() {
  echo "package.sh: $*" >&2
  exit 1
}

# A tree built for the sanitizers or without Qt makes no package.
if [ -f "$build/CMakeCache.txt" ]; then
  for option in MUX_SANITIZE MUX_TSAN MUX_FUZZ; do
    if grep -q "^$option:BOOL=ON" "$build/CMakeCache.txt"; then
      die "$build is built with $option=ON; package a plain build"
    fi
  done
  if grep -q "^MUX_GUI:BOOL=OFF" "$build/CMakeCache.txt"; then
    die "$build is built without the consoles (MUX_GUI=OFF)"
  fi
else
  cmake -S . -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" --target muxconsole muxconsole-legacy muxsim navtool navtool-desktop

# The upstream version is the one the programs report; the changelog adds the Debian revision.
upstream=$(sed -n 's/^#define MUX_VERSION "\(.*\)"$/\1/p' "$build/generated/app/Version.h")
version=$(dpkg-parsechangelog -l packaging/debian/changelog -S Version)
if [ "${version%-*}" != "$upstream" ]; then
  die "packaging/debian/changelog's latest entry is $version, the project is $upstream: add an entry"
fi
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l packaging/debian/changelog -S Timestamp)
export SOURCE_DATE_EPOCH
arch=$(dpkg --print-architecture)

out=$build/packages
work=$out/work
rm -rf "$work"
rm -f "$out"/*.deb
mkdir -p "$work/debian"
cp packaging/debian/control packaging/debian/changelog "$work/debian/"
tree=$work/install
DESTDIR=$tree cmake --install "$build" --prefix /usr >/dev/null
install -D -m 644 packaging/muxbridge@.service "$tree/lib/systemd/system/muxbridge@.service"
install -D -m 644 packaging/muxbridge.default "$tree/etc/default/muxbridge"

# take PACKAGE PATTERN...: moves what is installed at each pattern into the package's tree.
take() {
  local package=$1 pattern match relative
  shift
  for pattern in "$@"; do
    for match in "$tree"/$pattern; do
      [ -e "$match" ] || die "nothing is installed at /$pattern"
      relative=${match#"$tree"/}
      mkdir -p "$work/$package/$(dirname "$relative")"
      mv "$match" "$work/$package/$relative"
    done
  done
}
take muxconsole usr/bin/muxconsole usr/bin/muxconsole-legacy usr/share/applications usr/share/icons \
  usr/share/muxconsole 'usr/share/man/man1/muxconsole*' lib/systemd etc/default
take muxsim usr/bin/muxsim usr/share/man/man1/muxsim.1
take navtool usr/bin/navtool 'usr/lib/*/navtool' usr/share/man/man1/navtool.1
left=$(find "$tree" -type f -o -type l)
[ -z "$left" ] || die "installed but in no package: ${left//$tree/}"

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$work"/muxconsole/usr/share/applications/*.desktop
fi

# Manual pages compressed; a page that only includes another becomes a link to it.
compress_pages() {
  local page target
  for page in "$1"/usr/share/man/man*/*; do
    target=$(sed -n '1s/^\.so man[1-9]\/\(.*\)$/\1/p' "$page")
    if [ -n "$target" ] && [ "$(wc -l <"$page")" -eq 1 ]; then
      rm "$page"
      ln -s "$target.gz" "$page.gz"
    else
      gzip -9n "$page"
    fi
  done
}

# The programs and the modules they load, for dpkg-shlibdeps.
objects() {
  find "$1/usr/bin" -type f
  find "$1" -name '*.so' -type f
}

# control, md5sums, conffiles and maintainer scripts of the package in $work/$1.
control_files() {
  local package=$1 root=$work/$1 script binaries
  mkdir -p "$root/DEBIAN"
  for script in postinst prerm postrm; do
    if [ -f "packaging/debian/$package.$script" ]; then
      install -m 755 "packaging/debian/$package.$script" "$root/DEBIAN/$script"
    fi
  done
  if [ -d "$root/etc" ]; then
    (cd "$root" && find etc -type f | sort | sed 's|^|/|') >"$root/DEBIAN/conffiles"
  fi
  (cd "$root" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | sort -z | xargs -0 md5sum) \
    >"$root/DEBIAN/md5sums"
  mapfile -t binaries < <(objects "$root")
  (cd "$work" && dpkg-shlibdeps -T"debian/$package.substvars" "${binaries[@]}")
  (cd "$work" && dpkg-gencontrol -p"$package" -P"$root" -T"debian/$package.substvars" -fdebian/files)
}

for package in "${packages[@]}"; do
  root=$work/$package
  strip --remove-section=.comment --remove-section=.note "$root"/usr/bin/*
  # A loaded module keeps the symbols it is linked by, as dh_strip leaves a shared object.
  find "$root" -name '*.so' -type f -exec strip --strip-unneeded --remove-section=.comment \
    --remove-section=.note {} +
  compress_pages "$root"
  install -D -m 644 packaging/debian/copyright "$root/usr/share/doc/$package/copyright"
  gzip -9nc packaging/debian/changelog >"$root/usr/share/doc/$package/changelog.Debian.gz"
  find "$root" -type d -exec chmod 755 {} +
  find "$root" -type f -exec chmod 644 {} +
  chmod 755 "$root"/usr/bin/*
  control_files "$package"
  find "$root" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  dpkg-deb --root-owner-group -Zxz --build "$root" "$out/${package}_${version}_$arch.deb" >/dev/null
done
rm -rf "$work"
ls -l "$out"/*.deb | awk '{ printf "%9d  %s\n", $5, $NF }' | sed "s|$source/||"
