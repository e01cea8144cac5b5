#!/usr/bin/env bash
# checks.sh CHECK BUILD_DIR: what a user of the xoq Maven plugin sees, on
# examples/maven as scripts/maven-example.sh builds it into
# BUILD_DIR/maven/example. Checks:
#   example         runs scripts/maven-example.sh; the three executables are
#                   written and installed with their classifiers
#   linux           the Linux program prints what `java -cp` prints over the
#                   jars Maven resolved, which are the ones it carries
#   windows-console the console program does the same under Wine with a real
#                   Windows Java runtime (skipped, exit 77, without one)
#   version-info    the Windows programs' version information carries the
#                   project's version, name, description and organisation
#   runtime         the Linux program with a runtime of its own: linked by
#                   jlink beside it as jre/, then that runtime, named from a
#                   folder with blanks, carried inside it; both run where no
#                   Java is installed and print what java -cp prints
#   wrong-parameters an unknown target, a missing icon, a missing xoqpack,
#                   jlink for Windows without Windows jmods, a runtime folder
#                   that is none and a jre/ that xoqpack did not write each
#                   fail the build with one line saying so, and leave no
#                   executable behind
set -u
check=$1
build=$(cd "$2" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
work="$build/maven"
target="$work/example/target"
repository="$work/repository"
version=1.4.2-SNAPSHOT
jars=("$target/greeter-$version.jar" "$repository/commons-cli/commons-cli/1.5.0/commons-cli-1.5.0.jar"
      "$repository/org/apache/commons/commons-lang3/3.12.0/commons-lang3-3.12.0.jar")
# What the pom configures (jvmOptions, systemProperties, arguments), then
# the command line's own arguments.
java_options=(-Dgreeter.punctuation=! "-Dgreeter.greeting=Good morning")
configured=(--name "ada lovelace" 'say "hello"' 'C:\Program Files\')
given=(--times 2 --shout "two  blanks")
mvn=(timeout 300 mvn --batch-mode --offline --no-transfer-progress -Dstyle.color=never --settings "$work/settings.xml")
executables=(greeter greeter.exe greeter-console.exe)

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# What java -cp prints over the jars Maven resolved, with the pom's
# options and arguments and then the command line's, into FILE.
java_cp_output() {
  local java_home classpath
  java_home=$(dirname "$(dirname "$(readlink -f "$(command -v java)")")")
  classpath=$(IFS=:; echo "${jars[*]}")
  timeout 60 "$java_home/bin/java" "${java_options[@]}" -cp "$classpath" com.example.greeter.Greeter \
    "${configured[@]}" "${given[@]}" >"$1" 2>&1 || fail "java -cp failed"
}

# The same output from the packaged program and from java -cp, or a diff.
same_output() {
  if ! diff "$1" "$2" >&2; then
    fail "$3 printed the lines marked < where java -cp printed the lines marked >"
  fi
  [ -s "$1" ] || fail "$3 printed nothing"
}

case "$check" in
example)
  # Not what an earlier run installed.
  rm -rf "$repository/com/example/greeter"
  "$root/scripts/maven-example.sh" "$build" || fail "scripts/maven-example.sh failed"
  for file in "${executables[@]}"; do
    [ -x "$target/$file" ] || fail "mvn package wrote no $target/$file"
  done
  installed="$repository/com/example/greeter/$version"
  for file in greeter-$version-linux.bin greeter-$version-windows.exe greeter-$version-windows-console.exe; do
    [ -f "$installed/$file" ] || fail "mvn install put no $installed/$file"
  done
  ;;

linux)
  # The jars in the program are the jars Maven resolved, byte for byte.
  python3 - "$target/greeter" "${jars[@]}" <<'PYTHON' || fail "the Linux program does not carry the resolved jars"
import sys, zipfile
program, application, *libraries = sys.argv[1:]
with zipfile.ZipFile(program) as archive:
    carried = {name: archive.read(name) for name in archive.namelist() if name.endswith(".jar")}
