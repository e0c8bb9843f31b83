#!/usr/bin/env bash
# Builds and runs every test of Kel: Linux release (with the installed-consumer check, the API reference
# and every example program), the same test programs under valgrind's memcheck, Linux with
# AddressSanitizer and UndefinedBehaviorSanitizer, the threaded tests under ThreadSanitizer, the Windows
# build under Wine, and a short smoke run of every fuzzer.
# Each build, and how its tests run, is a preset of CMakePresets.json; this script drives them and adds
# what presets cannot say (memcheck, the Wine prefix, consumer and package checks, the examples, the
# fuzzers, the PostgreSQL server). Installs what the chosen stages need first. Exits non-zero on any
# failure; the last line counts every test program and check that passed and failed.
#
# Environment: KEL_BUILD_ROOT (default ./build-tests), KEL_FUZZ_SECONDS (default 20 per fuzzer),
# KEL_STAGES (default "linux valgrind asan tsan windows fuzz"; valgrind reuses the linux build).
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build_root=${KEL_BUILD_ROOT:-$root/build-tests}
fuzz_seconds=${KEL_FUZZ_SECONDS:-20}
stages=${KEL_STAGES:-linux valgrind asan tsan windows fuzz}
jobs=$(nproc)

# shellcheck disable=SC2086
bash "$root/scripts/deps.sh" $stages || exit 1

mkdir -p "$build_root" && build_root=$(cd "$build_root" && pwd)
# Every build is a preset of CMakePresets.json; its binary directory is $KEL_BUILD_ROOT/<preset>.
export KEL_BUILD_ROOT="$build_root"

passed=0
failed=0
failures=()

note_failure() { # label: one failed check
    failed=$((failed + 1))
    failures+=("$1")
}

record() { # label, command...: one check that passes when the command succeeds
    local label=$1
    shift
    if "$@"; then passed=$((passed + 1)); else note_failure "$label"; fi
}

build_preset() { # preset: configure and build it
    local log="$build_root/$1.configure.log"
    cmake --preset "$1" >"$log" 2>&1 || { cat "$log"; return 1; }
    cmake --build --preset "$1" -j "$jobs"
}

