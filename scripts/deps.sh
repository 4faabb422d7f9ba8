# Installs the Debian packages that building, testing and running need, when
# they are missing. Sourced by scripts/test, scripts/run and scripts/demo.

SALVIX_PACKAGES=(
  cmake ninja-build g++ pkg-config
  libgtest-dev
  ntfs-3g ntfs-3g-dev sleuthkit libtsk-dev fdisk dosfstools exfatprogs unzip
  qt6-base-dev libgl-dev fonts-wqy-microhei
  xvfb xauth xdotool x11-apps imagemagick
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix googletest wine wine64 fonts-wine
)

salvix_install_deps() {
  local missing=()
  local pkg
  for pkg in "${SALVIX_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then sudo="sudo"; else
      echo "These Debian packages are missing and I am not root: ${missing[*]}" >&2
      return 1
    fi
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
