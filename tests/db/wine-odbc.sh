# Sourced by cmake/wine-run.sh before Wine starts a database test program (KEL_WINE_SETUP names it).
# Wine's odbc32 hands every call to the host's driver manager, which reads its data sources from the
# file that ODBCINI names in the host's environment: a variable the Windows program sets for itself never
# reaches it. So the data sources are written here, on the host, into $KEL_ODBC_DIR, which the test
# program also reads (as Z:<path>) to find the database files: the same names as on Linux, PostgreSQL
# ones only when the KEL_PG_* variables of scripts/pg-start.sh are set.
if [ -n "${KEL_ODBC_DIR:-}" ]; then
    rm -rf "$KEL_ODBC_DIR"
    mkdir -p "$KEL_ODBC_DIR/moving"
    kel_sqlite_driver=${KEL_SQLITE_DRIVER:-}
    if [ -z "$kel_sqlite_driver" ]; then
        for kel_f in /usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so /usr/lib/*/odbc/libsqlite3odbc.so; do
            if [ -f "$kel_f" ]; then kel_sqlite_driver=$kel_f; break; fi
        done
    fi
    {
        printf '[kel_sqlite]\nDriver=%s\nDatabase=%s\nTimeout=2000\n' "$kel_sqlite_driver" "$KEL_ODBC_DIR/kel.db"
        printf '[kel_sqlite_moving]\nDriver=%s\nDatabase=%s\n' "$kel_sqlite_driver" "$KEL_ODBC_DIR/moving/kel.db"
        if [ -n "${KEL_PG_PORT:-}" ]; then
            printf '[kel_pg]\nDriver=%s\nServername=%s\nPort=%s\nDatabase=%s\n' "$KEL_PG_DRIVER" \
                "$KEL_PG_HOST" "$KEL_PG_PORT" "$KEL_PG_DATABASE"
        fi
        if [ -n "${KEL_PG_FAULT_PORT:-}" ]; then
            printf '[kel_pg_fault]\nDriver=%s\nServername=%s\nPort=%s\nDatabase=%s\n' "$KEL_PG_DRIVER" \
                "$KEL_PG_HOST" "$KEL_PG_FAULT_PORT" "$KEL_PG_DATABASE"
        fi
    } >"$KEL_ODBC_DIR/odbc.ini"
    export ODBCINI="$KEL_ODBC_DIR/odbc.ini"
    export KEL_SQLITE_DRIVER="$kel_sqlite_driver"
fi