expected = {application.rsplit("/", 1)[1]: application}
expected.update({"lib/" + path.rsplit("/", 1)[1]: path for path in libraries})
if sorted(carried) != sorted(expected):
    sys.exit("carried %s, expected %s" % (sorted(carried), sorted(expected)))
for name, path in expected.items():
    if carried[name] != open(path, "rb").read():
        sys.exit("%s differs from %s" % (name, path))
PYTHON
  java_cp_output "$work/linux.expected"
  java_home=$(dirname "$(dirname "$(readlink -f "$(command -v java)")")")
  JAVA_HOME="$java_home" timeout 60 "$target/greeter" "${given[@]}" >"$work/linux.actual" 2>&1 ||
    fail "target/greeter failed: $(cat "$work/linux.actual")"
  same_output "$work/linux.actual" "$work/linux.expected" "target/greeter"
  ;;

windows-console)
  # Where scripts/windows-runtime.sh (run by scripts/setup.sh) puts it,
  # marked complete once every file is in place; a test never fetches it.
  runtime="${XOQ_TEST_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/xoq-tests}/windows-jdk-11.0.2"
  if [ ! -f "$runtime/.complete" ]; then
    echo "SKIPPED: no Windows Java runtime in $runtime: scripts/windows-runtime.sh could not fetch it"
    exit 77
  fi
  windows_path() { echo "Z:${1//\//\\}"; }
  classpath=""
  for jar in "${jars[@]}"; do classpath="$classpath${classpath:+;}$(windows_path "$jar")"; done
  "$root/scripts/run-under-wine.sh" 120 "$runtime/bin/java.exe" "${java_options[@]}" -cp "$classpath" \
    com.example.greeter.Greeter "${configured[@]}" "${given[@]}" >"$work/windows.expected" 2>&1 ||
    fail "java.exe -cp failed under Wine: $(cat "$work/windows.expected")"
  JAVA_HOME=$(windows_path "$runtime") "$root/scripts/run-under-wine.sh" 120 "$target/greeter-console.exe" \
    "${given[@]}" >"$work/windows.actual" 2>&1 || fail "greeter-console.exe failed: $(cat "$work/windows.actual")"
  same_output "$work/windows.actual" "$work/windows.expected" "target/greeter-console.exe"
  ;;

