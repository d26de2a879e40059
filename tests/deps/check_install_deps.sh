#!/usr/bin/env bash
# scripts/install-deps while Debian's archive is caught mid-sync: an archive of the check's own on
# 127.0.0.1, signed with a throwaway key, whose security suite's i386 index is served short. apt
# and dpkg see it over a copy of this machine's package database, so nothing here changes.
#   tests/deps/check_install_deps.sh       (as root, after scripts/install-deps)
set -uo pipefail
cd "$(dirname "$0")/../.." || exit
. tests/check.sh
suite=$(release_name "$(this_release)")
chmod 755 "$scratch"  # (apt downloads and verifies as the user _apt)

# A library both architectures must have at one version (Multi-Arch: same), as Wine's are, and
# its development files, which need exactly its version: 1.0 in the release's own suite, 1.1 in its
# security suite; 0.9, from an older point release, as a machine may have installed.
archive=$scratch/archive/whole
package() {  # package NAME VERSION ARCH SUITE FIELD...
  local folder=$scratch/packages/$1-$2-$3
  mkdir -p "$folder/DEBIAN" "$archive/pool/$4"
  printf '%s\n' "Package: $1" "Version: $2" "Architecture: $3" "${@:5}" \
    "Maintainer: msisetup tests <tests@example.invalid>" \
    "Description: a package of the install-deps check" >"$folder/DEBIAN/control"
  quietly dpkg-deb --build "$folder" "$archive/pool/$4/$1_$2_$3.deb"
}
for version in 0.9:base 1.0:"$suite" 1.1:"$suite-security"; do
  package libmsisetup-check-dev "${version%%:*}" amd64 "${version#*:}" \
    "Depends: libmsisetup-check (= ${version%%:*})"
  for arch in amd64 i386; do
    package libmsisetup-check "${version%%:*}" "$arch" "${version#*:}" "Multi-Arch: same"
  done
done
export GNUPGHOME=$scratch/gnupg && mkdir -m 700 "$GNUPGHOME"
quietly gpg --batch --passphrase '' --quick-gen-key "msisetup test archive" ed25519 sign never
gpg --export >"$scratch/archive.gpg"
for part in "$suite" "$suite-security"; do
  for arch in amd64 i386; do
    index=$archive/dists/$part/main/binary-$arch/Packages
    mkdir -p "${index%/*}"
    (cd "$archive" && apt-ftparchive -a "$arch" packages "pool/$part") >"$index"
    xz -k "$index"
  done
  apt-ftparchive -o APT::FTPArchive::Release::Suite="$part" \
    -o APT::FTPArchive::Release::Codename="$part" \
    -o APT::FTPArchive::Release::Architectures="amd64 i386" \
    -o APT::FTPArchive::Release::Components=main \
    release "$archive/dists/$part" >"$scratch/Release"
  quietly gpg --batch --clearsign -o "$archive/dists/$part/InRelease" "$scratch/Release"
  rm "$archive/dists/$part"/main/binary-*/Packages  # (served compressed only, as Debian does)
done
# The same archive caught mid-sync: one index shorter than its Release file says.
cp -a "$archive" "$scratch/archive/mid-sync"
truncate -s -40 "$scratch/archive/mid-sync/dists/$suite-security/main/binary-i386/Packages.xz"
chmod -R a+rX "$scratch"
serve "$scratch/archive"

# in_copy NAME ARCHIVE SCRIPT: SCRIPT where apt reads only this archive, served as ARCHIVE (whole
# or mid-sync), and dpkg a copy of this machine's database: errors in $scratch/NAME.err, what it
# ends with in NAME.installed.
in_copy() {
  local copy=$scratch/$1
  mkdir -p "$copy" && cp -a /var/lib/dpkg "$copy/dpkg" && cp -a /etc/apt "$copy/apt" &&
    rm -rf "$copy/apt/sources.list.d"/* || exit 1
  ln -sfn "$2" "$scratch/archive/served"
  printf "deb [signed-by=$scratch/archive.gpg] http://127.0.0.1:$port/served/ %s main\n" \
    "$suite" "$suite-security" >"$copy/apt/sources.list"
  bwrap --dev-bind / / --bind "$copy/dpkg" /var/lib/dpkg --bind "$copy/apt" /etc/apt \
    --tmpfs /var/log --dir /var/log/apt \
    --tmpfs /var/lib/apt/lists --dir /var/lib/apt/lists/partial \
    --tmpfs /var/cache/apt --dir /var/cache/apt/archives/partial \
    --chdir "$PWD" bash -c "$3" >/dev/null 2>"$scratch/$1.err"
  # shellcheck disable=SC2016  # dpkg-query's own field names
  dpkg-query --admindir="$copy/dpkg" -W -f='${Package}:${Architecture} ${Version}\n' \
    '*msisetup-check*' >"$copy.installed" 2>/dev/null
}
shown() {  # shown NAME: its errors and what it installed, and fails
  sed 's/^/  | /' "$scratch/$1.err" "$scratch/$1.installed"
  false
}
installed() { test "$(sort "$scratch/$1.installed")" = "$(sort <<<"$2")" || shown "$1"; }
says_nothing() { test ! -s "$scratch/$1.err" || shown "$1"; }
both='libmsisetup-check-dev libmsisetup-check:i386'
at() {  # at VERSION ARCH...: the library of each ARCH and its development files at VERSION
  local arch
  for arch in "${@:2}"; do
    printf 'libmsisetup-check:%s %s\n' "$arch" "$1"
  done
  printf 'libmsisetup-check-dev:amd64 %s\n' "$1"
}

in_copy whole whole "scripts/install-deps $both"
check "the archive whole: both architectures get the newest version, 1.1" installed whole \
  "$(at 1.1 amd64 i386)"
check "and nothing is said" says_nothing whole

# A machine that took no 32-bit packages before has lists of the 64-bit indexes only, from an
# earlier update; apt keeps them all when one index of the suite fails.
earlier_update="apt-get update -qq -o APT::Architectures=amd64 &&
  ln -sfn mid-sync $scratch/archive/served"
in_copy release-base whole "$earlier_update
  dpkg -i $archive/pool/base/*_0.9_amd64.deb >/dev/null && scripts/install-deps $both"
check "mid-sync, the base from the release's own suite: both architectures get 1.0 from it" \
  installed release-base "$(at 1.0 amd64 i386)"
check "and the index that could not be read is named in one line" \
  says release-base.err \
  "^install-deps: .* going on without them: $suite-security/main/binary-i386/Packages.xz $"

in_copy security-base whole "$earlier_update
  dpkg -i $archive/pool/$suite-security/*_1.1_amd64.deb >/dev/null && scripts/install-deps $both"
check \
  "mid-sync, the base from the security suite: no consistent set, nothing installed or removed" \
  installed security-base "$(at 1.1 amd64)"
tail -n 1 "$scratch/security-base.err" >"$scratch/last-line"
check "and install-deps fails, its own last line saying what and what to do" says last-line \
  "^install-deps: no consistent set of .*: run scripts/install-deps again once it serves every"
check "nothing of this machine changed" sh -c '! dpkg-query -W "libmsisetup-check:*" 2>/dev/null'

summary "install-deps with the archive caught mid-sync"
