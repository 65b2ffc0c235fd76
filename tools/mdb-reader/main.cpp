// tallyrow-mdb-reader FILE TABLE COLUMN...
//
// Writes the named columns of every row of TABLE in the Access file FILE to standard output in
// the stream form of datafile/MdbStream.h. Table and column names are matched without regard to
// case, as Access matches them. On failure it prints one line starting with
// "tallyrow-mdb-reader: " on standard error and exits with one of the codes of MdbStream.h.
#include "datafile/MdbStream.h"

#include <glib.h> // before mdbtools.h, which includes it inside extern "C"
#include <mdbtools.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace tallyrow;

namespace {

[[noreturn]] void fail(int code, const std::string& reason) {
    std::fflush(stdout);
    std::fprintf(stderr, "%.*s%s\n", static_cast<int>(mdbstream::kErrorPrefix.size()),
                 mdbstream::kErrorPrefix.data(), reason.c_str());
    std::exit(code);
}

class Output {
public:
    ~Output() { flush(); }
    void byte(char c) {
        m_buf.push_back(c);
        maybeFlush();
    }
    void varint(std::uint64_t v) {
        while (v >= 0x80) {
            m_buf.push_back(static_cast<char>((v & 0x7f) | 0x80));
            v >>= 7;
        }
        m_buf.push_back(static_cast<char>(v));
        maybeFlush();
    }
    void bytes(const char* p, std::size_t n) {
        varint(n);
        m_buf.append(p, n);
        maybeFlush();
    }
    void real(double d) {
        unsigned char raw[8];
        std::memcpy(raw, &d, 8); // the machines we run on are little-endian
        m_buf.append(reinterpret_cast<const char*>(raw), 8);
        maybeFlush();
    }
    void flush() {
        if (!m_buf.empty() && std::fwrite(m_buf.data(), 1, m_buf.size(), stdout) != m_buf.size()) {
            std::exit(mdbstream::Damaged); // the reading side went away; nobody to tell
        }
        m_buf.clear();
        std::fflush(stdout);
    }

private:
    void maybeFlush() {
        if (m_buf.size() >= (1u << 16)) {
            flush();
        }
    }
    std::string m_buf;
};

// Rows of a data page carry these flags in their offset entry.
constexpr int kDeletedRow = 0x4000;
constexpr int kOffsetMask = 0x1fff;

void writeValue(Output& out, MdbHandle* mdb, const MdbColumn* col, const MdbField& field) {
    const int type = col->col_type;
    if (type == MDB_BOOL) {
        // A Yes/No column keeps its value in the null bit; Access's True is -1.
        out.byte(mdbstream::Integer);
        out.varint(mdbstream::zigzag(field.is_null ? 0 : -1));
        return;
    }
    if (field.is_null) {
        out.byte(mdbstream::Null);
        return;
    }
    switch (type) {
    case MDB_BYTE:
        out.byte(mdbstream::Integer);
        out.varint(mdbstream::zigzag(mdb_get_byte(mdb->pg_buf, field.start)));
        return;
    case MDB_INT:
        out.byte(mdbstream::Integer);
        out.varint(mdbstream::zigzag(static_cast<std::int16_t>(mdb_get_int16(mdb->pg_buf, field.start))));
        return;
    case MDB_LONGINT:
        out.byte(mdbstream::Integer);
        out.varint(mdbstream::zigzag(static_cast<std::int32_t>(mdb_get_int32(mdb->pg_buf, field.start))));
        return;
    case MDB_FLOAT:
        out.byte(mdbstream::Double);
        out.real(mdb_get_single(mdb->pg_buf, field.start));
        return;
    case MDB_DOUBLE:
        out.byte(mdbstream::Double);
        out.real(mdb_get_double(mdb->pg_buf, field.start));
        return;
    default: {
        // Text, memo and everything else as libmdb renders it (UTF-8).
        char* text = mdb_col_to_string(mdb, mdb->pg_buf, field.start, type, field.siz);
        out.byte(mdbstream::Text);
        out.bytes(text ? text : "", text ? std::strlen(text) : 0);
        g_free(text);
        return;
    }
    }
}

// A damaged file must not make the reader eat the machine: bound its memory and time.
// AddressSanitizer reserves terabytes of address space up front, which a bound on the
// address space forbids; sanitized builds keep only the time limit.
void limitResources() {
#ifndef TALLYROW_SANITIZED
    const rlimit memory{rlim_t(4) << 30, rlim_t(4) << 30};
    setrlimit(RLIMIT_AS, &memory);
#endif
    const rlimit cpu{300, 300};
    setrlimit(RLIMIT_CPU, &cpu);
}

// The Access file at `path` with its list of tables read; fails on anything that is not one.
MdbHandle* openDatabase(const char* path) {
    MdbHandle* mdb = mdb_open(path, MDB_NOFLAGS);
    if (!mdb) {
        fail(mdbstream::NotADatabase, "the file is not an Access database or is damaged");
    }
    // An Access file is made of whole pages; anything else was cut short (an interrupted copy),
    // and would otherwise read as a smaller database or one without the table.
    struct stat st {};
    if (fstat(fileno(mdb->f->stream), &st) == 0 && mdb->fmt->pg_size > 0 &&
        st.st_size % mdb->fmt->pg_size != 0) {
        fail(mdbstream::Damaged, "the Access database is incomplete (the file ends part way through a page)");
    }
    if (!mdb_read_catalog(mdb, MDB_TABLE)) {
        fail(mdbstream::NotADatabase, "the list of tables of the Access database cannot be read");
    }
    return mdb;
}

// The table named `tableName` (in any case) with its columns read; fails when there is none.
MdbTableDef* openTable(MdbHandle* mdb, const char* tableName) {
    MdbCatalogEntry* entry = nullptr;
    for (unsigned int i = 0; i < mdb->num_catalog; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (e->object_type == MDB_TABLE && g_ascii_strcasecmp(e->object_name, tableName) == 0) {
            entry = e;
            break;
        }
    }
    if (!entry) {
        fail(mdbstream::NoTable, std::string("the database has no table ") + tableName);
    }
    MdbTableDef* table = mdb_read_table(entry);
    if (!table || !mdb_read_columns(table)) {
        fail(mdbstream::Damaged, std::string("the definition of the table ") + tableName + " cannot be read");
    }
    return table;
}

MdbColumn* column(const MdbTableDef* table, unsigned int index) {
    return static_cast<MdbColumn*>(g_ptr_array_index(table->columns, index));
}

// Writes the stream's header: the magic, then the table's own spelling of each of the `names`.
// Returns, per name, the index of its column in `table`; fails on a name the table lacks.
std::vector<int> writeHeader(Output& out, const MdbTableDef* table, const std::vector<const char*>& names) {
    std::vector<int> wanted;
    const std::string header(mdbstream::kMagic);
    std::fwrite(header.data(), 1, header.size(), stdout);
    out.varint(names.size());
    for (const char* name : names) {
        int found = -1;
        for (unsigned int c = 0; c < table->num_cols; ++c) {
            if (g_ascii_strcasecmp(column(table, c)->name, name) == 0) {
                found = static_cast<int>(c);
                break;
            }
        }
        if (found < 0) {
            fail(mdbstream::NoColumn,
                 std::string("the table ") + table->entry->object_name + " has no column " + name);
        }
        wanted.push_back(found);
        const MdbColumn* col = column(table, found);
        out.bytes(col->name, std::strlen(col->name));
    }
    return wanted;
}

// The fields of the row being written, by place in the row and by column; kept from row to row.
struct RowFields {
    explicit RowFields(unsigned int columns) : fields(columns), byColumn(columns) {}
    std::vector<MdbField> fields;
    std::vector<const MdbField*> byColumn;
};

// Writes the row that starts at `start` of the current page, `size` bytes long: one value per
// column of `wanted`, NULL for a column the row does not carry.
void writeRow(Output& out, MdbHandle* mdb, MdbTableDef* table, int start, std::size_t size,
              const std::vector<int>& wanted, RowFields& row) {
    std::vector<MdbField>& fields = row.fields;
    if (mdb_crack_row(table, start, size, fields.data()) < 0) {
        fail(mdbstream::Damaged,
             "a row of the table cannot be decoded (page " + std::to_string(table->cur_phys_pg) + ")");
    }
    std::vector<const MdbField*>& byColumn = row.byColumn;
    std::fill(byColumn.begin(), byColumn.end(), nullptr);
    for (unsigned int i = 0; i < table->num_cols; ++i) {
        if (fields[i].colnum >= 0 && static_cast<unsigned int>(fields[i].colnum) < table->num_cols) {
            byColumn[fields[i].colnum] = &fields[i];
        }
    }
    out.byte(mdbstream::kRow);
    for (int c : wanted) {
        if (const MdbField* f = byColumn[c]) {
            writeValue(out, mdb, column(table, c), *f);
        } else {
            out.byte(mdbstream::Null);
        }
    }
}

// Writes every live row of the table and returns how many there were. Walks the table's data
// pages itself rather than through mdb_fetch_row: its bound values cannot tell a NULL from an
// empty text, and it skips rows it cannot decode without a word.
std::uint64_t writeRows(Output& out, MdbHandle* mdb, MdbTableDef* table, const std::vector<int>& wanted) {
    RowFields row(table->num_cols);
    std::uint64_t rowCount = 0;
    mdb_rewind_table(table);
    while (mdb_read_next_dpg(table)) {
        const int rows = mdb_get_int16(mdb->pg_buf, mdb->fmt->row_count_offset);
        for (int r = 0; r < rows; ++r) {
            int start = 0;
            size_t size = 0;
            if (mdb_find_row(mdb, r, &start, &size) == -1) {
                fail(mdbstream::Damaged,
                     "a data page of the table is damaged (page " + std::to_string(table->cur_phys_pg) + ")");
            }
            if (size == 0 || (start & kDeletedRow)) {
                continue;
            }
            writeRow(out, mdb, table, start & kOffsetMask, size, wanted, row);
            ++rowCount;
        }
    }
    return rowCount;
}

// The table definition keeps its row count, and what was read must match it exactly: fewer
// rows means pages were lost (a file cut short, a broken page map), more means a page was
// read twice or rows of another state of the file were met. Neither may pass for the table.
void checkRowCount(const MdbTableDef* table, std::uint64_t rowCount) {
    if (rowCount < table->num_rows) {
        fail(mdbstream::Damaged, "the table should hold " + std::to_string(table->num_rows) +
                                     " rows but only " + std::to_string(rowCount) + " could be read");
    }
    if (rowCount > table->num_rows) {
        fail(mdbstream::Damaged, "the table should hold " + std::to_string(table->num_rows) + " rows but " +
                                     std::to_string(rowCount) +
                                     " were read (a page of the table is listed twice or damaged)");
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        fail(mdbstream::Usage, "usage: tallyrow-mdb-reader FILE TABLE COLUMN...");
    }
    limitResources();
    // Text comes out as UTF-8 whatever the caller's environment says; no debug chatter.
    unsetenv("MDB_ICONV");
    unsetenv("MDBOPTS");

    MdbHandle* mdb = openDatabase(argv[1]);
    MdbTableDef* table = openTable(mdb, argv[2]);
    Output out;
    const std::vector<int> wanted = writeHeader(out, table, std::vector<const char*>(argv + 3, argv + argc));
    const std::uint64_t rowCount = writeRows(out, mdb, table, wanted);
    checkRowCount(table, rowCount);
    out.byte(mdbstream::kEnd);
    out.varint(rowCount);
    out.flush();
    mdb_free_tabledef(table);
    mdb_close(mdb);
    return mdbstream::Ok;
}
