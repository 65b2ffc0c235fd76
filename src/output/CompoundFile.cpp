#include "output/CompoundFile.h"

#include "support/Error.h"

#include <QtEndian>

#include <algorithm>
#include <functional>

namespace tallyrow {

namespace {

constexpr int kSector = 512;
constexpr int kMiniSector = 64;
constexpr int kMiniCutoff = 4096;
constexpr int kHeaderDifat = 109;
constexpr quint32 kFreeSect = 0xFFFFFFFFu;
constexpr quint32 kEndOfChain = 0xFFFFFFFEu;
constexpr quint32 kFatSect = 0xFFFFFFFDu;
constexpr quint32 kNoStream = 0xFFFFFFFFu;

void put16(QByteArray& b, qsizetype at, quint16 v) {
    qToLittleEndian(v, b.data() + at);
}
void put32(QByteArray& b, qsizetype at, quint32 v) {
    qToLittleEndian(v, b.data() + at);
}

int sectorsFor(qsizetype bytes, int size) {
    return int((bytes + size - 1) / size);
}

QByteArray padded(QByteArray data, int size) {
    const qsizetype rest = data.size() % size;
    if (rest)
        data.append(QByteArray(size - rest, '\0'));
    return data;
}

struct DirEntry {
    QString name;
    quint8 type = 0; // 2 stream, 5 root
    quint32 left = kNoStream, right = kNoStream, child = kNoStream;
    quint32 start = kEndOfChain;
    quint32 size = 0;
};

// Directory order: shorter names first, then by upper-cased name.
bool dirLess(const QString& a, const QString& b) {
    if (a.size() != b.size())
        return a.size() < b.size();
    return a.toUpper() < b.toUpper();
}

QByteArray encodeEntry(const DirEntry& e) {
    QByteArray b(128, '\0');
    if (e.type != 0) {
        for (qsizetype i = 0; i < e.name.size(); ++i)
            put16(b, i * 2, e.name.at(i).unicode());
        put16(b, 64, quint16((e.name.size() + 1) * 2));
    }
    b[66] = char(e.type);
    b[67] = char(1); // black: the tree below is balanced, which keeps every path equally black
    put32(b, 68, e.left);
    put32(b, 72, e.right);
    put32(b, 76, e.child);
    put32(b, 116, e.start);
    put32(b, 120, e.size);
    return b;
}

void checkStreamNames(const QVector<CompoundStream>& streams) {
    for (const CompoundStream& s : streams)
        if (s.name.isEmpty() || s.name.size() > 31)
            throw Error(ErrNo::InvalidProcedureCall,
                        QStringLiteral("The stream name '%1' does not fit a compound file.").arg(s.name),
                        QStringLiteral("compoundFile"));
}

/// The regular sectors after the header, in file order, and the chain each piece occupies.
struct SectorBody {
    QByteArray bytes;
    QVector<QPair<quint32, int>> chains; // first sector, sector count

