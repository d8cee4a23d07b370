// The editor's enriched reader and writer and the quoting converter: any
// input loads without a fault, what was loaded writes and reads back to the
// same output, and plain text comes back byte for byte.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "qirRTFReaderWriter.h"
#include "qirTextConvert.h"

static std::string Written(qirRTFReaderWriter& rw, const qirRTFDocument& doc, bool enriched)
{
    char* buf = nullptr;
    size_t len = 0;
    FILE* f = open_memstream(&buf, &len);
    int rc = enriched ? rw.WriteEnriched(doc, f) : rw.WritePlain(doc, f);
    fclose(f);
    std::string s(buf, len);
    free(buf);
    if (rc != 0) abort();
    return s;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    const char* in = reinterpret_cast<const char*>(data);
    qirRTFStubResources res;
    qirRTFReaderWriter rw(res);

    qirRTFDocument doc;
    qirRTFSource src(in, size);
    rw.Load(doc, src, true);
    std::string once = Written(rw, doc, true);
    qirRTFDocument again;
    qirRTFSource back(once.data(), once.size());
    rw.Load(again, back, true);
    if (again.Text() != doc.Text()) abort();
    if (Written(rw, again, true) != once) abort();

    qirRTFDocument plain;
    qirRTFSource raw(in, size);
    rw.Load(plain, raw, false);
    std::string expect(in, size);
    if (expect.empty() || expect.back() != '\n') expect += '\n';
    if (Written(rw, plain, false) != expect) abort();

    qirEnrichedToText(std::string(in, size));
    return 0;
}
