# Sourced by demo.sh, test.sh, bench.sh and package.sh: installs the Debian 12 packages
# that are missing, and says nothing when everything is already there.

M797_BUILD_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev
  libgl-dev libglu1-mesa-dev libfreetype-dev libfontconfig-dev fonts-liberation)
M797_TEST_PACKAGES=(googletest libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth locales
  dpkg-dev file desktop-file-utils appstream man-db openbox x11-utils xdotool clang-format-14)
# Building the .deb and checking it (scripts/package.sh).
M797_PACKAGE_PACKAGES=(dpkg-dev file lintian desktop-file-utils appstream)

# Prints the packages of "$@" that are not installed, one a line.
m797_missing_packages() {
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed" || echo "$pkg"
  done
}

m797_install_missing() {
  local missing
  mapfile -t missing < <(m797_missing_packages "$@")
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
      echo "These Debian packages are missing: ${missing[*]}" >&2
      echo "Installing them needs root and there is no sudo here. As root, run:" >&2
      echo "  apt-get update && apt-get install --no-install-recommends ${missing[*]}" >&2
      echo "then run $0 again." >&2
      exit 1
    fi
    sudo=(sudo)
  fi
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Configures the build folder $1 (RelWithDebInfo; extra arguments in M797_CMAKE_ARGS).
m797_configure() {
  cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${M797_CMAKE_ARGS:-} >/dev/null
}
