#!/usr/bin/env bash
# Makes a release under build/dist/: both Windows targets built in Release,
# an installer for each, a portable zip with both programs, and SHA256SUMS.
# The release number comes from the file VERSION.
#   --no-build   package the trees scripts/build.sh made already
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
version=$(head -n 1 "$root/VERSION")
dist="$root/build/dist"

if [ "${1:-}" != "--no-build" ]; then
    BUILD_TYPE=Release "$root/scripts/build.sh"
fi
x64_exe="$root/build/x86_64/orvocapture.exe"
x86_exe="$root/build/i686/orvocapture.exe"
for exe in "$x64_exe" "$x86_exe"; do
    [ -f "$exe" ] || { echo "package: $exe is missing; run scripts/build.sh" >&2; exit 1; }
done

rm -rf "$dist"
mkdir -p "$dist"

installer() {  # ARCH EXE
    local out="$dist/OrvoCapture-$version-$1-setup.exe"
    makensis -V2 -NOCD -DVERSION="$version" -DARCH="$1" -DEXE="$2" \
        -DICON="$root/res/orvocapture.ico" -DOUTFILE="$out" "$root/installer/orvocapture.nsi"
}
installer x64 "$x64_exe"
installer x86 "$x86_exe"

# The portable zip: one folder, a program per architecture under the same
# file name (so both share the installed program's settings), and a README.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
folder="$stage/OrvoCapture-$version"
mkdir -p "$folder/x64" "$folder/x86"
cp "$x64_exe" "$folder/x64/orvocapture.exe"
cp "$x86_exe" "$folder/x86/orvocapture.exe"
sed "s/@VERSION@/$version/g" "$root/installer/portable-README.txt" | sed 's/$/\r/' >"$folder/README.txt"
(cd "$stage" && zip -q -X -r "$dist/OrvoCapture-$version-portable.zip" "OrvoCapture-$version")

(cd "$dist" && sha256sum -- *.exe *.zip >SHA256SUMS)
echo "package: $(cd "$dist" && ls | tr '\n' ' ')in build/dist"
