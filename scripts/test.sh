#!/usr/bin/env bash
# Builds and runs every test of Kel: Linux release (with the installed-consumer check, the API reference
# and every example program), the same test programs under valgrind's memcheck, Linux with
# AddressSanitizer and UndefinedBehaviorSanitizer, the threaded tests under ThreadSanitizer, the Windows
# build under Wine, and a short smoke run of every fuzzer.
# Installs what it needs first. Exits non-zero on any failure.
#
# Environment: KEL_BUILD_ROOT (default ./build-tests), KEL_FUZZ_SECONDS (default 20 per fuzzer),
# KEL_STAGES (default "linux valgrind asan tsan windows fuzz"; valgrind reuses the linux build).
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build_root=${KEL_BUILD_ROOT:-$root/build-tests}
fuzz_seconds=${KEL_FUZZ_SECONDS:-20}
stages=${KEL_STAGES:-linux valgrind asan tsan windows fuzz}
jobs=$(nproc)

bash "$root/scripts/deps.sh" test || exit 1

passed=0
failed=0
failures=()

note_result() { # stage, exit status, ctest log
    local stage=$1 status=$2 log=$3
    local line p f
    line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
    if [ -n "$line" ]; then
        f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
        p=$(( $(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line") - f ))
        passed=$((passed + p))
        failed=$((failed + f))
    fi
    if [ "$status" -ne 0 ]; then
        failures+=("$stage")
        [ -n "$line" ] || failed=$((failed + 1))
    fi
}

configure_and_build() { # build dir, cmake arguments..., then -- targets...
    local dir=$1
    shift
    local args=() targets=()
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do args+=("$1"); shift; done
    [ $# -gt 0 ] && shift
    targets=("$@")
    cmake -S "$root" -B "$dir" -G Ninja -DKEL_WARNINGS_AS_ERRORS=ON "${args[@]}" >"$dir.configure.log" 2>&1 ||
        { cat "$dir.configure.log"; return 1; }
    if [ ${#targets[@]} -gt 0 ]; then
        cmake --build "$dir" -j "$jobs" --target "${targets[@]}"
    else
        cmake --build "$dir" -j "$jobs"
    fi
}

run_ctest() { # stage, build dir, extra ctest arguments...
    local stage=$1 dir=$2
    shift 2
    local log="$dir.ctest.log"
    echo "== $stage: tests"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" "$@" 2>&1 | tee "$log"
    note_result "$stage" "${PIPESTATUS[0]}" "$log"
}

check_script() { # stage, label, script, arguments...: one pass or failure for a check script
    local stage=$1 label=$2 script=$3
    shift 3
    if bash "$root/scripts/$script" "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        failures+=("$stage-$label")
    fi
}

consumer_check() { # stage, build dir, [toolchain]: the installed library as an outside program uses it
    local stage=$1
    shift
    echo "== $stage: install and build a consumer program"
    check_script "$stage" consumer consumer-check.sh "$@"
}

static_consumer_check() { # stage, [toolchain]: the same against a static build of the library alone
    local stage=$1 dir="$build_root/$1-static"
    shift
    echo "== $stage: static library, install and build a consumer program"
    if configure_and_build "$dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DKEL_BUILD_TESTS=OFF \
        -DKEL_BUILD_EXAMPLES=OFF ${1:+-DCMAKE_TOOLCHAIN_FILE="$1"}; then
        check_script "$stage" static-consumer consumer-check.sh "$dir" "$@"
    else
        failures+=("$stage-static-build")
    fi
}

api_reference() { # stage: the API reference, built under the build root; any warning fails it
    local stage=$1 out="$build_root/docs"
    echo "== $stage: API reference (doxygen)"
    mkdir -p "$out"
    if (cd "$root" && { cat docs/Doxyfile; echo "OUTPUT_DIRECTORY = $out"; } | doxygen -) >"$out.log" 2>&1; then
        passed=$((passed + 1))
    else
        cat "$out.log"
        failed=$((failed + 1))
        failures+=("$stage-docs")
    fi
}

run_examples() { # stage, build dir, [runner...]: every example program, each with a time limit
    local stage=$1 dir=$2 example name
    shift 2
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
            failed=$((failed + 1))
            failures+=("$stage-$name")
        fi
    done
}

database_case_counts() { # stage, build dir: how many database test cases ran and how many skipped
    local stage=$1 dir=$2
    awk -v stage="$stage" '
        /^[0-9]+\/[0-9]+ Testing: / { db = ($3 ~ /^test_db_/) }
        db && /^\[       OK \]/ { ran++ }
        db && /^\[  FAILED  \] .*\([0-9]+ ms\)$/ { ran++; failed++ }
        db && /^\[  SKIPPED \] .*\([0-9]+ ms\)$/ { skipped++ }
        END { printf "== %s: database test cases: %d ran (%d failed), %d skipped\n", stage, ran, failed, skipped }
    ' "$dir/Testing/Temporary/LastTest.log"
}

wine_database_example() { # build dir: the pooled query example under Wine, on a database file of the host
    local dir=$1 work="$1/example-pooled-query"
    echo "== windows: example_pooled_query"
    rm -rf "$work" && mkdir -p "$work"
    if KEL_DEMO_DATABASE="$work/demo.db" WINEPATH="$dir/src" timeout 120 \
        sh "$root/cmake/wine-run.sh" "$dir/examples/example_pooled_query.exe" >"$work.log" 2>&1 &&
        grep -q "Granny's quince" "$work.log"; then
        passed=$((passed + 1))
    else
        tail -40 "$work.log"
        failed=$((failed + 1))
        failures+=("windows-example_pooled_query")
    fi
}

stage_enabled() { [[ " $stages " == *" $1 "* ]]; }

mkdir -p "$build_root"

database_up=0
if [ -f "$root/scripts/pg-start.sh" ] && { stage_enabled linux || stage_enabled asan || stage_enabled tsan; }; then
    echo "== starting the PostgreSQL test server"
    # It prints the export lines that tell the database tests where to connect.
    if pg_exports=$(bash "$root/scripts/pg-start.sh"); then
        eval "$pg_exports"
        database_up=1
    else
        failures+=("postgres-start")
    fi
fi
stop_database() { if [ "$database_up" -eq 1 ]; then bash "$root/scripts/pg-stop.sh" || true; fi; }
trap stop_database EXIT

if stage_enabled linux; then
    echo "== linux: build (release)"
    if configure_and_build "$build_root/linux" -DCMAKE_BUILD_TYPE=Release -DKEL_BUILD_BENCH=ON; then
        run_ctest linux "$build_root/linux"
        consumer_check linux "$build_root/linux"
        echo "== linux: Debian packages, installed into an empty prefix, and a consumer program"
        check_script linux packages package-check.sh "$build_root/linux"
        static_consumer_check linux
        api_reference linux
        run_examples linux "$build_root/linux"
        # XML written back by Kel, read by a standard reader (expat), against the original: the copies in
        # the tree and the files the test packages install.
        echo "== linux: XML round trip through a standard reader"
        if python3 "$root/scripts/xml_compare.py" --kel "$build_root/linux/examples/example_xml" --list \
            "$root/tests/xml/data" /usr/share/fontconfig /usr/share/polkit-1 /usr/share/mime/packages \
            /usr/share/X11/xkb/rules /usr/share/dbus-1 /usr/share/glib-2.0/schemas /usr/share/metainfo \
            /etc/maven; then
            passed=$((passed + 1))
        else
            failed=$((failed + 1))
            failures+=("linux-xml-compare")
        fi
    else
        failures+=("linux-build")
    fi
fi

if stage_enabled valgrind && [ -d "$build_root/linux/tests" ]; then
    echo "== valgrind: memcheck over every Linux test program"
    # The PostgreSQL variants skip here: they run under the leak checker of the asan stage, and the
    # server-fault test is timing-bound. Programs under memcheck run tens of times slower, and two share
    # the machine: the tests stretch their time limits by KEL_TEST_SLOWDOWN.
    mkdir -p "$build_root/valgrind"
    for program in "$build_root"/linux/tests/test_*; do
        [ -x "$program" ] && echo "$program"
    done | env $(compgen -e | grep '^KEL_PG_' | sed 's/^/-u /') KEL_TEST_SLOWDOWN=10 xargs -P "$jobs" -I{} sh -c '
        name=$(basename "{}")
        if valgrind --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect \
            "{}" >"$0/$name.log" 2>&1; then echo "passed $name"; else echo "FAILED $name"; fi' \
        "$build_root/valgrind" | tee "$build_root/valgrind.results"
    vg_passed=$(grep -c '^passed ' "$build_root/valgrind.results" || true)
    vg_failed=$(grep -c '^FAILED ' "$build_root/valgrind.results" || true)
    passed=$((passed + vg_passed))
    failed=$((failed + vg_failed))
    if [ "$vg_failed" -gt 0 ]; then
        failures+=("valgrind")
        for name in $(sed -n 's/^FAILED //p' "$build_root/valgrind.results"); do
            echo "== valgrind: what went wrong in $name"
            # The failed checks, a watchdog's verdict and memcheck's own findings, without the leak
            # records of threads that an early exit leaves behind.
            grep -E -A6 '^[^ ]*: Failure$|^\[  FAILED  \]|^watchdog:|Process terminating|Invalid (read|write)|uninitialised|definitely lost in|indirectly lost in|ERROR SUMMARY' \
                "$build_root/valgrind/$name.log" | head -150
        done
    fi
fi

if stage_enabled asan; then
    echo "== asan: build (AddressSanitizer + UndefinedBehaviorSanitizer)"
    if configure_and_build "$build_root/asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DKEL_SANITIZE=address,undefined -DKEL_BUILD_EXAMPLES=OFF; then
        ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
            KEL_TEST_SLOWDOWN=3 run_ctest asan "$build_root/asan"
    else
        failures+=("asan-build")
    fi
fi

if stage_enabled tsan; then
    echo "== tsan: build the threaded tests (ThreadSanitizer)"
    mapfile -t thread_targets < <(cd "$root/tests" && ls */*_threads_test.cpp 2>/dev/null |
        sed -E 's#^([^/]+)/(.*)_test\.cpp$#test_\1_\2#')
    if [ ${#thread_targets[@]} -eq 0 ]; then
        echo "no threaded tests"
    elif configure_and_build "$build_root/tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKEL_SANITIZE=thread \
        -DKEL_BUILD_EXAMPLES=OFF -- "${thread_targets[@]}"; then
        TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 KEL_TEST_SLOWDOWN=5 run_ctest tsan "$build_root/tsan" -L threads
    else
        failures+=("tsan-build")
    fi
fi

if stage_enabled windows; then
    echo "== windows: cross build (MinGW-w64), tests under Wine"
    if configure_and_build "$build_root/windows" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake"; then
        export WINEPREFIX="$build_root/wineprefix"
        # The prefix is made as the test runner uses it (no .NET or HTML engine to install) and the tests
        # start once its set-up processes have ended, so that they do not compete with them for the
        # shared wine server.
        WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wineboot --init >/dev/null 2>&1 || true
        wineserver -w || true
        KEL_TEST_SLOWDOWN=3 run_ctest windows "$build_root/windows"
        database_case_counts windows "$build_root/windows"
        run_examples windows "$build_root/windows" sh "$root/cmake/wine-run.sh"
        wine_database_example "$build_root/windows"
        consumer_check windows "$build_root/windows" "$root/cmake/mingw-w64.cmake"
        static_consumer_check windows "$root/cmake/mingw-w64.cmake"
    else
        failures+=("windows-build")
    fi
fi

if stage_enabled fuzz; then
    echo "== fuzz: build (clang, libFuzzer, ASan + UBSan)"
    if CC=clang CXX=clang++ configure_and_build "$build_root/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DKEL_BUILD_FUZZ=ON -DKEL_BUILD_TESTS=OFF -DKEL_BUILD_EXAMPLES=OFF; then
        for fuzzer in "$build_root"/fuzz/fuzz/fuzz_*; do
            [ -x "$fuzzer" ] || continue
            name=$(basename "$fuzzer")
            corpus="$root/fuzz/corpus/${name#fuzz_}"
            work="$build_root/fuzz/corpus-${name#fuzz_}"
            mkdir -p "$work"
            echo "== fuzz: $name for ${fuzz_seconds}s"
            if "$fuzzer" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
                -artifact_prefix="$build_root/fuzz/$name-" "$work" $( [ -d "$corpus" ] && echo "$corpus" ) \
                >"$build_root/fuzz/$name.log" 2>&1; then
                passed=$((passed + 1))
                tail -2 "$build_root/fuzz/$name.log"
            else
                failed=$((failed + 1))
                failures+=("$name")
                tail -40 "$build_root/fuzz/$name.log"
            fi
        done
    else
        failures+=("fuzz-build")
    fi
fi

echo
if [ ${#failures[@]} -gt 0 ]; then
    echo "Failed stages: ${failures[*]}"
fi
echo "Total: $passed passed, $failed failed"
[ ${#failures[@]} -eq 0 ]
