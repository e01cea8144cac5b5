#!/usr/bin/env bash
# maven-example.sh [BUILD_DIR]: builds the xoq Maven plugin (with its unit
# tests) and installs it, then builds examples/maven with `mvn -o install`,
# which packages it into a Windows GUI program, a Windows console program
# and a Linux program and installs them beside its jar.
#
# Everything is offline, against Debian's Maven repository
# (/usr/share/maven-repo, filled by the packages that scripts/setup.sh
# installs), the way Debian builds its own Java packages. Maven's local
# repository is BUILD_DIR/maven/repository: a link to each of Debian's
# artifact versions, so that installing the plugin and the example writes
# into the build tree and never into /usr/share/maven-repo.
#
# xoqpack comes from XOQ_HOME when it is set, else from BUILD_DIR/bin
# (default BUILD_DIR: build). The example is built from a copy in
# BUILD_DIR/maven/example, so the source tree stays clean.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
export XOQ_HOME="${XOQ_HOME:-$build/bin}"
if [ ! -x "$XOQ_HOME/xoqpack" ] && [ ! -x "$XOQ_HOME/bin/xoqpack" ]; then
  echo "maven-example.sh: no xoqpack in $XOQ_HOME: build first (scripts/build.sh) or set XOQ_HOME" >&2
  exit 1
fi
command -v mvn >/dev/null || { echo "maven-example.sh: mvn is missing: run scripts/setup.sh" >&2; exit 1; }

# The plugin's version is xoq's, the one line of VERSION (a -SNAPSHOT
# while it is not released). Maven 3 takes a project's version only from
# its pom: a ${revision} passed in stays unresolved in the pom that install
# writes, and no flattening plugin is offline here. So the pom and every
# place that tells users which plugin version to name are checked here,
# before anything is built.
python3 - "$root" <<'PYTHON' || exit 1
import re, sys
root = sys.argv[1]
version = open(root + "/VERSION").readline().strip()
wrong = []
for name in ("maven/xoq-maven-plugin/pom.xml", "examples/maven/pom.xml", "README.md",
             "maven/xoq-maven-plugin/README.md", "examples/maven/README.md"):
    text = open(root + "/" + name, encoding="utf-8").read()
    found = re.findall(r"<artifactId>xoq-maven-plugin</artifactId>\s*<version>([^<]*)</version>", text)
    if not found:
        wrong.append(name + " names no version of xoq-maven-plugin")
    wrong += [name + " names xoq-maven-plugin " + v for v in found if v not in (version, version + "-SNAPSHOT")]
for line in wrong:
    print("maven-example.sh: " + line + ", but VERSION says " + version, file=sys.stderr)
sys.exit(1 if wrong else 0)
PYTHON

work="$build/maven"
repository="$work/repository"
mkdir -p "$repository"
python3 - /usr/share/maven-repo "$repository" <<'PYTHON'
import os, sys
source, target = sys.argv[1], sys.argv[2]
for folder, subfolders, files in os.walk(source, followlinks=True):
    if any(name.endswith(".pom") for name in files):
        subfolders[:] = []  # a version folder: nothing below it is another version
        link = os.path.join(target, os.path.relpath(folder, source))
        if not os.path.lexists(link):
            os.makedirs(os.path.dirname(link), exist_ok=True)
            os.symlink(folder, link)
PYTHON
cat >"$work/settings.xml" <<XML
<settings>
  <localRepository>$repository</localRepository>
  <offline>true</offline>
</settings>
XML
mvn=(timeout 300 mvn --batch-mode --offline --no-transfer-progress -Dstyle.color=never --settings "$work/settings.xml")

echo "== xoq-maven-plugin: build, unit tests, install"
rm -rf "$work/plugin"
"${mvn[@]}" -f "$root/maven/xoq-maven-plugin/pom.xml" -Dxoq.build.directory="$work/plugin" install

echo "== examples/maven: mvn -o install, with xoqpack from $XOQ_HOME"
rm -rf "$work/example"
mkdir -p "$work/example"
cp -r "$root/examples/maven/pom.xml" "$root/examples/maven/src" "$work/example/"
(cd "$work/example" && "${mvn[@]}" install)
