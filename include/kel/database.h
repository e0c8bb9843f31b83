#ifndef KEL_DATABASE_H
#define KEL_DATABASE_H

// Database access through the ODBC driver manager (ODBC 3): one process-wide environment, connections
// with transactions, result sets that compose their own SQL from column descriptions, a connection pool
// and unpooled automatic connections, both lent through the scoped DB handle.
//
// Handles appear as void* here; they are the ODBC handles (SQLHENV, SQLHDBC, SQLHSTMT) of the driver
// manager the library is linked with. An ODBC call counts as successful when it returns SQL_SUCCESS or
// SQL_SUCCESS_WITH_INFO; SQL_NO_DATA counts as a failure, except where fetch() says otherwise.

#include <kel/foundation.h>
#include <kel/string.h>

#include <cstdint>
#include <iosfwd>

namespace Kel {

class DB;
class Database;
class DBAutoMgr;
class DBPoolMgr;
class ResultSet;

namespace detail {
class ColumnBindings;
class ParameterList;
class PoolQueue;
/// Internal: ties a statement to the connection it runs on, so that a connection that closes can end
/// the statements still open on it. The connection frees *handle, nulls it and clears *open.
struct StatementLink {
    void** handle = nullptr;
    long* open = nullptr;
    Database* db = nullptr;
    StatementLink* prev = nullptr;
    StatementLink* next = nullptr;
};
} // namespace detail

/// An ODBC environment handle with ODBC version 3 requested. The library creates one while it is loaded,
/// before any caller runs, and releases it when unloaded; every Database connects through that one. When
/// its allocation fails, every Database::open returns notReady. Each object owns its own handle: a copy
/// allocates a fresh environment and never releases the source's.
class Date;
class Time;
class Timestamp;

class KEL_API ODBCEnvironment : public KELBase {
public:
    ///@{
    /// Allocates the environment and requests ODBC 3. On failure isReady() is false.
    ODBCEnvironment();
    ///@}
    /// A copy, as the class comment describes.
    ODBCEnvironment(const ODBCEnvironment& o);
    /// Keeps this object's own handle; there is nothing else to copy.
    ODBCEnvironment& operator=(const ODBCEnvironment& o);
    ~ODBCEnvironment() override;

    ///@{
    /// The environment handle (SQLHENV), or null when not ready.
    void* handle() const;
    bool isReady() const;
    ///@}

protected:
    ///@{
    /// "@ class Kel::ODBCEnvironment" only.
    void dump(Socket& s) override;
    void dump(std::ostream& os) override;
    ///@}

private:
    void* _hEnv;
    bool _bReady;
};

/// One connection to a named ODBC data source. It never throws: operations return the codes below, and
/// after a failure lastError() holds the message of the driver's first diagnostic record (or, when the
/// driver left none, a short text naming what failed). Not synchronised: one thread at a time.
///
/// Auto-commit: a connection starts in the mode its driver opens it in, which ODBC makes auto-commit, and
/// isAutoCommit() reports it. In auto-commit mode begin() switches the connection to manual commit for
/// the transaction and commit()/rollback() switch it back on, so begin() always opens a real transaction.
/// enableAutoCommit(0) puts the connection in manual mode for good; begin() then only records the
/// transaction. A pending transaction is rolled back by close(), by open() on an open connection and by
/// the destructor.
///
/// A copy is a new, closed Database: it shares no handle with the source and never releases the source's
/// connection. Assigning closes the target (rolling back its pending work) and leaves it closed.
/// Database is not movable, and neither is ResultSet: result sets and statements point at their
/// connection, and the driver holds addresses inside the objects. Moving one copies it (a closed copy);
/// keep them where they were made, or hold them through a pointer.
class KEL_API Database : public KELBase {
public:
    /// Return codes of the operations below.
    enum Result {
        ok = 0,
        failed = -1,      // the driver refused: connect, execute, commit, rollback, auto-commit, begin
        noHandle = -2,    // open: no connection handle could be allocated
        notReady = -3,    // open: the ODBC environment could not be created when the library loaded
        noStatement = -4, // execute: no statement handle could be allocated
        nameTooLong = -5, // open: a data source name, user or password longer than maxNameLength
        notReleased = 1   // execute: the statement ran but its handle could not be released
    };
    /// The data source name, user and password are kept in fields of 32 bytes: at most 31 characters.
    enum { maxNameLength = 31 };

