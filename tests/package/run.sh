#!/usr/bin/env bash
# Builds and runs the client project against the build tree and against an
# installed copy. Arguments: the component's build folder, a scratch folder,
# the compiler and linker flags the component was built with (sanitizers).
set -euo pipefail
build=$1
scratch=$2
flags=(-DCMAKE_CXX_FLAGS="${3:-}" -DCMAKE_EXE_LINKER_FLAGS="${4:-}")
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$scratch"
mkdir -p "$scratch"

cmake -S "$here" -B "$scratch/from-build" -G Ninja "${flags[@]}" -Dqeldb_DIR="$build" >/dev/null
cmake --build "$scratch/from-build" >/dev/null
"$scratch/from-build/client"

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
cmake -S "$here" -B "$scratch/from-install" -G Ninja "${flags[@]}" -DCMAKE_PREFIX_PATH="$scratch/prefix" >/dev/null
cmake --build "$scratch/from-install" >/dev/null
LD_LIBRARY_PATH="$scratch/prefix/lib" "$scratch/from-install/client"
PKG_CONFIG_PATH="$scratch/prefix/lib/pkgconfig" pkg-config --exists qeldb
test -f "$scratch/prefix/bin/page1.lay"
"$scratch/prefix/bin/qeldb" --version
