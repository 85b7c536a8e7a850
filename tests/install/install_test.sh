#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs the ZDT1 example with
# the installed program, naming the installed plug-in by its full path as the
# README tells users to: what is installed must run without the build folder.
#
#   install_test.sh CMAKE BUILD_DIR SOURCE_DIR BINDIR LIBDIR
set -euo pipefail
cmake=$1 build=$2 src=$3 bindir=$4 libdir=$5
tmp=$(mktemp -d "${TMPDIR:-/tmp}/vesk-install.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

"$cmake" --install "$build" --prefix "$tmp/prefix" >"$tmp/install.log"
veskv2=$tmp/prefix/$bindir/veskv2
plugin=$tmp/prefix/$libdir/vesk/mathcases.so
for f in "$veskv2" "$plugin"; do
    [ -f "$f" ] || { echo "not installed: $f" >&2; cat "$tmp/install.log" >&2; exit 1; }
done

mkdir "$tmp/run"
cp "$src"/examples/zdt1/{input.QERN,write.QERN,prob.dat} "$tmp/run/"
# The installed plug-in instead of ./mathcases.so, and a short run.
sed -i -e "s|^\./mathcases\.so |$plugin |" -e 's/^0 25000 /0 1000 /' "$tmp/run/input.QERN"
grep -qF "$plugin" "$tmp/run/input.QERN" || { echo "the example names no ./mathcases.so" >&2; exit 1; }
cd "$tmp/run"
if ! "$veskv2" -s 2 --no-db >run.log 2>&1 || ! grep -q "QERN Finished" run.log ||
    [ ! -s pareto_Last.front ]; then
    tail -20 run.log >&2
    exit 1
fi
echo "installed veskv2 ran the ZDT1 example with $plugin"