    ///@{
    /// Closed: no handle, all flags 0, empty names, rowCount() -1, empty last error.
    Database();
    ///@}
    ///@{
    /// Copy construction and assignment, as the class comment describes.
    Database(const Database& o);
    Database& operator=(const Database& o);
    ///@}
    /// Rolls back a pending transaction, then disconnects and releases the handle.
    ~Database() override;

    /// Connects to the data source with user and password (a null pointer counts as empty text).
    /// Returns ok; failed with the driver's message (the names stay copied, no handle is kept); noHandle;
    /// notReady, changing nothing; nameTooLong, changing nothing but lastError() and never writing past
    /// the fields.
    /// On an open Database the current connection is closed first, as close() does.
    /// A source that holds '=' (which no data source name can) is a connection string: it is opened as
    /// openConnectionString() does, with ";UID=<user>" and ";PWD=<password>" appended when they are not
    /// empty, and only user and password are held to maxNameLength. Pools and automatic managers reach
    /// connection strings this way; their dumps write a PWD= value inside the source as "****".
    long open(const char* source, const char* user, const char* password);
    /// Connects with a full ODBC connection string of any length, such as
    /// "Driver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so;Database=/srv/app.db", so that no data
    /// source needs to be defined. The driver is never asked to prompt. Returns ok, failed with the
    /// driver's message, noHandle or notReady, as open() does. The data source name field keeps the
    /// text up to its first ';' (cut to maxNameLength) and the user and password fields stay empty; a
    /// PWD= value is never shown, neither by the dump nor in lastError().
    long openConnectionString(const char* connection);
    /// Rolls back a pending transaction, ends the statements still open on the connection (result sets
    /// open on it then act as closed: isOpen() 0, fetch() -1, and destroying them later touches no
    /// released handle), disconnects, releases the handle and empties the names. A connection that will
    /// not disconnect while a transaction is open is rolled back and disconnected again. Returns ok once
    /// the connection is closed; failed, with the driver's message and the connection still open and
    /// usable, when the driver refuses to disconnect all the same: it never reports a success while the
    /// connection stays open.
    long close();
    /// 1 while connected, else 0.
    long isOpen() const;

    /// Runs sql once on a fresh statement. Returns ok; failed when the driver refused the statement or
    /// returned SQL_NO_DATA (a searched UPDATE or DELETE that touched no row, with most drivers);
    /// noStatement when no statement handle could be allocated (for instance on a closed Database);
    /// notReleased when the statement handle could not be released. rowCount() is updated in every case
    /// but noStatement.
    long execute(const char* sql);
    /// The rows affected by the last execute(), as the driver counts them; -1 when the driver gives no
    /// count and before the first execute().
    long rowCount() const;

    /// Starts a transaction: in auto-commit mode the connection is switched to manual commit. Returns ok,
    /// or failed when the switch was refused (the transaction is recorded all the same).
    long begin();
    /// Starts a transaction that is going to write, taking the write lock at once where the driver
    /// allows it, so that concurrent writers wait for one another (up to the driver's busy time-out)
    /// instead of failing midway with "database is locked". Ended by commit() or rollback() as usual.
    ///   SQLite: runs BEGIN IMMEDIATE with the connection left in auto-commit mode (the driver would
    ///   otherwise open its own deferred transaction); commit() and rollback() run COMMIT and ROLLBACK.
    ///   A connection in manual-commit mode (enableAutoCommit(0)) is switched to auto-commit for the
    ///   transaction, which would commit the work pending on it: beginWrite() therefore fails, changing
    ///   nothing, while a transaction is recorded (isInTransaction()) or a statement that returns no
    ///   rows ran since the last commit(), rollback() or switch to auto-commit. Commit or roll back
    ///   first. Queries do not count, and neither does work done by the caller's own ODBC calls on
    ///   handle(), which the switch commits.
    ///   Other drivers (PostgreSQL among them): the same as begin(); a server that locks rows makes
    ///   writers of the same rows wait for one another already.
    /// Returns ok, or failed with the driver's message or the reason above (no transaction is then
    /// started).
    long beginWrite();
    ///@{
    /// Ends the transaction (SQL_COMMIT or SQL_ROLLBACK on the connection), then switches auto-commit back
    /// on when the connection is in auto-commit mode. The transaction is no longer pending afterwards,
    /// even when the driver refused; auto-commit is restored in that case too. Returns ok or failed.
    long commit();
    long rollback();
    ///@}
    /// Switches auto-commit on (non-zero) or off (0). The mode is recorded whatever the driver answered.
    /// Returns ok or failed. Switching it on commits work that is pending on the connection.
    long enableAutoCommit(long on);
    /// 1 when the connection commits each statement on its own outside begin()/commit(), else 0.
    long isAutoCommit() const;
    /// 1 between begin() (or a composing ResultSet operation) and commit()/rollback(), else 0.
    long isInTransaction() const;