runtime)
  # The example for the Linux target alone, built twice. Java is hidden from
  # the programs as on a machine without it: a mount namespace puts an empty
  # file system over /usr/lib/jvm, where every JDK here lives. Where no such
  # namespace can be made they run with the JDKs in view, and the launcher's
  # trace still says which runtime it loaded.
  project="$work/runtime"
  rm -rf "$project"
  mkdir -p "$project"
  cp -r "$root/examples/maven/pom.xml" "$root/examples/maven/src" "$project/"
  sed -i '/<target>windows/d' "$project/pom.xml"
  grep -q '<target>linux</target>' "$project/pom.xml" || fail "the example names no linux target"
  hide=(unshare --mount)
  [ "$(id -u)" = 0 ] || hide+=(--map-root-user)
  if ! "${hide[@]}" sh -c 'mount -t tmpfs -o size=1m xoq-no-java /usr/lib/jvm && test ! -e /usr/lib/jvm/default-java' \
    >/dev/null 2>&1; then
    echo "note: no mount namespace here to hide the installed JDKs; the trace alone tells the runtime"
    hide=()
  fi
  # run_without_java NAME PROGRAM: runs it with the command line's
  # arguments, its output into $project/NAME.out and its trace into
  # $project/NAME.trace.
  run_without_java() {
    local script='mount -t tmpfs -o size=1m xoq-no-java /usr/lib/jvm || exit 125; exec "$@"'
    [ ${#hide[@]} -gt 0 ] || script='exec "$@"'
    env -u JAVA_HOME -u JRE_HOME XOQ_TRACE=1 XDG_CACHE_HOME="$project/cache" \
      timeout 120 ${hide[@]+"${hide[@]}"} sh -c "$script" sh "$2" "${given[@]}" \
      >"$project/$1.out" 2>"$project/$1.trace" || fail "$2 failed: $(grep -v '^\[xoq' "$project/$1.trace")"
  }
  java_cp_output "$project/expected"

  # Beside it: jlink links the runtime, which the plugin puts into target/
  # as jre/, where the launcher looks first.
  (cd "$project" && "${mvn[@]}" -Dxoq.jlink=true package >"$project/folder.log" 2>&1) ||
    fail "mvn package -Dxoq.jlink=true failed: $(grep ERROR "$project/folder.log")"
  grep -q "^\[INFO\] xoqpack: runtime Java .*, in $project/target/jre\$" "$project/folder.log" ||
    fail "mvn package -Dxoq.jlink=true reported no runtime in target/jre: $(grep xoqpack "$project/folder.log")"
  [ -f "$project/target/jre/lib/server/libjvm.so" ] && [ -f "$project/target/jre/.xoqpack-runtime" ] ||
    fail "no runtime written by xoqpack in $project/target/jre"
  ! ls -a "$project/target" | grep -q '^\.xoq-' || fail "the build left its staging folder"
  run_without_java folder "$project/target/greeter"
  same_output "$project/folder.out" "$project/expected" "target/greeter with target/jre"
  grep -qF "runtime library chosen (method b): $project/target/./jre/lib/server/libjvm.so" "$project/folder.trace" ||
    fail "target/greeter did not run on target/jre: $(grep 'runtime library' "$project/folder.trace")"

  # Inside it: that runtime as a ready one, from a folder with blanks, into
  # an output folder with blanks.
  ready="$project/linked runtime"
  cp -r "$project/target/jre" "$ready"
  (cd "$project" && "${mvn[@]}" "-Dxoq.linuxRuntime=$ready" -Dxoq.embedRuntime=true \
    "-Dxoq.outputDirectory=$project/one file" package >"$project/inside.log" 2>&1) ||
    fail "mvn package -Dxoq.linuxRuntime -Dxoq.embedRuntime failed: $(grep ERROR "$project/inside.log")"
  grep -q "^\[INFO\] xoqpack: runtime Java .*, carried inside the executable" "$project/inside.log" ||
    fail "mvn package -Dxoq.embedRuntime reported no carried runtime: $(grep xoqpack "$project/inside.log")"
  [ ! -e "$project/one file/jre" ] || fail "the program that carries its runtime got a jre/ beside it"
  run_without_java inside "$project/one file/greeter"
  same_output "$project/inside.out" "$project/expected" "one file/greeter"
  grep -qF "runtime library chosen (method p): $project/cache/xoq/runtimes/" "$project/inside.trace" ||
    fail "one file/greeter did not run on the runtime it carries: $(grep 'runtime library' "$project/inside.trace")"
  ;;

version-info)
  for file in greeter.exe greeter-console.exe; do
    /usr/bin/python3 "$root/tests/e2e/windows/tools/pe_resources.py" "$target/$file" >"$work/$file.pe" ||
      fail "pefile cannot read $file"
    # 1.4.2-SNAPSHOT: the numbers that lead the version.
    for line in "fixed 1.4.2.0 1.4.2.0" "version FileVersion 1.4.2" "version ProductVersion 1.4.2" \
                "version ProductName Greeter" "version CompanyName Example Ltd" \
                "version FileDescription Greets from the command line" \
                "version LegalCopyright Copyright 2024 Example Ltd" "version OriginalFilename $file"; do
      grep -qxF "$line" "$work/$file.pe" || fail "$file: no \"$line\" in what pefile reads: $(grep -E '^(fixed|version)' "$work/$file.pe")"
    done
    grep -q '^checksum .* True$' "$work/$file.pe" || fail "$file: its checksum is wrong"
  done
  ;;

wrong-parameters)
  # failing_build EXPECTED: builds a copy of the example, its pom changed by
  # $sed_script, after $prepare ran in it, with ${environment[@]} before mvn
  # and ${arguments[@]} after it. The build must fail with one error line, Maven's, that ends
  # in EXPECTED, and leave no executable and no staging folder behind.
  failing_build() {
    local expected=$1 lines
    rm -rf "$work/wrong"
    mkdir -p "$work/wrong"
    cp -r "$root/examples/maven/pom.xml" "$root/examples/maven/src" "$work/wrong/"
    sed -i "$sed_script" "$work/wrong/pom.xml"
    (cd "$work/wrong" && eval "$prepare") || fail "$case_name: cannot prepare the project"
    if (cd "$work/wrong" && "${environment[@]}" "${mvn[@]}" "${arguments[@]}" package >"$work/wrong.log" 2>&1); then
      fail "the build succeeded with $case_name"
    fi
    lines=$(grep -c -F "$expected" "$work/wrong.log")
    grep "^\[ERROR\] Failed to execute goal" "$work/wrong.log" | grep -q -F ": $expected -> [Help 1]" &&
      [ "$lines" = 1 ] || fail "$case_name: not one error line ending \"$expected\": $(grep ERROR "$work/wrong.log")"
    for file in "${executables[@]}"; do
      [ ! -e "$work/wrong/target/$file" ] || fail "$case_name: the failed build left target/$file"
    done
    ! ls -a "$work/wrong/target" | grep -q '^\.xoq-' || fail "$case_name: the failed build left its staging folder"
    echo "ok: $case_name: $expected"
  }

  prepare=":"
  case_name="an unknown target"
  sed_script='s|<target>windows-console</target>|<target>mac</target>|'
  environment=(env)
  arguments=()
  grep -q '<target>windows-console</target>' "$root/examples/maven/pom.xml" || fail "the example names no such target"
  failing_build 'Unknown target "mac" in <targets>: the targets are windows, windows-console and linux'

  # The Linux target comes first and succeeds; its program must not appear
  # when a Windows target then fails.
  case_name="a missing icon"
  sed_script=""
  arguments=(-Dxoq.icon=missing.ico)
  failing_build "xoqpack: cannot read $work/wrong/missing.ico: No such file or directory"

  case_name="no xoqpack"
  environment=(env -u XOQ_HOME PATH=/usr/local/bin:/usr/bin:/bin)
  arguments=()
  ! "${environment[@]}" sh -c 'command -v xoqpack' >/dev/null || fail "xoqpack is on /usr/local/bin:/usr/bin:/bin: the case cannot be made"
  failing_build "xoqpack not found: set the plugin's <xoqpack> parameter (or -Dxoq.xoqpack) to the xoqpack program, or XOQ_HOME to the folder that holds it, or put it on the PATH"

  # Refused before the Linux target links for a minute.
  case_name="jlink for the Windows targets without Windows jmods"
  environment=(env)
  arguments=(-Dxoq.jlink=true)
  failing_build "<jlink> for the windows target needs <windowsJmods>, the jmods folder of a Windows JDK of the linking JDK's feature version, or a ready Windows runtime in <windowsRuntime>"

  # xoqpack's own line, the relative folder with blanks taken from the project.
  case_name="a runtime folder that is none"
  arguments=("-Dxoq.linuxRuntime=no such runtime")
  failing_build "xoqpack: the runtime $work/wrong/no such runtime is not a folder"

  # Not xoqpack's, so not replaced: the user's files stay.
  case_name="a jre/ that xoqpack did not write"
  prepare="mkdir -p target/jre && echo mine >target/jre/notes.txt"
  # The jre/ is refused before xoqpack looks at the runtime.
  arguments=("-Dxoq.windowsRuntime=$work/wrong/src")
  failing_build "$work/wrong/target/jre exists and was not written by xoqpack; move it away, or carry the runtime inside the programs with <embedRuntime>true</embedRuntime>"
  [ "$(cat "$work/wrong/target/jre/notes.txt")" = mine ] || fail "$case_name: the build changed target/jre"
  ;;

*)
  fail "unknown check $check"
  ;;
esac
