#!/usr/bin/env bash
# Installs what runs the 32-bit Wine on a kernel that runs no 32-bit programs, into build/i386 of
# this project and nowhere else: qemu-i386 (user-mode emulation) from qemu-user of Debian's backports
# suite, and the trap-number fix that the 32-bit Wine needs under it (trap_number_fix.c). scripts/i386/run.sh
# uses them. Idempotent: a second run only checks. Needs no root: apt-get reads and writes only its own
# folders here, and the machine's sources stay untouched.
#
# Debian bookworm's own qemu-user (7.2) is no use: it ignores MAP_FIXED_NOREPLACE, and Wine's address
# space reservation then takes minutes per process and fails to make a prefix.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
target=$(cd "$here/../.." && pwd)/build/i386
qemu=$target/qemu-i386
fix_source=$here/trap_number_fix.c
libc32=/usr/lib/i386-linux-gnu/libc.so.6
mkdir -p "$target"
# shellcheck source=SCRIPTDIR/../apt_retry.sh
. "$here/../apt_retry.sh"

if [ ! -x "$qemu" ]; then
    . /etc/os-release
    suite=${VERSION_CODENAME}-backports
    # The Debian archive this machine already uses, as its apt sources name it.
    uri=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' | awk -v suite="$VERSION_CODENAME" '$2 == suite { print $1; exit }')
    [ -n "$uri" ] || { echo "i386: no apt source serves $VERSION_CODENAME; cannot find $suite" >&2; exit 1; }
    apt_dir=$target/apt
    rm -rf "$apt_dir"
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial" "$apt_dir/sources.list.d" "$apt_dir/preferences.d"
    keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    signed_by=""
    [ -f "$keyring" ] && signed_by="[signed-by=$keyring] "
    echo "deb ${signed_by}${uri} $suite main" >"$apt_dir/sources.list"
    touch "$apt_dir/status"
    cat >"$apt_dir/apt.conf" <<CONF
Dir::Etc::SourceList "$apt_dir/sources.list";
Dir::Etc::SourceParts "$apt_dir/sources.list.d";
Dir::Etc::PreferencesParts "$apt_dir/preferences.d";
Dir::State "$apt_dir";
Dir::State::Lists "$apt_dir/lists";
Dir::State::status "$apt_dir/status";
Dir::Cache "$apt_dir";
Dir::Cache::Archives "$apt_dir/archives";
APT::Architectures { "$(dpkg --print-architecture)"; };
APT::Sandbox::User "$(id -un)";
CONF
    echo "i386: fetching qemu-user from $uri $suite" >&2
    export APT_CONFIG=$apt_dir/apt.conf
    # The backports index may be all it needs of a half-synced mirror; if not, the download says so.
    if ! retry_apt_update i386 apt-get -q update >&2; then
        echo "i386: apt-get update failed 3 times; trying the download with what it fetched" >&2
    fi
    (cd "$apt_dir" && apt-get -q download "qemu-user/$suite" >&2)
    # A static program: it needs nothing else of the package.
    dpkg-deb --fsys-tarfile "$apt_dir"/qemu-user_*.deb | tar -xO ./usr/bin/qemu-i386 >"$qemu.part"
    chmod +x "$qemu.part"
    mv "$qemu.part" "$qemu"
    rm -rf "$apt_dir"
    echo "i386: $("$qemu" --version | head -n 1)" >&2
fi

# The fix for 32-bit processes, and an empty twin for 64-bit ones: the emulated Wine passes its
# environment on to the 64-bit wineserver, and LD_PRELOAD names the one for each through $LIB.
fix32=$target/lib/i386-linux-gnu/libtrapfix.so
fix64=$target/lib/x86_64-linux-gnu/libtrapfix.so
if [ ! -f "$fix32" ] || [ "$fix_source" -nt "$fix32" ]; then
    [ -f "$libc32" ] || { echo "i386: $libc32 is missing (libc6:i386, which wine32 brings)" >&2; exit 1; }
    mkdir -p "$(dirname "$fix32")" "$(dirname "$fix64")"
    gcc -m32 -O2 -Wall -Wextra -Werror -nostdlib -shared -fPIC -o "$fix32" "$fix_source" "$libc32"
    gcc -shared -o "$fix64" -x c /dev/null
fi