    /// A copy of the message text of the last diagnostic read.
    String lastError() const;
    /// The connection handle (SQLHDBC), or null while closed, for callers that issue their own ODBC calls.
    void* handle() const;

    /// Writes src into dest with every single quote doubled, NUL-terminated, and returns dest. dest must
    /// hold twice the length of src plus one byte. This is how callers make a value safe inside a quoted
    /// SQL literal, including the text values that ResultSet places between quotes.
    static char* DeQuote(char* dest, const char* src);

protected:
    ///@{
    /// "@ class Kel::Database", then "Src=<source> Usr=<user>Pwd=<password>", where a password that is
    /// set is written as "****" (dumps go to logs).
    void dump(Socket& s) override;
    void dump(std::ostream& os) override;
    ///@}

private:
    friend class ResultSet;
    friend class Statement;
    friend class DB;

    void recordError(short handleType, void* handle, const char* whenNone);
    long endTransaction(short completion);
    long connectWith(const char* connection, bool connectionString);
    bool isSQLite();
    void noteExecuted(void* stmt);
    void scrubPassword();
    bool disconnect();
    void attach(detail::StatementLink& link);
    static void detach(detail::StatementLink& link);
    void endStatements();
    String dumpText() const;

    long _lAllocated;
    long _lConnected;
    long _lAutoCommit;
    long _lTransaction;
    long _lRowCount;
    char _szSource[32];
    char _szUser[32];
    char _szPassword[32];
    String _lastError;
    void* _hDbc;
    detail::StatementLink* _pStatements;
    String _connection;
    long _lNativeTransaction;
    long _lWorkPending;
};

/// A statement prepared once on a Database and executed as often as wanted, with values bound to its
/// "?" placeholders by type instead of written into its text: a value is sent as it is (quotes and all)
/// and is never read as SQL.
///
///   Statement insert(&db);
///   insert.prepare("INSERT INTO stock (product, quantity, moved) VALUES (?, ?, ?)");
///   insert.setText(1, "O'Brien's tea");
///   insert.setInt32(2, 12);
///   insert.setTimestamp(3, Timestamp::now(Time::Local));
///   insert.execute();
///
/// Parameters are numbered from 1. Each set...() copies its value, so the caller's variable may change
/// or go before execute(); a value stays bound for later executions until it is set again. Rows that a
/// query returns are read as in ResultSet: bindColumn() once per column, then fetch() row by row.
///
/// Batches: bindArray() binds a column of values that the caller owns, one per row, and executeBatch()
/// sends all rows in one execution (ODBC parameter arrays). A driver that cannot take that many rows at
/// once (it refuses the array size, or offers fewer rows) makes executeBatch() fail before anything runs;
/// with such a driver, run the rows one at a time with set...() and execute().
///
/// Closing or destroying the Database ends the statement: it is then unprepared and every operation
/// but prepare() fails. Not synchronised: one thread at a time, like its Database. Not copyable and not
/// movable: the driver holds the addresses of its values and columns.
class KEL_API Statement : public KELBase {
public:
    /// Unprepared; db is used, not owned, and must outlive the statement or close first.
    explicit Statement(Database* db);
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    /// Releases the statement's handle, if any.
    ~Statement() override;

    /// Prepares sql; a statement prepared before is released first, with its parameters and columns.
    /// Returns Database::ok, failed with the driver's message in the database's lastError(), or
    /// noStatement when no handle could be allocated (a closed Database).
    long prepare(const char* sql);
    /// 1 between a successful prepare() and the end of the statement, else 0.
    long isPrepared() const;

