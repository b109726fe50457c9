#!/usr/bin/env bash
# Builds the Debian package zamri from a Linux build tree whose programs are built already.
# Usage: build-deb.sh BUILD_DIR VERSION OUTPUT.deb      (run by the build target "deb")
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
output=$3
here=$(cd "$(dirname "$0")" && pwd)
source=$(cd "$here/../.." && pwd)
stage=$build/deb/zamri
rm -rf "$build/deb"
mkdir -p "$stage/DEBIAN"

# The programs in /usr/bin, the overlay library stand-in and the language pack in
# /usr/lib/zamri, where the programs' run path looks.
DESTDIR=$stage cmake --install "$build" --prefix /usr --component zamri --strip >/dev/null

install -D -m 0644 "$here/zamri.service" "$stage/lib/systemd/system/zamri.service"
install -D -m 0644 "$here/default" "$stage/etc/default/zamri"
# The settings may hold the web page's password: never readable by every user, not even between
# unpacking and postinst, which gives the service's group read access.
install -D -m 0640 "$here/zamri.ini" "$stage/etc/zamri/zamri.ini"
install -D -m 0644 "$source/README.md" "$stage/usr/share/doc/zamri/README.md"
# The manual that the README's links lead to, with its pictures.
(cd "$source" && find docs -type f) | while read -r page; do
    install -D -m 0644 "$source/$page" "$stage/usr/share/doc/zamri/$page"
done
install -m 0644 "$here/conffiles" "$stage/DEBIAN/conffiles"
install -m 0755 "$here/postinst" "$here/prerm" "$here/postrm" "$stage/DEBIAN/"

# The shared libraries the programs need, as Debian's own tools name them; the private
# libraries in /usr/lib/zamri come with this package. libcurl is loaded at run time (for
# webhooks), out of dpkg-shlibdeps' sight: control.in names it.
work=$build/deb/shlibs
mkdir -p "$work/debian"
printf 'Source: zamri\n\nPackage: zamri\nArchitecture: any\n' > "$work/debian/control"
shlibs=$(cd "$work" && dpkg-shlibdeps -O -l"$stage/usr/lib/zamri" --ignore-missing-info \
    "$stage"/usr/bin/* "$stage"/usr/lib/zamri/*.so 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
[ -n "$shlibs" ] || { echo "build-deb.sh: no library dependencies found" >&2; exit 1; }

size=$(du -sk --exclude=DEBIAN "$stage" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$(dpkg --print-architecture)/" -e "s/@SIZE@/$size/" \
    -e "s/@SHLIBS@/$shlibs/" "$here/control.in" > "$stage/DEBIAN/control"
(cd "$stage" && find . -type f ! -path './DEBIAN/*' ! -path './etc/*' -printf '%P\0' | sort -z |
    xargs -0 md5sum) > "$stage/DEBIAN/md5sums"

dpkg-deb --root-owner-group -Zxz --build "$stage" "$output" >/dev/null
echo "built $output"