    /// Appends `data` padded to whole sectors; returns its first sector.
    quint32 addChain(const QByteArray& data) {
        const quint32 first = quint32(bytes.size() / kSector);
        const QByteArray p = padded(data, kSector);
        bytes.append(p);
        chains.push_back({first, int(p.size() / kSector)});
        return first;
    }
    int sectorCount() const { return int(bytes.size() / kSector); }
};

struct MiniStreamLocation {
    quint32 miniFatStart = kEndOfChain;
    int miniFatSectors = 0;
};

/// Fills the stream entries of `dir` (entry 0 is the root): big streams go into `body` now, small
/// ones into the mini stream, which follows them with its mini FAT.
MiniStreamLocation placeStreams(const QVector<CompoundStream>& streams, QVector<DirEntry>& dir,
                                SectorBody& body) {
    QByteArray miniStream;
    QVector<quint32> miniFat;
    for (qsizetype i = 0; i < streams.size(); ++i) {
        DirEntry& e = dir[i + 1];
        e.name = streams[i].name;
        e.type = 2;
        e.size = quint32(streams[i].data.size());
        if (streams[i].data.isEmpty())
            continue;
        if (streams[i].data.size() >= kMiniCutoff) {
            e.start = body.addChain(streams[i].data);
        } else {
            e.start = quint32(miniStream.size() / kMiniSector);
            const int n = sectorsFor(streams[i].data.size(), kMiniSector);
            for (int k = 0; k < n; ++k)
                miniFat.push_back(k + 1 < n ? e.start + k + 1 : kEndOfChain);
            miniStream.append(padded(streams[i].data, kMiniSector));
        }
    }
    MiniStreamLocation where;
    if (miniStream.isEmpty())
        return where;
    dir[0].start = body.addChain(miniStream);
    dir[0].size = quint32(miniStream.size());
    QByteArray mf;
    for (quint32 v : miniFat) {
        mf.append(4, '\0');
        put32(mf, mf.size() - 4, v);
    }
    while (mf.size() % kSector)
        mf.append(QByteArray(4, '\xFF')); // free mini sectors
    where.miniFatStart = body.addChain(mf);
    where.miniFatSectors = int(mf.size() / kSector);
    return where;
}

/// Links the streams of `dir` as a balanced binary tree under the root; raises an Error for two
/// streams of the same name.
void linkDirectoryTree(QVector<DirEntry>& dir) {
    QVector<int> order;
    for (int i = 1; i < dir.size(); ++i)
        order.push_back(i);
    std::sort(order.begin(), order.end(), [&](int a, int b) { return dirLess(dir[a].name, dir[b].name); });
    for (int i = 1; i < order.size(); ++i)
        if (!dirLess(dir[order[i - 1]].name, dir[order[i]].name))
            throw Error(ErrNo::InvalidProcedureCall,
                        QStringLiteral("Two streams are named '%1'.").arg(dir[order[i]].name),
                        QStringLiteral("compoundFile"));
    std::function<quint32(int, int)> build = [&](int lo, int hi) -> quint32 {
        if (lo >= hi)
            return kNoStream;
        const int mid = (lo + hi) / 2;
        DirEntry& e = dir[order[mid]];
        e.left = build(lo, mid);
        e.right = build(mid + 1, hi);
        return quint32(order[mid]);
    };
    dir[0].child = build(0, int(order.size()));
}

QByteArray encodeDirectory(const QVector<DirEntry>& dir) {
    QByteArray bytes;
    for (const DirEntry& e : dir)
        bytes.append(encodeEntry(e));
    while (bytes.size() % kSector)
        bytes.append(encodeEntry(DirEntry{}));
    return bytes;
}

/// The FAT for `body`, placed right after it; its own sectors are listed in it too.
QVector<quint32> buildFat(const SectorBody& body) {
    const int contentSectors = body.sectorCount();
    int fatSectors = 1;
    while (fatSectors * (kSector / 4) < contentSectors + fatSectors)
        ++fatSectors;
    if (fatSectors > kHeaderDifat)
        throw Error(ErrNo::Overflow, QStringLiteral("The spreadsheet is too large for its file format."),
                    QStringLiteral("compoundFile"));
    QVector<quint32> fat(qsizetype(fatSectors) * (kSector / 4), kFreeSect);
    for (const auto& [first, count] : body.chains)
        for (int k = 0; k < count; ++k)
            fat[first + k] = k + 1 < count ? first + k + 1 : kEndOfChain;
    for (int k = 0; k < fatSectors; ++k)
        fat[contentSectors + k] = kFatSect;
    return fat;
}

QByteArray encodeHeader(int contentSectors, int fatSectors, quint32 dirStart,
                        const MiniStreamLocation& mini) {
    QByteArray header(kSector, '\0');
    static const char signature[8] = {'\xD0', '\xCF', '\x11', '\xE0', '\xA1', '\xB1', '\x1A', '\xE1'};
    std::copy(signature, signature + 8, header.begin());
    put16(header, 24, 0x003E); // minor version
    put16(header, 26, 0x0003); // major version 3: 512-byte sectors
    put16(header, 28, 0xFFFE); // little-endian
    put16(header, 30, 9);      // sector shift
    put16(header, 32, 6);      // mini sector shift
    put32(header, 44, quint32(fatSectors));
    put32(header, 48, dirStart);
    put32(header, 56, kMiniCutoff);
    put32(header, 60, mini.miniFatStart);
    put32(header, 64, quint32(mini.miniFatSectors));
    put32(header, 68, kEndOfChain); // no DIFAT sectors
    for (int k = 0; k < kHeaderDifat; ++k)
        put32(header, 76 + 4 * k, k < fatSectors ? quint32(contentSectors + k) : kFreeSect);
    return header;
}

} // namespace

QByteArray compoundFile(const QVector<CompoundStream>& streams) {
    checkStreamNames(streams);
    QVector<DirEntry> dir(streams.size() + 1);
    dir[0].name = QStringLiteral("Root Entry");
    dir[0].type = 5;

    // Regular sectors, in file order: big streams, the mini stream, the mini FAT, the directory.
    SectorBody body;
    const MiniStreamLocation mini = placeStreams(streams, dir, body);
    linkDirectoryTree(dir);
    const quint32 dirStart = body.addChain(encodeDirectory(dir));

    // FAT sectors follow.
    const QVector<quint32> fat = buildFat(body);
    const int fatSectors = int(fat.size() / (kSector / 4));
    const QByteArray header = encodeHeader(body.sectorCount(), fatSectors, dirStart, mini);

    QByteArray out = header;
    out.reserve(header.size() + body.bytes.size() + fat.size() * 4);
    out.append(body.bytes);
    for (quint32 v : fat) {
        out.append(4, '\0');
        put32(out, out.size() - 4, v);
    }
    return out;
}

} // namespace tallyrow
