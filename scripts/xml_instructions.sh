#!/usr/bin/env bash
# Instructions that one XML parse and one write of the 5 MB benchmark document take, Kel against pugixml,
# counted by callgrind over the parse or write call alone (document generation left out). Unlike times,
# the counts are the same on a loaded machine. Builds the Release benchmarks first.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${KEL_BUILD_ROOT:-$root/build-bench}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKEL_BUILD_BENCH=ON -DKEL_BUILD_TESTS=OFF \
    -DKEL_BUILD_EXAMPLES=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target xml_instructions >/dev/null

count() { # what, function whose calls are counted
    local out
    out=$(mktemp)
    valgrind --tool=callgrind --callgrind-out-file="$out" --toggle-collect="$2" \
        "$build/bench/xml_instructions" "$1" >/dev/null 2>&1
    callgrind_annotate "$out" 2>/dev/null | awk '/PROGRAM TOTALS/ { gsub(",", "", $1); print $1 }'
    rm -f "$out"
}

kel_parse=$(count kel-parse 'Kel::XMLDoc::fromStream*')
kel_mixed=$(count kel-parse-mixed 'Kel::XMLDoc::fromStream*')
kel_write=$(count kel-write 'Kel::XMLDoc::stream*')
pugi_parse=$(count pugixml-parse 'pugi::xml_document::load_buffer*')
pugi_mixed=$(count pugixml-parse-mixed 'pugi::xml_document::load_buffer*')
pugi_write=$(count pugixml-write 'pugi::xml_document::save*')

row() { awk -v what="$1" -v k="$2" -v p="$3" 'BEGIN { printf "%-22s %8.1fM %8.1fM %6.2fx\n", what, k / 1e6, p / 1e6, k / p }'; }
printf "%-22s %9s %9s %7s\n" "5 MB document" "Kel" "pugixml" "ratio"
row "parse" "$kel_parse" "$pugi_parse"
row "parse, mixed content" "$kel_mixed" "$pugi_mixed"
row "write" "$kel_write" "$pugi_write"
awk -v m="$kel_mixed" -v s="$kel_parse" 'BEGIN { printf "Kel mixed / subset parse: %.2fx\n", m / s }'
