// tallyrow-bench-make-jet IN.mdb OUT.mdb ROWS
//
// mdbtools cannot grow an Access file (its page allocator is a stub), so this makes a large
// Jet 4 file for the benchmark by hand: it copies IN, clones IN's Activity rows (with new day
// numbers and hours) onto new data pages appended to the file, and points the table at them
// with a new inline page-usage map and row count. Only what a table scan reads is kept right;
// the table's indexes are left as they were, so Access itself would want to repair the file.
#include <glib.h> // before mdbtools.h, which includes it inside extern "C"
#include <mdbtools.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

void put16(std::vector<unsigned char>& b, std::size_t at, unsigned v) {
    b[at] = v & 0xff;
    b[at + 1] = (v >> 8) & 0xff;
}
void put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = (v >> (8 * i)) & 0xff;
    }
}

struct Template {
    std::vector<unsigned char> bytes;
    std::vector<int> numberOffsets; // ActiveDay, H0..H23 within the row
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: tallyrow-bench-make-jet IN.mdb OUT.mdb ROWS\n");
        return 2;
    }
    const long wanted = std::atol(argv[3]);
    {
        std::ifstream in(argv[1], std::ios::binary);
        std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
        out << in.rdbuf();
    }
    MdbHandle* mdb = mdb_open(argv[2], MDB_NOFLAGS);
    if (!mdb || !IS_JET4(mdb) || mdb->f->db_key != 0) {
        std::fprintf(stderr, "need an unencoded Jet 4 file\n");
        return 1;
    }
    mdb_read_catalog(mdb, MDB_TABLE);
    MdbTableDef* table = mdb_read_table_by_name(mdb, const_cast<gchar*>("Activity"), MDB_TABLE);
    if (!table || !mdb_read_columns(table)) {
        std::fprintf(stderr, "no Activity table\n");
        return 1;
    }
    const MdbFormatConstants* fmt = mdb->fmt;
    const int pgSize = static_cast<int>(fmt->pg_size);
    const std::uint32_t tablePg = static_cast<std::uint32_t>(table->entry->table_pg);
    std::vector<int> numberColumns; // column indexes of ActiveDay, H0..H23
    for (unsigned c = 0; c < table->num_cols; ++c) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
        if (col->col_type == MDB_LONGINT) {
            numberColumns.push_back(static_cast<int>(c));
        }
    }

    // Existing data pages and rows to clone.
    std::vector<std::uint32_t> pages;
    std::vector<Template> templates;
    std::vector<MdbField> fields(table->num_cols);
    mdb_rewind_table(table);
    while (mdb_read_next_dpg(table)) {
        pages.push_back(table->cur_phys_pg);
        const int rows = mdb_get_int16(mdb->pg_buf, fmt->row_count_offset);
        for (int r = 0; r < rows; ++r) {
            int start = 0;
            size_t size = 0;
            if (mdb_find_row(mdb, r, &start, &size) != 0 || size == 0 || (start & 0xc000)) {
                continue;
            }
            start &= 0x1fff;
            mdb_crack_row(table, start, size, fields.data());
            Template t;
            bool usable = true;
            for (int c : numberColumns) {
                for (unsigned i = 0; i < table->num_cols; ++i) {
                    if (fields[i].colnum == c) {
                        usable = usable && !fields[i].is_null;
                        t.numberOffsets.push_back(fields[i].start - start);
                    }
                }
            }
            if (usable) {
                t.bytes.assign(mdb->pg_buf + start, mdb->pg_buf + start + size);
                templates.push_back(std::move(t));
            }
        }
    }
    const long existing = static_cast<long>(table->num_rows);
    mdb_close(mdb);
    if (templates.empty() || numberColumns.size() != 25) {
        std::fprintf(stderr, "unexpected table layout\n");
        return 1;
    }

    std::fstream file(argv[2], std::ios::binary | std::ios::in | std::ios::out);
    file.seekg(0, std::ios::end);
    std::uint32_t nextPage = static_cast<std::uint32_t>(file.tellg() / pgSize);
    file.seekp(static_cast<std::streamoff>(nextPage) * pgSize);

    std::uint32_t seed = 12345;
    const auto rnd = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7fff;
    };
    long added = 0;
    const long toAdd = wanted > existing ? wanted - existing : 0;
    while (added < toAdd) {
        std::vector<unsigned char> page(pgSize, 0);
        page[0] = 0x01;
        page[1] = 0x01;
        put32(&page[4], tablePg);
        int pos = pgSize;
        int count = 0;
        while (added < toAdd) {
            const Template& t = templates[static_cast<std::size_t>(added) % templates.size()];
            const int need = static_cast<int>(t.bytes.size());
            const int directoryEnd = fmt->row_count_offset + 2 + 2 * (count + 1);
            if (pos - need < directoryEnd || count >= 200) {
                break;
            }
            pos -= need;
            std::memcpy(&page[pos], t.bytes.data(), t.bytes.size());
            // A day per round through the templates, hours shuffled a little.
            put32(&page[pos + t.numberOffsets[0]],
                  static_cast<std::uint32_t>(1000 + added / long(templates.size())));
            for (std::size_t h = 1; h < t.numberOffsets.size(); ++h) {
                std::uint32_t v = 0;
                std::memcpy(&v, &page[pos + t.numberOffsets[h]], 4);
                v = v ? (v + rnd() % 600) % 3601 : 0;
                put32(&page[pos + t.numberOffsets[h]], v);
            }
            put16(page, fmt->row_count_offset + 2 + 2 * count, static_cast<unsigned>(pos));
            ++count;
            ++added;
        }
        put16(page, fmt->row_count_offset, static_cast<unsigned>(count));
        put16(page, 2, static_cast<unsigned>(pos - (fmt->row_count_offset + 2 + 2 * count)));
        file.write(reinterpret_cast<const char*>(page.data()), pgSize);
        pages.push_back(nextPage++);
    }

    // The new usage map: type 0, inline bitmap from the first data page on, in a page of its own.
    const std::uint32_t first = pages.front();
    const std::uint32_t span = pages.back() - first + 1;
    std::vector<unsigned char> map(5 + (span + 7) / 8, 0);
    put32(&map[1], first);
    for (std::uint32_t p : pages) {
        map[5 + (p - first) / 8] |= static_cast<unsigned char>(1u << ((p - first) % 8));
    }
    if (static_cast<int>(map.size()) > pgSize - fmt->row_count_offset - 8) {
        std::fprintf(stderr, "too many pages for an inline map\n");
        return 1;
    }
    std::vector<unsigned char> mapPage(pgSize, 0);
    mapPage[0] = 0x01;
    mapPage[1] = 0x01;
    const int mapAt = pgSize - static_cast<int>(map.size());
    std::memcpy(&mapPage[mapAt], map.data(), map.size());
    put16(mapPage, fmt->row_count_offset, 1);
    put16(mapPage, fmt->row_count_offset + 2, static_cast<unsigned>(mapAt));
    put16(mapPage, 2, static_cast<unsigned>(mapAt - (fmt->row_count_offset + 4)));
    const std::uint32_t mapPg = nextPage++;
    file.write(reinterpret_cast<const char*>(mapPage.data()), pgSize);

    // Point the table definition at the map and give it the new row count.
    std::vector<unsigned char> tdef(pgSize);
    file.seekg(static_cast<std::streamoff>(tablePg) * pgSize);
    file.read(reinterpret_cast<char*>(tdef.data()), pgSize);
    put32(&tdef[fmt->tab_num_rows_offset], static_cast<std::uint32_t>(existing + added));
    put32(&tdef[fmt->tab_usage_map_offset], mapPg << 8);
    file.seekp(static_cast<std::streamoff>(tablePg) * pgSize);
    file.write(reinterpret_cast<const char*>(tdef.data()), pgSize);
    std::printf("%s: %ld rows on %zu data pages\n", argv[2], existing + added, pages.size());
    return 0;
}
