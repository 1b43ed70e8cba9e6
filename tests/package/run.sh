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
mkdir -p "$scratch/odbcsys"

# Everything the component and its program write stays in the scratch folder.
# psqlODBC's own logs off (Debian's driver list turns CommLog on).
sed -e 's/^CommLog=.*/CommLog=0/' -e 's/^Debug=.*/Debug=0/' /etc/odbcinst.ini > "$scratch/odbcsys/odbcinst.ini"
export QEL_REGISTRY_FILE="$scratch/registry.reg" QEL_LOG_DIR="$scratch/log" QEL_RUNTIME_DIR="$scratch/run" \
       QEL_DATA_DIR="$scratch/data" ODBCINI="$scratch/odbc.ini" ODBCSYSINI="$scratch/odbcsys" \
       XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/share"

cmake -S "$here" -B "$scratch/from-build" -G Ninja "${flags[@]}" -Dqeldb_DIR="$build" >/dev/null
cmake --build "$scratch/from-build" >/dev/null
"$scratch/from-build/client" "$scratch/from-build.db"

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
cmake -S "$here" -B "$scratch/from-install" -G Ninja "${flags[@]}" -DCMAKE_PREFIX_PATH="$scratch/prefix" >/dev/null
cmake --build "$scratch/from-install" >/dev/null
LD_LIBRARY_PATH="$scratch/prefix/lib" "$scratch/from-install/client" "$scratch/from-install.db"
PKG_CONFIG_PATH="$scratch/prefix/lib/pkgconfig" pkg-config --exists qeldb
test -f "$scratch/prefix/bin/page1.lay"
"$scratch/prefix/bin/qeldb" --version

# The installed program registers the installed library and drives it by ProgID.
"$scratch/prefix/bin/qeldb" register | grep -q "$scratch/prefix/lib/libqeldb.so"
printf 'AddNew 1 0\nstrDataSource = "QelInstalled"\nstrDirectory = "%s"\nOpen2 0\nGetImageMediaTypeCount\nClose\n' \
  "$scratch/installed.db" >"$scratch/script.txt"
"$scratch/prefix/bin/qeldb" script --json "$scratch/script.txt" >"$scratch/script.out"
grep -q '{"call":"GetImageMediaTypeCount","result":true,"out":\[2\]' "$scratch/script.out"
grep -q '{"call":"Close","result":true' "$scratch/script.out"

# The installed Python package (when it was built) imports from the prefix's
# site-packages, registers the installed library and opens a database.
site=$(find "$scratch/prefix/lib" -maxdepth 3 -type d -path "*/python3*/*-packages" | head -n 1)
if [ -n "$site" ] && [ -d "$site/qeldb" ]; then
  # A sanitized build needs its runtimes first in the interpreter.
  preload=()
  if [[ "${3:-}" == *-fsanitize=address* ]]; then
    preload=(env "LD_PRELOAD=$(c++ -print-file-name=libasan.so):$(c++ -print-file-name=libubsan.so)" ASAN_OPTIONS=detect_leaks=0)
  fi
  "${preload[@]}" env -u PYTHONPATH PYTHONPATH="$site" /usr/bin/python3 - "$scratch/python.db" "$scratch/prefix" <<'PY'
import sys
import qeldb
assert qeldb.register().startswith(sys.argv[2] + "/lib/"), qeldb.register()
assert qeldb.__file__.startswith(sys.argv[2])
db = qeldb.Dispatch("QEL.Database")
assert db.AddNew(True, False)
db.strDataSource = "QelInstalledPython"
db.strDirectory = sys.argv[1]
assert db.Open2(False), db.strError
assert db.GetImageMediaTypeCount() == (True, 2)
assert db.Close()
PY
fi