    ///@{
    /// Sets parameter n to a value. A null text pointer or null String is NULL; setBinary copies size
    /// bytes. Dates, times and timestamps are sent as ODBC date, time and timestamp values (timestamps to
    /// the microsecond); the empty Date and Timestamp (year 0) go as NULL. Return Database::ok, or failed
    /// for parameter 0.
    long setText(unsigned short n, const char* value);
    long setText(unsigned short n, const String& value);
    long setInt32(unsigned short n, std::int32_t value);
    long setInt64(unsigned short n, std::int64_t value);
    long setDouble(unsigned short n, double value);
    long setDate(unsigned short n, const Date& value);
    long setTime(unsigned short n, const Time& value);
    long setTimestamp(unsigned short n, const Timestamp& value);
    long setBinary(unsigned short n, const void* bytes, unsigned long size);
    long setNull(unsigned short n);
    ///@}
    /// Binds parameter n to an array of values of type (ResultSet::bindDataType, except the Kel date
    /// types), elementSize bytes apart, for executeBatch(). lengths, when not null, holds one
    /// length/indicator per row (SQL_NTS (-3) for a NUL-terminated text, -1 for NULL, else the length in
    /// bytes); null means every value is present and texts are NUL-terminated. Nothing is copied: the
    /// arrays must stay in place until the batch has run. Returns Database::ok, or failed for an
    /// unsupported type, a null array or a size below 1.
    long bindArray(unsigned short n, int type, const void* values, int elementSize,
                   std::int64_t* lengths = nullptr);

    /// Runs the prepared statement with the values set. Returns Database::ok, or failed with the driver's
    /// message in the database's lastError() (SQL_NO_DATA from an UPDATE or DELETE that touched no row is
    /// ok, with rowCount() 0). A previous result is discarded first.
    long execute();
    /// Runs the prepared statement once for each of rows rows of the bound arrays, all in one execution.
    /// Returns as execute(); 0 rows runs nothing and returns Database::ok with rowCount() 0. When the
    /// driver cannot take rows rows at once, nothing is run and it returns failed with the driver's
    /// message in the database's lastError().
    long executeBatch(unsigned long rows);
    /// The rows affected by the last execution, or -1 when the driver gives none. For a batch, the rows
    /// that all its parameter rows affected, added up when the driver counts each of them on its own.
    long rowCount() const;

    /// Binds result column (numbered from 1) to a variable, as ResultSet::bindColumn() does for its
    /// resultColumn contribution. Bind after prepare(); the binding holds for every execution. Returns
    /// Database::ok, or failed when nothing is prepared.
    long bindColumn(unsigned short column, void* buffer, int type, int size);
    /// The next row into the bound variables: 0 for a row, 1 when there are no more, -1 on failure with
    /// the message in the database's lastError().
    long fetch();
    /// As ResultSet::isNull() and columnLength(), for the last row fetched.
    bool isNull(unsigned short column) const;
    std::int64_t columnLength(unsigned short column) const;

protected:
    ///@{
    /// "@ class Kel::Statement", then the statement text, "(null)" before prepare().
    void dump(Socket& s) override;
    void dump(std::ostream& os) override;
    ///@}

private:
    void release();
    long fail(const char* whenNone);
    long run(unsigned long rows);
    long set(unsigned short n, int type, const void* value, int size);

