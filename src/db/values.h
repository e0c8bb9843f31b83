#ifndef KEL_SRC_DB_VALUES_H
#define KEL_SRC_DB_VALUES_H

// What ResultSet and Statement share: the values bound to a statement's "?" parameters, and the
// bindings of result columns to the caller's variables with their length/indicator cells.

#include "db/db_internal.h"

#include <cstddef>
#include <memory>

namespace Kel {
namespace detail {

// The values of a statement's parameters, each copied when it is set, so that the caller's variables
// may change or go before the statement runs. A parameter may instead be an array of rows that the
// caller owns (a batch). Parameters are kept in a list ordered by number.
class ParameterList {
public:
    ParameterList() = default;
    ~ParameterList();
    ParameterList(const ParameterList&) = delete;
    ParameterList& operator=(const ParameterList&) = delete;

    // A copy of size bytes at data (a null data gives NULL). Text is sent without its terminator.
    void set(unsigned short number, SQLSMALLINT cType, SQLSMALLINT sqlType, const void* data,
             std::size_t size);
    // A value of type (ResultSet::bindDataType) read from a column variable, as ResultSet's bound rows
    // and Statement's arrays use them. False for a type that has no parameter form.
    bool setFromVariable(unsigned short number, int type, const void* buffer, int size);
    // rows values of elementSize bytes each at values, with their lengths/indicators (null: every value
    // is present, texts NUL-terminated). Nothing is copied: the arrays must last until the execution.
    bool setArray(unsigned short number, int type, const void* values, int elementSize, SQLLEN* lengths);
    void clear();
    bool empty() const { return _pFirst == nullptr; }

    // Binds every parameter to stmt. False, with the statement's diagnostic to read, when one is refused.
    bool bindTo(SQLHSTMT stmt) const;

private:
    struct Node;
    Node* nodeFor(unsigned short number);

    Node* _pFirst = nullptr;
};

// Result columns bound to the caller's variables. Each column has its own length/indicator cell, in
// blocks that never move (the driver keeps their addresses). Kel::Date, Time and Timestamp variables are
// fetched into an ODBC structure kept here and converted after each row.
class ColumnBindings {
public:
    ColumnBindings() = default;
    ~ColumnBindings();
    ColumnBindings(const ColumnBindings&) = delete;
    ColumnBindings& operator=(const ColumnBindings&) = delete;

    // Forgets every binding (cells and conversions); the blocks are kept for the next statement.
    void reset();
    // Binds column of stmt to the variable; a type outside ResultSet::bindDataType binds nothing.
    void bind(SQLHSTMT stmt, unsigned short column, void* buffer, int type, int size);
    // The cell of a bound column, or null.
    SQLLEN* cell(unsigned short column) const;
    // Fills the Kel date and time variables from the row just fetched. False, with why, when a value does
    // not fit Kel's calendar (the variable is then left empty).
    bool convertRow(String& why);

private:
    struct Block;
    struct Conversion;
    SQLLEN* cellFor(unsigned short column, bool create);

    Block* _pBlocks = nullptr;
    Conversion* _pConversions = nullptr;
};

// The ODBC C type that receives a column of the given ResultSet::bindDataType, or 0 for none.
SQLSMALLINT cTypeOf(int type);

} // namespace detail
} // namespace Kel

#endif
