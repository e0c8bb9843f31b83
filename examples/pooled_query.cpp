// A pooled query on an embedded database: an SQLite file reached through the SQLite ODBC driver, with a
// data source defined in a private odbc.ini, so that neither a server nor any system configuration is
// needed. The program creates a table, inserts rows through a ResultSet subclass that composes the
// INSERT statements, and reads them back through a DB borrowed from a connection pool.
//
// The driver is looked for where Debian installs it; KEL_SQLITE_DRIVER names another file.

#include <kel/kel.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>

using namespace Kel;

namespace {

// One row of the fruit table; the subclass names the table and its columns, the base class writes SQL.
class Fruit : public ResultSet {
public:
    explicit Fruit(Database* db) : ResultSet(db) {}

    char name[64] = "";
    std::int32_t quantity = 0;
    double price = 0;

protected:
    void prepareFetch() override {
        name[0] = '\0';
        quantity = 0;
        price = 0;
    }
    void bindColumns(bindType what) override {
        bindColumn(what, "name", name, typeChar, sizeof name);
        bindColumn(what, "quantity", &quantity, typeLong, sizeof quantity);
        bindColumn(what, "price", &price, typeDouble, sizeof price);
    }
    String tableName() override { return "fruit"; }
};

void setEnvironment(const char* name, const std::string& value) {
#if defined(_WIN32)
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

std::string sqliteDriver() {
    if (const char* chosen = std::getenv("KEL_SQLITE_DRIVER")) {
        return chosen;
    }
    const char* const candidates[] = {"/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so",
                                      "/usr/lib/aarch64-linux-gnu/odbc/libsqlite3odbc.so",
                                      "/usr/lib/odbc/libsqlite3odbc.so", "/usr/lib64/libsqlite3odbc.so"};
    for (const char* candidate : candidates) {
        std::error_code ignored;
        if (std::filesystem::exists(candidate, ignored)) {
            return candidate;
        }
    }
    return candidates[0];
}

// Writes the private data source and points the driver manager at it; this must happen before the
// first connection.
std::filesystem::path defineDataSource() {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("kel-pooled-query-" + std::to_string(std::random_device()()));
    fs::create_directories(dir);
    std::ofstream ini(dir / "odbc.ini");
    ini << "[kel_demo]\n"
        << "Driver=" << sqliteDriver() << "\n"
        << "Database=" << (dir / "demo.db").string() << "\n"
        << "Timeout=2000\n";
    ini.close();
    setEnvironment("ODBCINI", (dir / "odbc.ini").string());
    return dir;
}

int run() {
    DBPoolMgr pool;
    // One connection now, up to four on demand.
    pool.setResizeable("kel_demo", "", "", 1, 4);

    {
        DB borrowed(&pool);
        Database* db = borrowed.db();
        if (db->execute("CREATE TABLE fruit (name VARCHAR(63), quantity INTEGER, price DOUBLE PRECISION)") !=
            0) {
            std::cout << "create failed: " << db->lastError() << "\n";
            return 1;
        }
        const struct {
            const char* name;
            std::int32_t quantity;
            double price;
        } basket[] = {{"apple", 12, 0.25}, {"pear", 3, 0.4}, {"Granny's quince", 7, 1.1}, {"fig", 1, 0.9}};

        Fruit row(db);
        db->begin();
        for (const auto& item : basket) {
            // Text values are placed between quotes as they are: double their quotes first.
            Database::DeQuote(row.name, item.name);
            row.quantity = item.quantity;
            row.price = item.price;
            row.insertRow();
            std::cout << row.statement() << "\n";
            if (db->execute(row.statement()) != 0) {
                std::cout << "insert failed: " << db->lastError() << "\n";
                return 1;
            }
        }
        db->commit();
    } // the connection goes back to the pool here

    DB borrowed(&pool);
    Fruit fruit(borrowed.db());
    fruit.setFilter("quantity > 2");
    fruit.setSort("price DESC");
    fruit.open();
    std::cout << "\n" << fruit.statement() << "\n";
    while (fruit.fetch() == 0) {
        char line[128];
        std::snprintf(line, sizeof line, "  %-16s %4d  %5.2f", fruit.name, static_cast<int>(fruit.quantity),
                      fruit.price);
        std::cout << line << "\n";
    }
    fruit.close();

    std::cout << "\nconnections in the pool: " << pool.count() << "\n";
    KELDump(&pool).dump(std::cout);
    return 0;
}

} // namespace

int main() {
    const std::filesystem::path dir = defineDataSource();
    int result = 1;
    try {
        result = run();
    } catch (const DatabaseException& e) {
        std::cout << "database error: " << e.message() << "\n";
    } catch (const DBPoolException& e) {
        std::cout << "no connection to borrow (reason " << e.reason() << ")\n";
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return result;
}
