// libFuzzer harness for the report document reader: whatever the bytes, the reader either returns
// a page collection or raises an Error, and what it returns saves and reopens unchanged.
#include "output/ReportDocument.h"

#include "support/Error.h"

#include <QtEndian>

#include <cstdint>
#include <cstdlib>

using namespace tallyrow;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    // Most random bytes would stop at the length or checksum check. Unless the last byte asks
    // for the raw input, make both fields match the rest, so the payload parser gets the data.
    if (input.size() >= 20 && quint8(input.back()) != 0xFF) {
        const QByteArrayView payload = QByteArrayView(input).sliced(20);
        qToLittleEndian(quint32(payload.size()), input.data() + 12);
        qToLittleEndian(reportDocumentChecksum(payload), input.data() + 16);
    }
    try {
        const engine::PageCollection doc = parseReportDocument(input, QStringLiteral("fuzz.rdf"));
        const QByteArray saved = serializeReportDocument(doc);
        const QByteArray again =
            serializeReportDocument(parseReportDocument(saved, QStringLiteral("again.rdf")));
        if (saved != again)
            std::abort();
    } catch (const Error& e) {
        if (e.number() != kErrInvalidFileFormat || e.description().isEmpty())
            std::abort();
    }
    return 0;
}
