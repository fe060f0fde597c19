# shellcheck shell=bash
# Sourced by the scripts that build: ckp_need_packages PACKAGE... makes sure
# the Debian packages are installed. As root the missing ones are installed
# with apt-get; otherwise the exact command is printed and the script stops.
# On a system without dpkg nothing is checked.

ckp_missing_packages() {
  local package
  for package in "$@"; do
    if [[ $(dpkg-query -W -f='${Status}' "$package" 2>/dev/null) != "install ok installed" ]]; then
      printf '%s\n' "$package"
    fi
  done
}

ckp_need_packages() {
  command -v dpkg-query >/dev/null || return 0
  local missing
  mapfile -t missing < <(ckp_missing_packages "$@")
  [[ ${#missing[@]} -eq 0 ]] && return 0
  if [[ $(id -u) -ne 0 ]]; then
    echo "Missing Debian packages. Install them with:" >&2
    echo "  sudo apt-get install ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing ${#missing[@]} Debian packages: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# The packages of scripts/debian-packages.txt (one a line, # starts a comment).
ckp_package_list() {
  sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "$(dirname "${BASH_SOURCE[0]}")/debian-packages.txt"
}
