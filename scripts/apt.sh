# Sourced by the scripts that install what a build needs from Debian.
#
#   as_root CMD...            run CMD as root: directly, or through sudo
#   install_missing PKG...    install the packages not installed yet
#   use_deb_src PKG           make `apt-get source PKG` work: adds the
#                             deb-src lines of the configured archives

as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"
  elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then sudo "$@"
  else
    echo "Could not run as root: $*" >&2
    return 1
  fi
}

install_missing() {
  local missing="" p
  for p in "$@"; do dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"; done
  [ -z "$missing" ] && return 0
  echo "Installing missing packages:$missing"
  as_root apt-get update -qq || { echo "Run: sudo apt-get install -y$missing"; return 1; }
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
}

use_deb_src() {
  apt-get source --print-uris "$1" >/dev/null 2>&1 && return 0
  local list=/etc/apt/sources.list.d/qostarfold-src.sources
  echo "Adding the deb-src lines of the configured archives ($list)"
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >/tmp/qo-src.sources
  else
    grep -h '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' >/tmp/qo-src.list
    list=/etc/apt/sources.list.d/qostarfold-src.list
  fi
  as_root cp /tmp/qo-src.* "$list"
  as_root apt-get update -qq
}