    Database* _pDatabase;
    void* _hStmt;
    long _lPrepared;
    long _lRowCount;
    String _text;
    detail::ParameterList* _pParameters;
    detail::ColumnBindings* _pColumns;
    detail::StatementLink _link;
};

/// Table-bound record access over one Database. A subclass describes its table through three hooks:
/// tableName(), bindColumns() calling bindColumn() once per column in the order wanted, and
/// prepareFetch(), called before every row is fetched. From that description the result set composes
///   SELECT a, b FROM t[ WHERE filter][ ORDER BY sort]
///   INSERT INTO t ( a, b ) VALUES ( 'x', -5 )[ WHERE filter]
///   UPDATE t SET a = 'x', b = -5[ WHERE filter]
///   DELETE FROM t[ WHERE filter]
/// runs queries and binds the result columns to the subclass's variables.
///
/// Text values (typeChar) are placed between single quotes exactly as they are: quotes inside them are
/// NOT doubled. A caller that puts outside text into a row must pass it through Database::DeQuote first,
/// or the composed statement breaks or runs SQL the caller did not write.
///
/// insertRow(), updateRows() and deleteRows() only compose: they leave the text in statement() and mark
/// the database's transaction as pending; the caller runs it, for instance with database()->execute().
///
/// Each result column has its own length/indicator cell, so that isNull() and columnLength() tell, per
/// column, what the last fetch found. A copy refers to the same Database with the same filter, sort and
/// statement text, but is closed: it never shares or frees the source's statement. Not synchronised.
/// Not movable: the driver holds the addresses of the subclass's variables and of the result set's
/// cells, and the connection keeps a link to the open result set (a move copies, giving a closed one).
/// Closing the Database ends an open result set: it then acts as closed.
class KEL_API ResultSet : public KELBase {
public:
    /// What a bindColumn() call contributes. insertParameter and updateParameter serve insertBound() and
    /// updateBound(): a "?" placeholder in the text, the variable's value bound to it.
    enum bindType {
        selectColumn = 0,
        insertValue = 1,
        updateValue = 2,
        resultColumn = 3,
        insertParameter = 4,
        updateParameter = 5
    };
    /// The type of the bound variable, with the ODBC C type used to fetch into it.
    enum bindDataType {
        typeChar = 0,         // NUL-terminated text, SQL_C_CHAR
        typeShort = 1,        // std::int16_t, SQL_C_SSHORT
        typeUShort = 2,       // std::uint16_t, SQL_C_USHORT
        typeLong = 3,         // std::int32_t, SQL_C_SLONG (32 bits on every platform)
        typeULong = 4,        // std::uint32_t, SQL_C_ULONG (32 bits on every platform)
        typeFloat = 5,        // float, SQL_C_FLOAT
        typeDouble = 6,       // double, SQL_C_DOUBLE
        typeBit = 7,          // unsigned char holding 0 or 1, SQL_C_BIT
        typeTinyInt = 8,      // signed char, SQL_C_STINYINT
        typeUTinyInt = 9,     // unsigned char, SQL_C_UTINYINT
        typeBigInt = 10,      // std::int64_t, SQL_C_SBIGINT
        typeUBigInt = 11,     // std::uint64_t, SQL_C_UBIGINT
        typeBinary = 12,      // size bytes, SQL_C_BINARY
        typeDate = 13,        // SQL_DATE_STRUCT, SQL_C_TYPE_DATE
        typeTime = 14,        // SQL_TIME_STRUCT, SQL_C_TYPE_TIME
        typeTimestamp = 15,   // SQL_TIMESTAMP_STRUCT, SQL_C_TYPE_TIMESTAMP
        typeNumeric = 16,     // SQL_NUMERIC_STRUCT, SQL_C_NUMERIC
        typeKelDate = 17,     // Kel::Date, fetched as SQL_C_TYPE_DATE (size is not used)
        typeKelTime = 18,     // Kel::Time, fetched as SQL_C_TYPE_TIME (size is not used)
        typeKelTimestamp = 19 // Kel::Timestamp, fetched as SQL_C_TYPE_TIMESTAMP (size is not used)
    };

    ///@{
    /// Closed, no statement, empty texts; db is used, not owned, and must outlive the result set.
    explicit ResultSet(Database* db);
    ///@}
    /// A copy, as the class comment describes.
    ResultSet(const ResultSet& o);
    /// Closes this result set, then takes o's database, filter, sort and statement text.
    ResultSet& operator=(const ResultSet& o);
    /// Closes the statement when open.
    ~ResultSet() override;

    ///@{
    /// The condition written after " WHERE " and the order written after " ORDER BY "; empty or null
    /// means none. Both persist across open() calls. Return 1.
    long setFilter(const String& filter);
    long setSort(const String& sort);
    ///@}

    /// Runs sql, or, when sql is empty or null, the SELECT composed from the description, and binds the
    /// result columns. An open result set is closed first. Returns 0; throws DatabaseException with the
    /// driver's message (also left in the database's lastError()) when no statement can be allocated or
    /// the driver refuses the query; the result set is then closed.
    long open(const String& sql = String::null);
    ///@{
    /// Calls prepareFetch(), then fills the bound variables with the next row. Returns 0 for a row
    /// (SQL_SUCCESS_WITH_INFO records the driver's message), 1 when there are no more rows (isEOF() is
    /// then 1), -1 on failure with the message in the database's lastError().
    long fetch();
    long isEOF() const;
    long isOpen() const;
    ///@}
    /// The driver's row count for the open statement (-1 when it has none or nothing is open).
    long rowCount();
    /// Releases the statement; nothing happens when closed. Returns 0.
    long close();

    ///@{
    /// Compose into statement() as described above and mark the transaction as pending. Return 0.
    long insertRow();
    long updateRows();
    long deleteRows();
    ///@}
    ///@{
    /// Insert one row, or update the rows the filter selects, with the variables' current values bound
    /// to "?" placeholders instead of written into the text, so that any text (quotes included) is
    /// stored exactly as it is and never read as SQL:
    ///   INSERT INTO t ( a, b ) VALUES ( ?, ? )
    ///   UPDATE t SET a = ?, b = ?[ WHERE filter]
    /// The insert takes no filter. The statement runs at once on the database, in its current commit
    /// mode, and its text is left in statement(). Returns the number of rows affected (-1 when the
    /// driver gives none; an update that touches no row returns 0); throws DatabaseException with the
    /// driver's message (also in the database's lastError()) when it fails, for instance on a broken
    /// constraint. A failed statement changes no row (the driver undoes the rows it had reached) and
    /// marks no transaction; the text stays in statement() and the result set remains usable.
    long insertBound();
    long updateBound();
    ///@}

