#!/usr/bin/env bash
# scripts/release.sh [--build-dir DIR] [--dist-dir DIR]
#
# Builds a release of xoq and writes its two archives:
#   DIST/xoq-VERSION-linux-x86_64.tar.gz    xoqpack for Linux
#   DIST/xoq-VERSION-windows-x86_64.zip     xoqpack.exe for Windows
# each with all three launcher templates beside xoqpack, the support classes
# as every payload carries them (xoq-support.jar), the docs, the examples
# (with examples/hello/hello.jar ready to package), a short README and the
# licences of what is linked into the programs.
#
# The build (default: build-release/) holds only what a release needs: the
# launchers, xoqpack for both systems and the support classes. DIST defaults
# to dist/. The same commit gives the same archives, byte for byte, in any
# folder: every time stamp is SOURCE_DATE_EPOCH when it is set, else the
# time of the commit (else 1980-01-01), entries are sorted, owners and modes
# fixed, and the build embeds neither a time nor a folder.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir="$source_dir/build-release"
dist_dir="$source_dir/dist"
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) build_dir=$2; shift 2 ;;
    --dist-dir) dist_dir=$2; shift 2 ;;
    *) echo "usage: scripts/release.sh [--build-dir DIR] [--dist-dir DIR]" >&2; exit 2 ;;
  esac
done
mkdir -p "$build_dir" "$dist_dir"
build_dir=$(cd "$build_dir" && pwd)
dist_dir=$(cd "$dist_dir" && pwd)

version=$(head -n 1 "$source_dir/VERSION")
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null || true)
  SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-315532800}
fi
export SOURCE_DATE_EPOCH
# Nothing below may depend on who runs it where.
export TZ=UTC LC_ALL=C
umask 022

# --- Build ---------------------------------------------------------------------
cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DXOQ_TESTS=OFF -DXOQ_FUZZ=OFF >/dev/null
cmake --build "$build_dir"
bin="$build_dir/bin"

# --- Contents --------------------------------------------------------------------
stage="$build_dir/stage"
rm -rf "$stage"
common="$stage/common"
mkdir -p "$common/docs" "$common/examples" "$common/licenses"

# The templates xoqpack copies, stripped (the Windows build strips its own).
strip --strip-all -o "$common/xoq-launcher" "$bin/xoq-launcher"
cp "$bin/xoq-launcher.exe" "$bin/xoq-launcher-console.exe" "$common/"
"$bin/xoqpack" --write-support-jar "$common/xoq-support.jar"
cp "$source_dir"/docs/*.md "$common/docs/"
sed "s/@VERSION@/$version/g" "$source_dir/scripts/release-README.md" >"$common/README.md"

# The examples' sources, and hello as a jar ready to package (the one
# command of the README). jar gets its files one by one, in order, and one
# time stamp, so that the jar is the same in any folder.
for example in hello notes opener; do
  cp -R "$source_dir/examples/$example" "$common/examples/"
done
classes="$build_dir/hello-classes"
rm -rf "$classes"
# Every name goes through as one argument: the source and build folders may
# hold blanks.
mapfile -t hello_sources < <(find "$source_dir/examples/hello/src" -name '*.java' | sort)
javac --release 8 -Xlint:-options -encoding UTF-8 -d "$classes" "${hello_sources[@]}"
jar_date=$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%dT%H:%M:%SZ)
if [ "$SOURCE_DATE_EPOCH" -lt 315532802 ]; then jar_date=1980-01-01T00:00:02Z; fi
mapfile -t hello_files < <(cd "$classes" && find . -type f | sed 's|^\./||' | sort)
(cd "$classes" && jar --create --file "$common/examples/hello/hello.jar" --main-class hello.Main --date="$jar_date" \
  "${hello_files[@]}")

# Licences of what is linked into xoqpack and the launchers, as Debian
# ships them with the libraries this build used. Both archives hold the
# templates of both systems, so both carry the same licences.
licence() { cp "/usr/share/doc/$1/copyright" "$common/licenses/$2"; }
mkdir -p "$common/licenses/linux" "$common/licenses/windows"
licence zlib1g linux/zlib.txt
licence libdeflate-dev linux/libdeflate.txt
licence libstdc++6 linux/gcc-runtime-libraries.txt
licence libz-mingw-w64 windows/zlib.txt
licence mingw-w64-x86-64-dev windows/mingw-w64-runtime-and-winpthreads.txt
licence gcc-mingw-w64-base windows/gcc-runtime-libraries.txt
cp "$source_dir/scripts/release-licenses.txt" "$common/licenses/README.txt"

linux="$stage/xoq-$version-linux-x86_64"
windows="$stage/xoq-$version-windows-x86_64"
cp -R "$common" "$linux"
cp -R "$common" "$windows"
strip --strip-all -o "$linux/xoqpack" "$bin/xoqpack"
# For PE files strip writes SOURCE_DATE_EPOCH, else the time, into the
# header: 0, as the linker and the templates have it.
SOURCE_DATE_EPOCH=0 x86_64-w64-mingw32-strip --strip-all -o "$windows/xoqpack.exe" "$bin/xoqpack.exe"

# --- Archives ------------------------------------------------------------------
linux_archive="$dist_dir/xoq-$version-linux-x86_64.tar.gz"
windows_archive="$dist_dir/xoq-$version-windows-x86_64.zip"
(cd "$stage" && tar --sort=name --mtime="@$SOURCE_DATE_EPOCH" --owner=0 --group=0 --numeric-owner \
  --mode='u=rwX,go=rX' --format=gnu -cf - "$(basename "$linux")") | gzip -9 -n >"$linux_archive.tmp"
mv "$linux_archive.tmp" "$linux_archive"
python3 "$source_dir/scripts/release-zip.py" "$stage" "$(basename "$windows")" "$windows_archive.tmp"
mv "$windows_archive.tmp" "$windows_archive"

echo "Wrote $linux_archive ($(stat -c %s "$linux_archive") bytes)"
echo "Wrote $windows_archive ($(stat -c %s "$windows_archive") bytes)"
for file in "$linux/xoqpack" "$windows/xoqpack.exe" "$linux/xoq-launcher" "$linux/xoq-launcher.exe" \
  "$linux/xoq-launcher-console.exe" "$linux/xoq-support.jar"; do
  printf '  %9d  %s\n' "$(stat -c %s "$file")" "$(basename "$file")"
done
