// A pooled query on an embedded database: an SQLite file reached through the SQLite ODBC driver by a
// connection string, so that neither a server nor a data source definition is needed. The program
// creates a table, inserts rows through a ResultSet subclass with their values bound to placeholders,
// and reads them back through a DB borrowed from a connection pool that lets borrowers wait.
//
// The driver is looked for where Debian installs it; KEL_SQLITE_DRIVER names another file, and
// KEL_DEMO_DATABASE the database file as the driver sees it (under Wine: a path of the host).

#include <kel/kel.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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

// A fresh directory for the database file, unless KEL_DEMO_DATABASE names the file.
std::filesystem::path demoDirectory() {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("kel-pooled-query-" + std::to_string(std::random_device()()));
    fs::create_directories(dir);
    return dir;
}

int run(const std::string& database) {
    const std::string connection = "Driver=" + sqliteDriver() + ";Database=" + database + ";Timeout=2000";
    DBPoolMgr pool;
    // One connection now, up to four on demand; a fifth borrower would wait up to two seconds.
    pool.setResizeable(connection.c_str(), "", "", 1, 4);
    pool.setWait(2000);

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
        db->beginWrite();
        for (const auto& item : basket) {
            // The values are bound to placeholders: a quote in a name is just a character.
            std::snprintf(row.name, sizeof row.name, "%s", item.name);
            row.quantity = item.quantity;
            row.price = item.price;
            row.insertBound();
        }
        std::cout << row.statement() << "\n";
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
    const char* chosen = std::getenv("KEL_DEMO_DATABASE");
    const std::filesystem::path dir = chosen ? std::filesystem::path() : demoDirectory();
    int result = 1;
    try {
        result = run(chosen ? std::string(chosen) : (dir / "demo.db").string());
    } catch (const DatabaseException& e) {
        std::cout << "database error: " << e.message() << "\n";
    } catch (const DBPoolException& e) {
        std::cout << "no connection to borrow (reason " << e.reason() << ")\n";
    }
    std::error_code ignored;
    if (!dir.empty()) {
        std::filesystem::remove_all(dir, ignored);
    }
    return result;
}