test_preset() { # preset: run its tests, counted from ctest's JUnit report
    local junit="$build_root/$1/ctest-junit.xml" status counts p f
    echo "== $1: tests"
    rm -f "$junit"
    ctest --preset "$1" -j "$jobs"
    status=$?
    # A test that did not run counts as failed unless it skipped itself (SKIP_RETURN_CODE and the like).
    counts=$(python3 -c '
import sys, xml.etree.ElementTree as tree
passed = failed = 0
for case in tree.parse(sys.argv[1]).getroot().iter("testcase"):
    status, skip = case.get("status"), case.find("skipped")
    if status == "run":
        passed += 1
    elif status != "disabled" and (skip is None or not skip.get("message", "").startswith("SKIP_")):
        failed += 1
print(passed, failed)' "$junit") || counts="0 0"
    read -r p f <<<"$counts"
    # A failing run counts at least one failure, even when it wrote no report.
    [ "$status" -ne 0 ] && [ "$f" -eq 0 ] && f=1
    passed=$((passed + p))
    failed=$((failed + f))
    [ "$status" -eq 0 ] || failures+=("$1")
}

consumer_check() { # stage, [toolchain]: the installed library as an outside program uses it
    local stage=$1
    shift
    echo "== $stage: install and build a consumer program"
    record "$stage-consumer" bash "$root/scripts/consumer-check.sh" "$build_root/$stage" "$@"
}

static_consumer_check() { # stage, [toolchain]: the same against a static build of the library alone
    local stage=$1
    shift
    echo "== $stage: static library, install and build a consumer program"
    if build_preset "$stage-static"; then
        record "$stage-static-consumer" bash "$root/scripts/consumer-check.sh" "$build_root/$stage-static" "$@"
    else
        note_failure "$stage-static-build"
    fi
}

api_reference() { # the API reference, built under the build root; any warning fails it
    local out="$build_root/docs"
    echo "== linux: API reference (doxygen)"
    mkdir -p "$out"
    if (cd "$root" && { cat docs/Doxyfile; echo "OUTPUT_DIRECTORY = $out"; } | doxygen -) >"$out.log" 2>&1; then
        passed=$((passed + 1))
    else
        cat "$out.log"
        note_failure linux-docs
    fi
}

run_examples() { # stage, [runner...]: every example program of the stage's build, each with a time limit
    local stage=$1 dir="$build_root/$1" example name
    shift
    for example in "$dir"/examples/example_*; do
        [ -x "$example" ] || [[ "$example" == *.exe ]] || continue
        name=$(basename "$example" .exe)
        # Under Wine the database example needs its data source written on the host first (below).
        [ $# -gt 0 ] && [ "$name" = example_pooled_query ] && continue
        echo "== $stage: $name"
        if (cd "$dir" && WINEPATH="$dir/src" timeout 120 "$@" "$example") >"$dir/$name.log" 2>&1; then
            passed=$((passed + 1))
        else
            tail -40 "$dir/$name.log"
            note_failure "$stage-$name"
        fi
    done
}

database_case_counts() { # stage: how many database test cases ran and how many skipped
    local stage=$1 dir="$build_root/$1"
    awk -v stage="$stage" '
        /^[0-9]+\/[0-9]+ Testing: / { db = ($3 ~ /^test_db_/) }
        db && /^\[       OK \]/ { ran++ }
        db && /^\[  FAILED  \] .*\([0-9]+ ms\)$/ { ran++; failed++ }
        db && /^\[  SKIPPED \] .*\([0-9]+ ms\)$/ { skipped++ }
        END { printf "== %s: database test cases: %d ran (%d failed), %d skipped\n", stage, ran, failed, skipped }
    ' "$dir/Testing/Temporary/LastTest.log"
}

wine_database_example() { # the pooled query example under Wine, on a database file of the host
    local dir="$build_root/windows" work="$build_root/windows/example-pooled-query"
    echo "== windows: example_pooled_query"
    rm -rf "$work" && mkdir -p "$work"
    if KEL_DEMO_DATABASE="$work/demo.db" WINEPATH="$dir/src" timeout 120 \
        sh "$root/cmake/wine-run.sh" "$dir/examples/example_pooled_query.exe" >"$work.log" 2>&1 &&
        grep -q "Granny's quince" "$work.log"; then
        passed=$((passed + 1))
    else
        tail -40 "$work.log"
        note_failure windows-example_pooled_query
    fi
}

format_check() { # every C++ source as .clang-format writes it (braces included, hence clang-format 16)
    echo "== linux: formatting"
    (cd "$root" && find src include tests bench fuzz examples -name '*.cpp' -o -name '*.h' |
        xargs clang-format-16 --dry-run -Werror)
}

clang_example() { # the example in today's idioms builds clean under clang too, with conversion warnings, and runs
    local dir="$build_root/linux" program="$build_root/linux/example_modern_clang"
    echo "== linux: example_modern built by clang"
    clang++ -std=c++17 -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Werror -I"$root/include" \
        -I"$dir/generated/include" "$root/examples/modern.cpp" -L"$dir/src" -lkel -Wl,-rpath,"$dir/src" \
        -o "$program" &&
        (cd "$dir" && timeout 120 "$program") >"$program.log" 2>&1 || { tail -20 "$program.log"; return 1; }
}

stage_enabled() { [[ " $stages " == *" $1 "* ]]; }

start_database() { # the private PostgreSQL server; it prints the exports that tell the tests where it is
    echo "== starting the PostgreSQL test server"
    local exports
    if exports=$(bash "$root/scripts/pg-start.sh"); then
        eval "$exports"
        database_up=1
    else
        note_failure postgres-start
    fi
}
stop_database() { if [ "$database_up" -eq 1 ]; then bash "$root/scripts/pg-stop.sh" || true; fi; }

xml_round_trip() { # XML written back by Kel, read by a standard reader (expat), against the original
    echo "== linux: XML round trip through a standard reader"
    # The copies in the tree and the files the test packages install.
    record linux-xml-compare python3 "$root/scripts/xml_compare.py" \
        --kel "$build_root/linux/examples/example_xml" --list "$root/tests/xml/data" /usr/share/fontconfig \
        /usr/share/polkit-1 /usr/share/mime/packages /usr/share/X11/xkb/rules /usr/share/dbus-1 \
        /usr/share/glib-2.0/schemas /usr/share/metainfo /etc/maven
}

valgrind_tests() { # memcheck over every test program of the linux build, as its ctest lists them
    echo "== valgrind: memcheck over every Linux test program"
    local out="$build_root/valgrind" name
    mkdir -p "$out"
    # The PostgreSQL variants skip here: they run under the leak checker of the asan stage, and the
    # server-fault test is timing-bound. Programs under memcheck run tens of times slower, and two share
    # the machine: the tests stretch their time limits by KEL_TEST_SLOWDOWN.
    ctest --test-dir "$build_root/linux" --show-only=json-v1 |
        python3 -c 'import json, sys; print("\n".join(t["command"][0] for t in json.load(sys.stdin)["tests"]))' |
        env $(compgen -e | grep '^KEL_PG_' | sed 's/^/-u /') KEL_TEST_SLOWDOWN=10 xargs -P "$jobs" -I{} sh -c '
            name=$(basename "{}")
            if valgrind --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect \
                "{}" >"$0/$name.log" 2>&1; then echo "passed $name"; else echo "FAILED $name"; fi' \
            "$out" | tee "$out.results"
    [ -s "$out.results" ] || note_failure valgrind-list
    passed=$((passed + $(grep -c '^passed ' "$out.results")))
    for name in $(sed -n 's/^FAILED //p' "$out.results"); do
        note_failure "valgrind-$name"
        echo "== valgrind: what went wrong in $name"
        # The failed checks, a watchdog's verdict and memcheck's own findings, without the leak records
        # of threads that an early exit leaves behind.
        grep -E -A6 '^[^ ]*: Failure$|^\[  FAILED  \]|^watchdog:|Process terminating|Invalid (read|write)|uninitialised|definitely lost in|indirectly lost in|ERROR SUMMARY' \
            "$out/$name.log" | head -150
    done
}

start_wine() { # the Wine prefix of the windows test preset, made before any test program starts
    export WINEPREFIX="$build_root/wineprefix"
    # Made as the test runner uses it (no .NET or HTML engine to install); the tests start once its
    # set-up processes have ended, so that they do not compete with them for the shared wine server.
    WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wineboot --init >/dev/null 2>&1 || true
    wineserver -w || true
    # One server for the whole stage. Left to itself, the server exits a few seconds after its last
    # program, and a test program that starts in that moment loses its connection ("recvmsg:
    # Connection reset by peer") before it has run a line. A server that stays keeps Wine's own
    # service processes too: they are started here, away from the test runner's output, which they
    # would otherwise inherit and hold open.
    wineserver -p || true
    wine_up=1
    WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

stop_wine() { if [ "${wine_up:-0}" -eq 1 ]; then wineserver -k || true; wine_up=0; fi; }

fuzz_smoke() { # every fuzzer for a few seconds, on its corpus from the tree and what it found before
    local fuzzer name corpus work
    for fuzzer in "$build_root"/fuzz/fuzz/fuzz_*; do
        [ -x "$fuzzer" ] || continue
        name=$(basename "$fuzzer")
        corpus="$root/fuzz/corpus/${name#fuzz_}"
        work="$build_root/fuzz/corpus-${name#fuzz_}"
        mkdir -p "$work"
        echo "== fuzz: $name for ${fuzz_seconds}s"
        if "$fuzzer" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
            -artifact_prefix="$build_root/fuzz/$name-" "$work" $([ -d "$corpus" ] && echo "$corpus") \
            >"$build_root/fuzz/$name.log" 2>&1; then
            passed=$((passed + 1))
            tail -2 "$build_root/fuzz/$name.log"
        else
            note_failure "$name"
            tail -40 "$build_root/fuzz/$name.log"
        fi
    done
}

database_up=0
if [ -f "$root/scripts/pg-start.sh" ] && { stage_enabled linux || stage_enabled asan || stage_enabled tsan; }; then
    start_database
fi
trap 'stop_database; stop_wine' EXIT

if stage_enabled linux; then
    echo "== linux: build (release)"
    if build_preset linux; then
        test_preset linux
        consumer_check linux
        echo "== linux: Debian packages, installed into an empty prefix, and a consumer program"
        record linux-packages bash "$root/scripts/package-check.sh" "$build_root/linux"
        static_consumer_check linux
        api_reference
        record linux-format format_check
        run_examples linux
        record linux-clang-example clang_example
        xml_round_trip
    else
        note_failure linux-build
    fi
fi

if stage_enabled valgrind && [ -d "$build_root/linux/tests" ]; then
    valgrind_tests
fi

if stage_enabled asan; then
    echo "== asan: build (AddressSanitizer + UndefinedBehaviorSanitizer)"
    if build_preset asan; then test_preset asan; else note_failure asan-build; fi
fi

if stage_enabled tsan; then
    echo "== tsan: build the threaded tests (ThreadSanitizer)"
    if build_preset tsan; then test_preset tsan; else note_failure tsan-build; fi
fi

if stage_enabled windows; then
    echo "== windows: cross build (MinGW-w64), tests under Wine"
    if build_preset windows; then
        start_wine
        test_preset windows
        database_case_counts windows
        run_examples windows sh "$root/cmake/wine-run.sh"
        wine_database_example
        consumer_check windows "$root/cmake/mingw-w64.cmake"
        static_consumer_check windows "$root/cmake/mingw-w64.cmake"
        stop_wine
    else
        note_failure windows-build
    fi
fi

if stage_enabled fuzz; then
    echo "== fuzz: build (clang, libFuzzer, ASan + UBSan)"
    if build_preset fuzz; then fuzz_smoke; else note_failure fuzz-build; fi
fi

echo
if [ ${#failures[@]} -gt 0 ]; then
    echo "Failed stages: ${failures[*]}"
fi
echo "Total: $passed passed, $failed failed"
[ ${#failures[@]} -eq 0 ]