    /// The text being composed or last executed.
    const String& statement() const;
    /// The connection given at construction.
    Database* database() const;

    /// Whether column (numbered from 1 in the order of binding) was NULL in the last fetched row. False
    /// for a column that is not bound.
    bool isNull(unsigned short column) const;
    /// The length/indicator the driver wrote for column in the last fetched row: the length in bytes of the
    /// available data (which may exceed the buffer: the text was then cut), or -1 (SQL_NULL_DATA) for NULL.
    /// 0 for a column that is not bound.
    std::int64_t columnLength(unsigned short column) const;

protected:
    ///@{
    /// "@ class Kel::ResultSet", then the statement text, "(null)" when it is null.
    void dump(Socket& s) override;
    void dump(std::ostream& os) override;
    ///@}

    /// Called at the start of every fetch(), before the row is fetched: reset the row variables here.
    virtual void prepareFetch() = 0;
    /// Call bindColumn(what, ...) once for each column.
    virtual void bindColumns(bindType what) = 0;
    /// The table the result set works on.
    virtual String tableName() = 0;

    /// One column's contribution to the statement being composed (selectColumn, insertValue, updateValue)
    /// or its binding for fetching (resultColumn: buffer receives the value, size is its size in bytes).
    /// Integers are read at the width of their type; float and double in the shortest text that reads back
    /// exactly; typeBit as 0 or 1; typeBinary as X'..' with size bytes; dates, times and timestamps as the
    /// ODBC escapes {d '...'}, {t '...'} and {ts '...'}; typeNumeric as a decimal number. A text is read
    /// up to its NUL or size bytes, whichever comes first (size 0: up to the NUL). A type outside the
    /// table contributes NULL to a statement and no binding to a result, though the column keeps its
    /// number. typeKelDate, typeKelTime and typeKelTimestamp take the address of a Kel::Date, Time or
    /// Timestamp: written like typeDate, typeTime and typeTimestamp, and filled after each fetch (a NULL
    /// gives the empty date, midnight or the empty timestamp; isNull() tells them apart; written into a
    /// statement, the empty date and timestamp are NULL). A column value
    /// outside the Kel calendar leaves the variable empty and makes fetch() return -1 with a message.
    /// Returns 0.
    long bindColumn(bindType what, const char* name, void* buffer, bindDataType type, int size);
    /// Reads the statement's first diagnostic record into the database's lastError() and returns the
    /// driver's native error code (0 when there is none).
    long getCommunication();
    /// The length/indicator cell bound to column (numbered from 1), or null when that column is not bound.
    /// The driver writes it on every fetch; a subclass may read or preset it in prepareFetch().
    std::int64_t* lengthCell(unsigned short column);

private:
    void composeSelect();
    void freeStatement();
    // A new statement handle on the connection (the caller frees it); throws DatabaseException when the
    // driver gives none.
    void* allocateStatement();
    long executeBound(detail::ParameterList& parameters);
    void collectParameters(bindType pass, detail::ParameterList& parameters);

    unsigned short _usNextColumn;
    detail::ColumnBindings* _pColumns;
    detail::ParameterList* _pParameters;
    long _lOpen;
    long _lEOF;
    String _statement;
    String _filter;
    String _sort;
    void* _hStmt;
    Database* _pDatabase;
    detail::StatementLink _link;
};

/// One connection of a DBPoolMgr's chain. Only the manager and DB use it: a caller sees it only as the
/// value that getPooledDB() returns and freePooledDB() takes back. A copy holds a closed connection
/// marked for refresh and belongs to no chain.
class KEL_API PooledDB : public KELBase {
    friend class DBPoolMgr;
    friend class DB;

public:
    /// A closed connection of its own, in no pool: it never closes the source's.
    PooledDB(const PooledDB& o);
    /// Keeps this connection and its place in the chain; there is nothing to take from o.
    PooledDB& operator=(const PooledDB& o);

protected:
    ///@{
    /// "@ class Kel::PooledDB" only.
    void dump(Socket& s) override;
    void dump(std::ostream& os) override;
    ///@}

private:
    /// Connects; throws DatabaseException with the driver's message on failure.
    PooledDB(const char* source, const char* user, const char* password);
    /// Closes the connection. The successor is not touched: the manager destroys its chain itself.
    ~PooledDB() override;

