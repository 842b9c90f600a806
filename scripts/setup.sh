#!/bin/bash
# Prepares a Debian 12 machine (as root, or through sudo) for building and
# testing both targets: the cross compilers, GoogleTest's sources, Xvfb, a
# Wine that runs the 32-bit build under WOW64, and the signing tools. Safe to
# run again: it only does what is missing.
set -euo pipefail

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi

packages=(
    cmake ninja-build python3
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
    googletest
    wine wine64 wine32:i386 fonts-wine
    xvfb xauth xdotool imagemagick
    osslsigncode openssl
)

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

# 1. bookworm-backports, from the mirror the machine already uses: its qemu
#    (10.x) starts a 32-bit process in about a second, Debian 12's own 7.2 in
#    about fifty.
need_update=0
if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    mirror=$(grep -rhs '^URIs:.*debian' /etc/apt/sources.list.d/*.sources 2>/dev/null |
        grep -v security | head -n 1 | awk '{print $2}' || true)
    [ -n "$mirror" ] || mirror=$(grep -hs '^deb .*debian' /etc/apt/sources.list 2>/dev/null |
        grep -v security | head -n 1 | awk '{print $2}' || true)
    [ -n "$mirror" ] || mirror=http://deb.debian.org/debian
    echo "Adding bookworm-backports from $mirror"
    printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$mirror" | $sudo tee /etc/apt/sources.list.d/lumo-backports.sources >/dev/null
    need_update=1
fi

# 2. The i386 architecture, for 32-bit Wine.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "Adding the i386 architecture"
    $sudo dpkg --add-architecture i386
    need_update=1
fi

missing=()
for package in "${packages[@]}"; do
    installed "$package" || missing+=("$package")
done
qemu_version=$(dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null || true)
qemu_missing=0
case "$qemu_version" in
1:1[0-9].*) ;;
*) qemu_missing=1 ;;
esac

if [ ${#missing[@]} -gt 0 ] || [ $qemu_missing -eq 1 ]; then
    need_update=1
fi
if [ $need_update -eq 1 ]; then
    $sudo apt-get update -q
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    # wine32:i386 brings some amd64 libraries to the same versions; apt does that.
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
if [ $qemu_missing -eq 1 ]; then
    echo "Installing qemu-user-static from bookworm-backports"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends \
        -t bookworm-backports qemu-user-static
fi

# 3. The kernel refuses 32-bit ELF programs itself: hand them to qemu-i386.
#    The F flag opens the interpreter once, at registration, so the entry is
#    registered afresh when qemu was installed or upgraded just now, or when
#    32-bit programs do not start; a working entry is left alone, since
#    replacing it fails every 32-bit program that starts meanwhile.
binfmt=/proc/sys/fs/binfmt_misc
interpreter=/usr/bin/qemu-i386-static
starts32() { /usr/lib/wine/wine --version >/dev/null 2>&1; }
entry_ok() {
    [ -e "$binfmt/qemu-i386" ] && grep -qx enabled "$binfmt/qemu-i386" &&
        grep -qx "interpreter $interpreter" "$binfmt/qemu-i386" && grep -q '^flags: .*F' "$binfmt/qemu-i386"
}
if [ ! -e "$binfmt/register" ]; then
    $sudo mount -t binfmt_misc binfmt_misc "$binfmt"
fi
if [ $qemu_missing -eq 1 ] || ! entry_ok || ! starts32; then
    echo "Registering $interpreter for 32-bit programs (binfmt_misc, F flag)"
    if [ -e "$binfmt/qemu-i386" ]; then
        echo -1 | $sudo tee "$binfmt/qemu-i386" >/dev/null
    fi
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    printf '%s' ":qemu-i386:M::$magic:$mask:$interpreter:F" | $sudo tee "$binfmt/register" >/dev/null
fi

# 32-bit Wine's own loader is a 32-bit program: if it starts, WOW64 works.
if ! starts32; then
    echo "32-bit programs do not start on this machine (binfmt_misc and qemu-i386)" >&2
    exit 1
fi
