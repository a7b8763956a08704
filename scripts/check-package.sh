#!/usr/bin/env bash
# Checks the built Debian package as a new user meets it: makes a minimal Debian 12 root (debootstrap's
# minbase variant, from the mirror this machine's apt uses), installs the package there with apt-get, and
# checks inside it that the command line answers and converts a file, that the window opens (on Qt's
# offscreen platform) with the shipped profiles listed, and that the package put nothing outside /usr.
# Prints PASS or FAIL for each check and exits 0 only when every check passed.
#
#   sudo bash scripts/check-package.sh [PACKAGE.deb]     (default: the newest build/kelvane_*.deb)
#
# WITH_SETUP=1 also copies the source tree into the root and runs the README's two set-up commands there
# (scripts/test.sh, then scripts/run.sh --self-check): a full build and test run, which takes long.
# ROOT_TARBALL=FILE keeps the bare root in FILE after the first run and unpacks it on later ones;
# KEEP_ROOT=1 leaves the root folder in place for a look afterwards.
set -uo pipefail
root_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

if [ "$(id -u)" -ne 0 ]; then
  echo "check-package.sh makes a root folder and mounts in it: run it as root (sudo)" >&2
  exit 2
fi
package="${1:-$(ls -t "$root_dir"/build/kelvane_*.deb 2>/dev/null | head -n 1)}"
if [ -z "$package" ] || [ ! -f "$package" ]; then
  echo "no package to check: build one with bash scripts/package.sh, or name it" >&2
  exit 2
fi
package="$(cd "$(dirname "$package")" && pwd)/$(basename "$package")"
for tool in ffmpeg ffprobe; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (bash scripts/install-deps.sh installs it)" >&2; exit 2; }
done
if ! command -v debootstrap >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null ||
    { echo "debootstrap could not be installed" >&2; exit 2; }
fi

# The mirrors this machine's apt uses (one-line and deb822 source files), Debian's own otherwise.
apt_uris() {
  { cat /etc/apt/sources.list 2>/dev/null | sed -n 's/^deb \(\[[^]]*\] \)\?\([^ ]*\) .*/\2/p'
    cat /etc/apt/sources.list.d/*.list 2>/dev/null | sed -n 's/^deb \(\[[^]]*\] \)\?\([^ ]*\) .*/\2/p'
    cat /etc/apt/sources.list.d/*.sources 2>/dev/null | sed -n 's/^URIs: *\([^ ]*\).*/\1/p'; } | awk '!seen[$0]++'
}
mirror="$(apt_uris | grep -v -- '-security' | head -n 1)"
mirror="${mirror:-http://deb.debian.org/debian}"
security="$(apt_uris | grep -- '-security' | head -n 1)"

work="$(mktemp -d /var/tmp/kelvane-check.XXXXXX)"
root="$work/root"
mounts=()
cleanup() {
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount -l "${mounts[i]}" 2>/dev/null; done
  if [ "${KEEP_ROOT:-0}" = 1 ]; then
    echo "the root is kept in $root"
    return
  fi
  # Never removes through a mount that is still there.
  for m in "${mounts[@]}"; do
    if mountpoint -q "$m"; then echo "$m is still mounted: $work is left in place" >&2; return; fi
  done
  rm -rf --one-file-system "$work"
}
trap cleanup EXIT

passed=0
failed=0
result() {  # NAME STATUS [DETAIL]
  if [ "$2" -eq 0 ]; then
    echo "PASS  $1"
    passed=$((passed + 1))
  else
    echo "FAIL  $1${3:+: $3}"
    failed=$((failed + 1))
  fi
}
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

echo "package: $package"
echo "mirror:  $mirror${security:+ (security: $security)}"
mkdir -p "$root"
if [ -n "${ROOT_TARBALL:-}" ] && [ -f "$ROOT_TARBALL" ]; then
  tar -xzf "$ROOT_TARBALL" -C "$root"
  result "minimal Debian 12 root unpacked from $ROOT_TARBALL" $?
else
  debootstrap --variant=minbase bookworm "$root" "$mirror" >"$work/debootstrap.log" 2>&1
  status=$?
  result "minimal Debian 12 root made (debootstrap --variant=minbase bookworm)" $status "see $work/debootstrap.log"
  [ $status -eq 0 ] || { KEEP_ROOT=1; exit 1; }
  if [ -n "${ROOT_TARBALL:-}" ]; then tar -czf "$ROOT_TARBALL" -C "$root" .; fi
fi

{ echo "deb $mirror bookworm main"
  echo "deb $mirror bookworm-updates main"
  if [ -n "$security" ]; then echo "deb $security bookworm-security main"; fi; } >"$root/etc/apt/sources.list"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc" && mounts+=("$root/proc")
mount --bind /dev "$root/dev" && mounts+=("$root/dev")

# The package, and a small video made here with the ffmpeg tool: nothing but the package goes into the root.
mkdir -p "$root/tmp/check"
cp "$package" "$root/tmp/check/"
deb="/tmp/check/$(basename "$package")"
ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=160x120:rate=15 -f lavfi -i sine=frequency=440:sample_rate=44100 \
  -t 2 -c:v mpeg4 -c:a mp2 "$root/tmp/check/clip.avi"

in_root apt-get update -qq >"$work/apt.log" 2>&1 &&
  in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$deb" >>"$work/apt.log" 2>&1
status=$?
result "apt-get install ./$(basename "$package") (without recommended packages)" $status "$(tail -n 5 "$work/apt.log")"
if [ $status -ne 0 ]; then
  echo "$passed passed, $failed failed"
  exit 1
fi

output="$(in_root kelvane-cli --help 2>&1)"
status=$?
if [ $status -eq 0 ] && ! grep -q "convert" <<<"$output"; then status=1; fi
result "kelvane-cli --help" $status "$output"

output="$(in_root kelvane-cli convert --preset MP4/1 /tmp/check/clip.avi -d /tmp/check/out 2>&1)"
status=$?
converted="$root/tmp/check/out/CLIP_(new).mp4"
frames=""
if [ $status -eq 0 ]; then
  frames="$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$converted" 2>&1)"
  [ "${frames:-0}" -gt 0 ] 2>/dev/null || status=1