    /// Closes and reopens the connection; throws DatabaseException with the driver's message on failure.
    /// The manager clears the refresh mark, under its lock, before it calls this.
    void refresh(const char* source, const char* user, const char* password);
    long refresh() const;
    void setRefresh();

    Database _db;
    PooledDB* _pNext;
    long _lInUse;
    long _lRefresh;
};

/// A set of open connections lent to one borrower at a time, normally through a DB on the borrower's
/// stack. A fixed pool is filled with addPooledDB(); a resizeable one is set up by setResizeable() and
/// opens further connections on demand up to its maximum. By default borrowing never waits: without a
/// free connection and without room to grow, DB throws DBPoolException(1). After setWait(limit) a
/// borrower waits up to limit milliseconds for a connection to come back; waiting borrowers are served
/// in the order they came, a connection given back going straight to the one that has waited longest.
/// Waiting borrowers are served only by connections that come back: while anyone waits, the pool opens
/// no connection, even when it is resizeable and below its maximum (as after a connection failed to
/// open), and a newcomer waits behind them. Free connections are lent oldest first.
///
/// Lending, giving back, growing, adding and marking take the manager's lock, so any thread may borrow
/// and return at any time. Reconnecting a connection marked for refresh happens outside the lock, on the
/// connection just lent; when it fails, the connection goes back to the pool still marked, so that the
/// next borrower tries again, and the DatabaseException reaches the borrower.
///
/// The manager owns its chain and destroys it when destroyed: every DB borrowing from it must be gone
/// by then. A copy is an empty pool with the same parameters, limits and resizeable flag; it shares no
/// connection with the source and, when resizeable, opens its own on demand. Assignment copies those
/// settings and keeps the target's own connections.
class KEL_API DBPoolMgr : public KELBase {
public:
    ///@{
    /// Empty, fixed, no parameters (null), initial count 0, maximum -1.
    DBPoolMgr();
    ///@}
    ///@{
    /// Copy construction and assignment, as the class comment describes.
    DBPoolMgr(const DBPoolMgr& o);
    DBPoolMgr& operator=(const DBPoolMgr& o);
    ///@}
    /// Closes and destroys every connection of the chain.
    ~DBPoolMgr() override;

    /// Opens a connection with these parameters and appends it to the pool. Returns 0; a connection
    /// failure throws DatabaseException with the driver's message and appends nothing. The manager's own
    /// parameters are not changed.
    long addPooledDB(const char* source, const char* user, const char* password);
    /// Stores the parameters and limits, makes the pool resizeable, then opens initial connections.
    /// Returns 0. A connection failure stops there and throws DatabaseException; the connections opened
    /// before it stay, and the parameters and the resizeable flag stay set. While growing, the pool never
    /// holds more than maximum connections (a negative maximum forbids growth).
    long setResizeable(const String& source, const String& user, const String& password, long initial,
                       long maximum);

    /// Lends the first free connection, or opens a new one when none is free and the pool may grow (a failure
    /// to open one is swallowed: the result is null). While other borrowers wait, it neither lends nor opens
    /// one but waits behind them, as setWait() describes. A connection marked for refresh is reconnected
    /// before it is returned; when that fails it goes back to the pool, still marked, and DatabaseException
    /// is thrown. Null when nothing can be lent.
    PooledDB* getPooledDB();
    /// Gives a lent connection back. A null pointer is ignored.
    void freePooledDB(PooledDB* p);
    /// On a resizeable pool, marks every connection for refresh: each is reconnected when next lent, with
    /// the stored parameters. A fixed pool has no parameters to reconnect with and is left alone.
    void refresh();
    /// The number of connections in the chain.
    long count() const;
    /// How long getPooledDB() (and so DB) waits for a connection when none is free and the pool cannot
    /// grow, or when others are waiting already: 0, the default, refuses at once; otherwise up to
    /// milliseconds, after which it gives null (DBPoolException(1) from DB). A connection handed to a waiter
    /// that fails to reconnect (a stopped server) throws DatabaseException to that waiter and passes on to
    /// the next one, so no waiter stays past its limit on account of a dead server, beyond the time the
    /// driver takes to fail.
    void setWait(unsigned long milliseconds);
    /// The waiting limit in milliseconds, 0 for none.
    unsigned long waitLimit() const;

protected:
    ///@{
    /// "@ class Kel::DBPoolMgr", then "Src=<source> Uid=<user> Pwd=<password>", "(null)" for a null one
    /// and "****" for a password that is set.
    void dump(Socket& s) override;
    void dump(std::ostream& os) override;
    ///@}

private:
    long addPooledDB(PooledDB* p);
    void destroyChain();
    PooledDB* takeFree();
    void giveBack(PooledDB* p);

