// The editor's readers and writers: its text/enriched dialect and plain
// text, between a qirRTFSource or FILE and a document.  Display-free: fonts
// and colours come from a qirRTFResources, so the editor glyph only hands
// over its tables.
#ifndef QIR_RTF_READER_WRITER_H
#define QIR_RTF_READER_WRITER_H

#include <cstdio>
#include <string>
#include <vector>

#include "qirRTFDocument.h"
#include "qirRTFResources.h"
#include "qirRTFSource.h"
#include "qirRTFStyle.h"

class qirRTFReaderWriter {
public:
    // The resources are not owned and must outlive the reader-writer.
    explicit qirRTFReaderWriter(qirRTFResources& resources) : res_(resources) {}

    // Reads the source to its end as text/enriched into the three lists,
    // which are replaced.  Runs never start at or behind the text's end
    // (except the one run of an empty text); every run has a font and a
    // colour; marks start at paragraph starts, the last at the text length.
    // Time and memory are linear in the input.  Always 0.
    int ReadEnriched(qirRTFSource& src, std::string& text, std::vector<qirRTFStyle>& runs,
                     std::vector<qirRTFAlign>& marks);
    // Reads the source as plain text: the bytes unchanged, one plain run,
    // flush-left marks.  Always 0.
    int ReadPlain(qirRTFSource& src, std::string& text, std::vector<qirRTFStyle>& runs,
                  std::vector<qirRTFAlign>& marks);

    // Writes the document as text/enriched: 0, or 1 for a null stream or
    // when a write or the flush fails.  The stream stays open.
    int WriteEnriched(const qirRTFDocument& doc, FILE* out);
    // Writes the lines as laid out, a hard break behind each wrapped line;
    // when the layout is missing or stale, the text itself.  0, or 1 as
    // WriteEnriched.
    int WritePlain(const qirRTFDocument& doc, FILE* out);

    // The panel's file work, display-free.  Load clears the document and
    // replaces it by what the source holds ("\n" when it holds nothing).
    // Append reads the source and inserts it before the final newline.
    // Both answer 0.
    int Load(qirRTFDocument& doc, qirRTFSource& src, bool enriched);
    int Append(qirRTFDocument& doc, qirRTFSource& src, bool enriched);
    // Writes the document to path: replaced through a temporary file and a
    // rename (the old file stays intact on any failure), or appended to
    // when append is set.  0, or 1 for a null path or any failed open,
    // write, close or rename.
    int Save(const qirRTFDocument& doc, const char* path, bool enriched, bool append);

private:
    int Read(qirRTFSource& src, bool enriched, std::string& text,
             std::vector<qirRTFStyle>& runs, std::vector<qirRTFAlign>& marks);
    int Write(const qirRTFDocument& doc, FILE* out, bool enriched);

    qirRTFResources& res_;
};

#endif
