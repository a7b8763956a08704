#!/usr/bin/env bash
# Installs what building, running, testing and packaging Kelvane need on Debian 12, when any of it is
# missing: the system packages (the checkers of the desktop entry and of the software centre data among
# them), and a locale whose decimal separator is a comma (the number parsing tests need one).
# Needs nothing but bash and the system's own apt-get. Root installs directly; anyone else goes through
# sudo, which asks for their password.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-qpa-plugins qt6-translations-l10n qt6-tools-dev qt6-l10n-tools
  libavcodec-dev libavformat-dev libavfilter-dev libavutil-dev libswscale-dev libswresample-dev libavdevice-dev
  libmediainfo-dev mediainfo
  ffmpeg
  fonts-wqy-zenhei
  libgtest-dev
  nlohmann-json3-dev parallel
  dbus-daemon
  locales
  desktop-file-utils appstream shared-mime-info
)
comma_locale=de_DE.UTF-8

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
has_comma_locale() {
  command -v locale >/dev/null && locale -a 2>/dev/null | grep -qiE '^(de_DE|fr_FR)\.utf-?8$'
}
if [ ${#missing[@]} -eq 0 ] && has_comma_locale; then
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "Kelvane needs system packages (${missing[*]:-a $comma_locale locale}), and installing them takes" \
         "root: sudo is not installed. Install sudo, or run this once as root." >&2
    exit 1
  fi
  echo "Installing what Kelvane needs through sudo: ${missing[*]:-the $comma_locale locale}"
  as_root=(sudo)
fi

if [ ${#missing[@]} -gt 0 ]; then
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if ! has_comma_locale; then
  # Listed in /etc/locale.gen so that a later locale-gen keeps it.
  if ! grep -qE "^ *$comma_locale +UTF-8" /etc/locale.gen 2>/dev/null; then
    echo "$comma_locale UTF-8" | "${as_root[@]}" tee -a /etc/locale.gen >/dev/null
  fi
  "${as_root[@]}" locale-gen
  has_comma_locale || { echo "the $comma_locale locale could not be made" >&2; exit 1; }
fi
