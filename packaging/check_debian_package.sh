#!/usr/bin/env bash
# Builds the Debian package from a build directory (CPack), installs it with dpkg -i, runs the
# installed ppi-refine and vornel on a generated network and compares their files and report
# with those of the build's own programs, checks the man pages are in place, then removes the
# package. Needs root (dpkg). With PPI_DPKG_ROOT=DIR the package goes into the empty root DIR
# instead of the system (dpkg --root), which leaves a shared machine's /usr/bin alone.
#
#   packaging/check_debian_package.sh build
set -euo pipefail
build=$(cd "${1:?usage: check_debian_package.sh BUILD_DIR}" && pwd)
repo=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
root=${PPI_DPKG_ROOT:-}
dpkg_options=()
if [[ -n $root ]]; then
  mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
  touch "$root/var/lib/dpkg/status"
  dpkg_options=(--root="$root" --force-depends --force-script-chrootless)
fi
installed=false
cleanup() {
  if $installed; then dpkg "${dpkg_options[@]}" -r ppi-refine >/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT

(cd "$build" && cpack -G DEB >/dev/null)
package=$(ls -t "$build"/ppi-refine_*.deb | head -n 1)
echo "== $(basename "$package"): $(dpkg-deb -f "$package" Depends)"
dpkg-deb -f "$package" Depends | grep -q libisal
dpkg-deb -f "$package" Depends | grep -q zlib1g

/usr/bin/python3 "$repo/tools/synth_network.py" --proteins 400 --interactions 1600 --seed 4 \
  --false-share 0.2 --missing-share 0.1 --out-dir "$work/net" 2>/dev/null

# Each run in a directory of its own, the network under the same name, so the reports match.
run_both() {  # run_both DIR BIN_DIR
  mkdir -p "$1" && cp "$work/net/network.tsv" "$1/network.tsv"
  (cd "$1" &&
   PATH="$2:$PATH" "$2/ppi-refine" network.tsv 2 wcd 0.2 l3 100 refined.tsv > report.txt &&
   "$2/vornel" network.tsv NULL ra 1 proposed.tsv) 2> "$1.log"
}
run_both "$work/built" "$build"
dpkg "${dpkg_options[@]}" -i "$package" >/dev/null
installed=true
bin_dir=${root}/usr/bin
run_both "$work/installed" "$bin_dir"
for file in refined.tsv report.txt proposed.tsv; do
  cmp "$work/built/$file" "$work/installed/$file"
done
if grep '^Error: ' "$work/installed/report.txt"; then exit 1; fi
for page in ppi-refine vornel; do
  test -s "$root/usr/share/man/man1/$page.1.gz"
done
"$bin_dir/vornel" --version
dpkg "${dpkg_options[@]}" -r ppi-refine >/dev/null
installed=false
test ! -e "$bin_dir/vornel"
echo "== the installed programs give the build's output" \
  "($(wc -l < "$work/installed/refined.tsv") refined, $(wc -l < "$work/installed/proposed.tsv")" \
  "proposed pairs); package removed"
