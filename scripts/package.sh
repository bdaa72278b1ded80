#!/usr/bin/env bash
# Builds the Debian package velkor_<version>_<arch>.deb with CPack and prints its path.
# The programs are built in their own tree (build-package, or $VELKOR_PACKAGE_BUILD) with
# Debian's hardening flags; only what the package holds is built there, no test. The
# package's dependencies are found by dpkg-shlibdeps from the programs themselves.
#   scripts/package.sh && sudo apt install ./build-package/package/velkor_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >&2
build=${VELKOR_PACKAGE_BUILD:-build-package}

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKOR_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" -DCMAKE_STRIP="$PWD/packaging/strip-like-dh.sh" \
  "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target velkor-installables >&2
rm -rf "$build/package"
log=$PWD/$build/cpack.log
(cd "$build" && cpack -G DEB >"$log" 2>&1) || { cat "$log" >&2; exit 1; }
ls "$PWD/$build"/package/velkor_*.deb