fi
result "kelvane-cli convert --preset MP4/1 clip.avi ($frames frames in ${converted#"$root"})" $status "$(tail -n 3 <<<"$output")"

output="$(in_root env QT_QPA_PLATFORM=offscreen kelvane --self-check 2>&1)"
status=$?
echo "$output" | sed 's/^/      /'
profiles="/usr/share/kelvane/profiles"
grep -q "^window: shown$" <<<"$output" || status=1
grep -q "^profiles: $profiles/$" <<<"$output" || status=1
grep -q "^settings: /usr" <<<"$output" && status=1
grep -q "Chinese translations" <<<"$output" && status=1
# Every preset the window lists is a profile file the package shipped.
presets="$(sed -n 's/^presets ([0-9]*): //p' <<<"$output")"
[ -n "$presets" ] || status=1
while IFS= read -r name; do
  [ -n "$name" ] || continue
  ls "$root$profiles"/videoconvert/*/"$name.ini" >/dev/null 2>&1 || { echo "      not shipped: $name"; status=1; }
done < <(sed 's/ | /\n/g' <<<"$presets")
result "kelvane opens its window (offscreen) with the shipped profiles listed" $status

listing="$(in_root dpkg -L kelvane)"
status=$?
outside="$(grep -v -e '^/\.$' -e '^/usr$' -e '^/usr/' <<<"$listing")"
[ -z "$outside" ] || status=1
result "dpkg -L kelvane: everything under /usr ($(wc -l <<<"$listing") entries)" $status "$outside"

if [ "${WITH_SETUP:-0}" = 1 ]; then
  mkdir -p "$root/src"
  (cd "$root_dir" && git ls-files -z | tar --null -T - -cf -) | tar -xf - -C "$root/src"
  in_root bash -c 'cd /src && bash scripts/test.sh' >"$work/setup-test.log" 2>&1
  result "bash scripts/test.sh in the root (build and the whole suite)" $? "$(tail -n 5 "$work/setup-test.log")"
  in_root env QT_QPA_PLATFORM=offscreen bash -c 'cd /src && bash scripts/run.sh --self-check' >"$work/setup-run.log" 2>&1
  result "bash scripts/run.sh --self-check in the root" $? "$(tail -n 5 "$work/setup-run.log")"
fi

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
