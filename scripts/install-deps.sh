#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the demo and the
# benchmarks use. Non-interactive and idempotent: packages already present
# are left alone, and apt-get runs only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  zlib1g-dev libjpeg62-turbo-dev libpng-dev libgif-dev libtiff-dev libgeotiff-dev libproj-dev proj-data
  libcurl4-openssl-dev libssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev
  # fuzzing: clang with libFuzzer and the sanitizer runtimes, and the symbolizer
  clang-14 libclang-rt-14-dev llvm-14
  # test fixtures and benchmarks
  python3-pil python3-numpy fonts-dejavu-core libvips-tools time bc shared-mime-info
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get -o DPkg::Lock::Timeout=300 update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=300 install -y -qq \
  --no-install-recommends "${missing[@]}"
