#include "db/values.h"

#include <kel/datetime.h>

#include <cmath>
#include <cstring>

namespace Kel {
namespace detail {

namespace {

// How a variable of a ResultSet::bindDataType travels as a parameter.
struct ParameterForm {
    SQLSMALLINT cType;
    SQLSMALLINT sqlType;
};

bool formOf(int type, ParameterForm& form) {
    switch (type) {
    case ResultSet::typeChar:
        form = {SQL_C_CHAR, SQL_VARCHAR};
        return true;
    case ResultSet::typeShort:
        form = {SQL_C_SSHORT, SQL_SMALLINT};
        return true;
    case ResultSet::typeUShort:
        form = {SQL_C_USHORT, SQL_INTEGER};
        return true;
    case ResultSet::typeLong:
        form = {SQL_C_SLONG, SQL_INTEGER};
        return true;
    case ResultSet::typeULong:
        form = {SQL_C_ULONG, SQL_BIGINT};
        return true;
    case ResultSet::typeFloat:
        form = {SQL_C_FLOAT, SQL_REAL};
        return true;
    case ResultSet::typeDouble:
        form = {SQL_C_DOUBLE, SQL_DOUBLE};
        return true;
    case ResultSet::typeBit:
        form = {SQL_C_BIT, SQL_BIT};
        return true;
    case ResultSet::typeTinyInt:
        form = {SQL_C_STINYINT, SQL_SMALLINT};
        return true;
    case ResultSet::typeUTinyInt:
        form = {SQL_C_UTINYINT, SQL_SMALLINT};
        return true;
    case ResultSet::typeBigInt:
        form = {SQL_C_SBIGINT, SQL_BIGINT};
        return true;
    case ResultSet::typeUBigInt:
        form = {SQL_C_UBIGINT, SQL_BIGINT};
        return true;
    case ResultSet::typeBinary:
        form = {SQL_C_BINARY, SQL_VARBINARY};
        return true;
    case ResultSet::typeDate:
    case ResultSet::typeKelDate:
        form = {SQL_C_TYPE_DATE, SQL_TYPE_DATE};
        return true;
    case ResultSet::typeTime:
    case ResultSet::typeKelTime:
        form = {SQL_C_TYPE_TIME, SQL_TYPE_TIME};
        return true;
    case ResultSet::typeTimestamp:
    case ResultSet::typeKelTimestamp:
        form = {SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP};
        return true;
    case ResultSet::typeNumeric:
        form = {SQL_C_NUMERIC, SQL_NUMERIC};
        return true;
    default:
        return false;
    }
}

// The column size and decimal digits a driver expects with a value of sqlType.
void sizeOf(SQLSMALLINT sqlType, std::size_t bytes, const void* data, SQLULEN& columnSize,
            SQLSMALLINT& digits) {
    digits = 0;
    switch (sqlType) {
    case SQL_VARCHAR:
    case SQL_VARBINARY:
        columnSize = bytes > 0 ? bytes : 1;
        break;
    case SQL_TYPE_DATE:
        columnSize = 10;
        break;
    case SQL_TYPE_TIME:
        columnSize = 8;
        break;
    case SQL_TYPE_TIMESTAMP:
        columnSize = 26;
        digits = 6;
        break;
    case SQL_NUMERIC: {
        SQL_NUMERIC_STRUCT n;
        std::memcpy(&n, data, sizeof n);
        columnSize = n.precision ? n.precision : 38;
        digits = n.scale;
        break;
    }
    default:
        columnSize = 0;
        break;
    }
}

std::size_t textLength(const char* text, int size) {
    if (size <= 0) {
        return std::strlen(text);
    }
    const void* end = std::memchr(text, '\0', static_cast<std::size_t>(size));
    return end ? static_cast<std::size_t>(static_cast<const char*>(end) - text)
               : static_cast<std::size_t>(size);
}

SQL_DATE_STRUCT dateOf(const Date& d) {
    SQL_DATE_STRUCT s;
    s.year = static_cast<SQLSMALLINT>(d.year());
    s.month = static_cast<SQLUSMALLINT>(d.month());
    s.day = static_cast<SQLUSMALLINT>(d.day());
    return s;
}

SQL_TIME_STRUCT timeOf(const Time& t) {
    SQL_TIME_STRUCT s;
    s.hour = static_cast<SQLUSMALLINT>(t.hour());
    s.minute = static_cast<SQLUSMALLINT>(t.minute());
    s.second = static_cast<SQLUSMALLINT>(t.second());
    return s;
}

// Fractions travel in whole microseconds: the precision the timestamp parameters announce.
SQL_TIMESTAMP_STRUCT timestampOf(const Timestamp& t) {
    SQL_TIMESTAMP_STRUCT s;
    s.year = static_cast<SQLSMALLINT>(t.year());
    s.month = static_cast<SQLUSMALLINT>(t.month());
    s.day = static_cast<SQLUSMALLINT>(t.day());
    s.hour = static_cast<SQLUSMALLINT>(t.hour());
    s.minute = static_cast<SQLUSMALLINT>(t.minute());
    const double seconds = t.second();
    const double whole = std::floor(seconds);
    long micros = std::lround((seconds - whole) * 1e6);
    s.second = static_cast<SQLUSMALLINT>(whole);
    if (micros >= 1000000) {
        micros = 999999;
    }
    s.fraction = static_cast<SQLUINTEGER>(micros) * 1000u;
    return s;
}

} // namespace

SQLSMALLINT cTypeOf(int type) {
    ParameterForm form;
    return formOf(type, form) ? form.cType : 0;
}

// ParameterList

struct ParameterList::Node {
    unsigned short number = 0;
    SQLSMALLINT cType = SQL_C_CHAR;
    SQLSMALLINT sqlType = SQL_VARCHAR;
    SQLULEN columnSize = 1;
    SQLSMALLINT digits = 0;
    std::unique_ptr<unsigned char[]> owned;
    const void* data = nullptr;
    SQLLEN bufferLength = 0;
    SQLLEN indicator = SQL_NULL_DATA;
    SQLLEN* lengths = nullptr;
    bool isArray = false;
    Node* next = nullptr;
};

ParameterList::~ParameterList() {
    clear();
}

void ParameterList::clear() {
    while (_pFirst) {
        Node* next = _pFirst->next;
        delete _pFirst;
        _pFirst = next;
    }
}

ParameterList::Node* ParameterList::nodeFor(unsigned short number) {
    Node** link = &_pFirst;
    while (*link && (*link)->number < number) {
        link = &(*link)->next;
    }
    if (*link && (*link)->number == number) {
        Node* node = *link;
        node->owned.reset();
        node->lengths = nullptr;
        node->isArray = false;
        return node;
    }
    Node* node = new Node;
    node->number = number;
    node->next = *link;
    *link = node;
    return node;
}

void ParameterList::set(unsigned short number, SQLSMALLINT cType, SQLSMALLINT sqlType, const void* data,
                        std::size_t size) {
    Node* node = nodeFor(number);
    node->cType = cType;
    node->sqlType = sqlType;
    // Drivers want a buffer even for NULL; text gets a terminator it is not told about.
    node->owned.reset(new unsigned char[size + 1]);
    if (data && size > 0) {
        std::memcpy(node->owned.get(), data, size);
    }
    node->owned[size] = 0;
    node->data = node->owned.get();
    node->bufferLength = static_cast<SQLLEN>(size);
    node->indicator = data ? static_cast<SQLLEN>(size) : SQL_NULL_DATA;
    sizeOf(sqlType, size, node->owned.get(), node->columnSize, node->digits);
}

bool ParameterList::setFromVariable(unsigned short number, int type, const void* buffer, int size) {
    ParameterForm form;
    if (!formOf(type, form)) {
        return false;
    }
    if (!buffer) {
        set(number, form.cType, form.sqlType, nullptr, 0);
        return true;
    }
    switch (type) {
    case ResultSet::typeChar:
        set(number, form.cType, form.sqlType, buffer, textLength(static_cast<const char*>(buffer), size));
        return true;
    case ResultSet::typeBinary:
        set(number, form.cType, form.sqlType, buffer, size > 0 ? static_cast<std::size_t>(size) : 0);
        return true;
    case ResultSet::typeKelDate: {
        // The empty date (year 0) is no date at all: it goes as NULL, as it comes back from one.
        if (static_cast<const Date*>(buffer)->year() == 0) {
            set(number, form.cType, form.sqlType, nullptr, 0);
            return true;
        }
        const SQL_DATE_STRUCT s = dateOf(*static_cast<const Date*>(buffer));
        set(number, form.cType, form.sqlType, &s, sizeof s);
        return true;
    }
    case ResultSet::typeKelTime: {
        const SQL_TIME_STRUCT s = timeOf(*static_cast<const Time*>(buffer));
        set(number, form.cType, form.sqlType, &s, sizeof s);
        return true;
    }
    case ResultSet::typeKelTimestamp: {
        if (static_cast<const Timestamp*>(buffer)->year() == 0) {
            set(number, form.cType, form.sqlType, nullptr, 0);
            return true;
        }
        const SQL_TIMESTAMP_STRUCT s = timestampOf(*static_cast<const Timestamp*>(buffer));
        set(number, form.cType, form.sqlType, &s, sizeof s);
        return true;
    }
    default:
        break;
    }
    // Fixed-size values: the variable's own width, whatever size says.
    static const std::size_t widths[] = {0,
                                         2,
                                         2,
                                         4,
                                         4,
                                         4,
                                         8,
                                         1,
                                         1,
                                         1,
                                         8,
                                         8,
                                         0,
                                         sizeof(SQL_DATE_STRUCT),
                                         sizeof(SQL_TIME_STRUCT),
                                         sizeof(SQL_TIMESTAMP_STRUCT),
                                         sizeof(SQL_NUMERIC_STRUCT)};
    set(number, form.cType, form.sqlType, buffer, widths[type]);
    return true;
}

bool ParameterList::setArray(unsigned short number, int type, const void* values, int elementSize,
                             SQLLEN* lengths) {
    ParameterForm form;
    if (!formOf(type, form) || !values || elementSize <= 0 || type >= ResultSet::typeKelDate) {
        return false;
    }
    Node* node = nodeFor(number);
    node->cType = form.cType;
    node->sqlType = form.sqlType;
    node->data = values;
    node->bufferLength = elementSize;
    node->lengths = lengths;
    node->isArray = true;
    sizeOf(form.sqlType, static_cast<std::size_t>(elementSize), values, node->columnSize, node->digits);
    return true;
}

bool ParameterList::bindTo(SQLHSTMT stmt) const {
    for (Node* node = _pFirst; node; node = node->next) {
        SQLLEN* indicator = node->isArray ? node->lengths : &node->indicator;
        const SQLRETURN r = SQLBindParameter(stmt, node->number, SQL_PARAM_INPUT, node->cType, node->sqlType,
                                             node->columnSize, node->digits, const_cast<void*>(node->data),
                                             node->bufferLength, indicator);
        if (!succeeded(r)) {
            return false;
        }
    }
    return true;
}

// ColumnBindings

struct ColumnBindings::Block {
    enum { cells = 16 };
    SQLLEN cell[cells] = {};
    bool bound[cells] = {};
    Block* next = nullptr;
};

struct ColumnBindings::Conversion {
    unsigned short column = 0;
    int type = 0;
    void* target = nullptr;
    union {
        SQL_DATE_STRUCT date;
        SQL_TIME_STRUCT time;
        SQL_TIMESTAMP_STRUCT timestamp;
    } staging = {};
    Conversion* next = nullptr;
};

ColumnBindings::~ColumnBindings() {
    reset();
    while (_pBlocks) {
        Block* next = _pBlocks->next;
        delete _pBlocks;
        _pBlocks = next;
    }
}

void ColumnBindings::reset() {
    for (Block* block = _pBlocks; block; block = block->next) {
        for (int i = 0; i < Block::cells; ++i) {
            block->cell[i] = 0;
            block->bound[i] = false;
        }
    }
    while (_pConversions) {
        Conversion* next = _pConversions->next;
        delete _pConversions;
        _pConversions = next;
    }
}

void ColumnBindings::bind(SQLHSTMT stmt, unsigned short column, void* buffer, int type, int size) {
    const SQLSMALLINT cType = cTypeOf(type);
    if (cType == 0) {
        return;
    }
    SQLLEN* cell = cellFor(column, true);
    *cell = 0;
    if (type >= ResultSet::typeKelDate) {
        Conversion* c = new Conversion;
        c->column = column;
        c->type = type;
        c->target = buffer;
        c->next = _pConversions;
        _pConversions = c;
        SQLBindCol(stmt, column, cType, &c->staging, sizeof c->staging, cell);
        return;
    }
    SQLBindCol(stmt, column, cType, buffer, static_cast<SQLLEN>(size), cell);
}

SQLLEN* ColumnBindings::cell(unsigned short column) const {
    return const_cast<ColumnBindings*>(this)->cellFor(column, false);
}

bool ColumnBindings::convertRow(String& why) {
    bool fits = true;
    for (Conversion* c = _pConversions; c; c = c->next) {
        const bool isNull = *cellFor(c->column, false) == SQL_NULL_DATA;
        try {
            switch (c->type) {
            case ResultSet::typeKelDate: {
                const SQL_DATE_STRUCT& s = c->staging.date;
                *static_cast<Date*>(c->target) = isNull ? Date() : Date(s.year, s.month, s.day);
                break;
            }
            case ResultSet::typeKelTime: {
                const SQL_TIME_STRUCT& s = c->staging.time;
                *static_cast<Time*>(c->target) =
                    isNull ? Time() : Time(s.hour, s.minute, static_cast<long>(s.second));
                break;
            }
            default: {
                const SQL_TIMESTAMP_STRUCT& s = c->staging.timestamp;
                *static_cast<Timestamp*>(c->target) =
                    isNull ? Timestamp()
                           : Timestamp(s.year, s.month, s.day, s.hour, s.minute, s.second + s.fraction / 1e9);
                break;
            }
            }
        } catch (const DateTimeException&) {
            fits = false;
            why = "a date or time column holds a value outside the calendar of Kel::Date and Kel::Time";
            if (c->type == ResultSet::typeKelDate) {
                *static_cast<Date*>(c->target) = Date();
            } else if (c->type == ResultSet::typeKelTime) {
                *static_cast<Time*>(c->target) = Time();
            } else {
                *static_cast<Timestamp*>(c->target) = Timestamp();
            }
        }
    }
    return fits;
}

SQLLEN* ColumnBindings::cellFor(unsigned short column, bool create) {
    if (column == 0) {
        return nullptr;
    }
    const int index = column - 1;
    Block** link = &_pBlocks;
    for (int first = 0;; first += Block::cells) {
        if (!*link) {
            if (!create) {
                return nullptr;
            }
            *link = new Block;
        }
        if (index < first + Block::cells) {
            Block* block = *link;
            const int i = index - first;
            if (create) {
                block->bound[i] = true;
            }
            return block->bound[i] ? &block->cell[i] : nullptr;
        }
        link = &(*link)->next;
    }
}

} // namespace detail
} // namespace Kel