    PooledDB* _pFirst;
    PooledDB* _pLast;
    /// The manager's lock lives here, inside the object, for the object's lifetime.
    alignas(16) unsigned char _lock[64];
    String _source;
    String _user;
    String _password;
    long _lInitial;
    long _lMaximum;
    long _lCount;
    bool _bResizeable;
    unsigned long _ulWait;
    detail::PoolQueue* _pQueue;
};

/// A connection opened for one borrower of a DBAutoMgr, closed when given back. Only the manager and DB
/// create and destroy it. A copy holds a closed connection: it never closes the source's.
class KEL_API AutoDB : public KELBase {
    friend class DBAutoMgr;
    friend class DB;

public:
    /// A closed connection of its own: it never closes the source's.
    AutoDB(const AutoDB& o);
    /// Keeps this connection; there is nothing to take from o.
    AutoDB& operator=(const AutoDB& o);

protected:
    ///@{
    /// "@ class Kel::AutoDB" only.
    void dump(Socket& s) override;
    void dump(std::ostream& os) override;
    ///@}

private:
    /// Connects; throws DatabaseException with the driver's message on failure.
    AutoDB(const char* source, const char* user, const char* password);
    /// Closes the connection, rolling back pending work.
    ~AutoDB() override;

    Database _db;
};

/// The unpooled counterpart of DBPoolMgr: every borrow opens a fresh connection with the stored
/// parameters, and giving it back closes it. No lock, no limit, no refresh. setup() must not run while
/// other threads borrow; borrowing itself may happen from any thread. Connections still borrowed when
/// the manager is destroyed are not touched. Copies hold the same parameters.
class KEL_API DBAutoMgr : public KELBase {
public:
    ///@{
    /// Source, user and password null.
    DBAutoMgr();
    ///@}
    ///@{
    /// Copy construction and assignment, as the class comment describes.
    DBAutoMgr(const DBAutoMgr& o);
    DBAutoMgr& operator=(const DBAutoMgr& o);
    ///@}
    ~DBAutoMgr() override;

    /// Stores the parameters; nothing is opened.
    void setup(const String& source, const String& user, const String& password);
    /// A new connection with the stored parameters (null ones count as empty). Throws DatabaseException
    /// with the driver's message when it cannot connect; null only when no memory could be obtained.
    AutoDB* getAutoDB();
    /// Closes and destroys a connection from getAutoDB(). A null pointer is ignored.
    void freeAutoDB(AutoDB* p);

protected:
    ///@{
    /// "@ class Kel::DBAutoMgr", then "Src=<source> Uid=<user> Pwd=<password>", "(null)" for a null one
    /// and "****" for a password that is set.
    void dump(Socket& s) override;
    void dump(std::ostream& os) override;
    ///@}

private:
    String _source;
    String _user;
    String _password;
};

/// A scoped borrower: the constructor borrows a connection from a pool or an automatic manager, db()
/// gives access to it, and the destructor gives it back after rolling back whatever the borrower left
/// unfinished: a pending transaction, or work done with auto-commit switched off, which is switched back
/// on. So a returned connection never carries an open transaction or manual-commit mode to the next
/// borrower. Commit what you want to keep before the DB goes.
///
/// A copy borrows a connection of its own from the same manager (and may therefore throw as the
/// constructor does); assignment borrows from o's manager first and then gives its own connection back.
class KEL_API DB : public KELBase {
public:
    ///@{
    /// Throws DBPoolException(1) when the manager is null or has no connection to give; a
    /// DatabaseException from reconnecting or connecting passes through.
    explicit DB(DBPoolMgr* manager);
    explicit DB(DBAutoMgr* manager);
    ///@}
    ///@{
    /// Copy construction and assignment, as the class comment describes.
    DB(const DB& o);
    DB& operator=(const DB& o);
    ///@}
    ~DB() override;

    /// The borrowed connection.
    Database* db() const;

protected:
    ///@{
    /// "@ class Kel::DB" only.
    void dump(Socket& s) override;
    void dump(std::ostream& os) override;
    ///@}

private:
    void borrow();
    void giveBack();

    PooledDB* _pPooled;
    AutoDB* _pAuto;
    DBPoolMgr* _pPoolMgr;
    DBAutoMgr* _pAutoMgr;
};

} // namespace Kel

#endif
