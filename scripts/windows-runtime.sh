#!/usr/bin/env bash
# Fetches the Windows Java runtime that the Windows end-to-end tests run
# under Wine: the OpenJDK 11.0.2 image for Windows x86-64 carried inside the
# npm package @bazel/bazel-win32_x64 2.1.0. Only the package's integrity is
# checked and only its embedded_tools/jdk/ folder is unpacked; the rest of
# the package is never run or read.
#
# The runtime lands in a cache outside the build tree, so that a rebuild
# or a fresh clone does not fetch it again:
#   ${XOQ_TEST_CACHE:-${XDG_CACHE_HOME:-~/.cache}/xoq-tests}/windows-jdk-11.0.2
# Prints that folder on success. Without network or npm it says why on
# standard error and exits 1; the tests that need the runtime then skip,
# naming this script.
set -eu
package="@bazel/bazel-win32_x64@2.1.0"
integrity="sha512-Y6cs3frmCqoAsrDmEp0msyS8VYE13JvjVoyvdIXTOh5Cc4fOeWzSPb02VS08asaV1jCnOQbv15Ud286hcxAvxg=="
cache="${XOQ_TEST_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/xoq-tests}"
runtime="$cache/windows-jdk-11.0.2"

if [ -f "$runtime/.complete" ]; then
  echo "$runtime"
  exit 0
fi
if ! command -v npm >/dev/null 2>&1; then
  echo "windows-runtime.sh: npm is not installed (Debian package npm)" >&2
  exit 1
fi
mkdir -p "$cache"
work=$(mktemp -d "$cache/.fetch.XXXXXX")
trap 'rm -rf "$work"' EXIT
if ! (cd "$work" && timeout 600 npm pack --silent "$package" >npm.out 2>npm.err); then
  echo "windows-runtime.sh: npm pack $package failed: $(tail -n 1 "$work/npm.err")" >&2
  exit 1
fi
tarball="$work/$(tail -n 1 "$work/npm.out")"
actual="sha512-$(openssl dgst -sha512 -binary "$tarball" | base64 -w0)"
if [ "$actual" != "$integrity" ]; then
  echo "windows-runtime.sh: $package does not have the expected integrity ($actual)" >&2
  exit 1
fi
tar -xzf "$tarball" -C "$work" package/bazel-2.1.0-windows-x86_64.exe
python3 - "$work/package/bazel-2.1.0-windows-x86_64.exe" "$work/jdk" <<'EOF'
import os, sys, zipfile
source, target = sys.argv[1], sys.argv[2]
prefix = "embedded_tools/jdk/"
with zipfile.ZipFile(source) as archive:
    for info in archive.infolist():
        if not info.filename.startswith(prefix) or info.is_dir():
            continue
        relative = info.filename[len(prefix):]
        if relative.startswith("/") or ".." in relative.split("/"):
            sys.exit("unexpected entry name: " + info.filename)
        path = os.path.join(target, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with archive.open(info) as entry, open(path, "wb") as out:
            out.write(entry.read())
EOF
if [ ! -f "$work/jdk/bin/server/jvm.dll" ] || [ ! -f "$work/jdk/release" ]; then
  echo "windows-runtime.sh: the package holds no runtime under embedded_tools/jdk/" >&2
  exit 1
fi
touch "$work/jdk/.complete"
rm -rf "$runtime"
mv "$work/jdk" "$runtime"
echo "$runtime"
