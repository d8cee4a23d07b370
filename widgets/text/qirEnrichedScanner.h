// The reading rules of the editor's text/enriched dialect, shared by the
// editor's reader and the reply-quoting converter: tag syntax, "<<" for a
// literal "<", parameters, no-fill, and the line-break rule (one line break
// is a space, n in a row stand for n - 1).
#ifndef QIR_ENRICHED_SCANNER_H
#define QIR_ENRICHED_SCANNER_H

#include <cstddef>
#include <string>

// Receives what the scan finds, in input order.
class qirEnrichedSink {
public:
    virtual ~qirEnrichedSink();
    // A byte of the text (a "\n" is a kept line break).
    virtual void Text(unsigned char c) = 0;
    // A known tag other than param and nofill, which the scan handles.
    virtual void Tag(int code) { (void)code; }
    // The text of a parameter, at its closing tag (at most paramLimit bytes).
    virtual void Param(const std::string& text) { (void)text; }
};

// Scans n bytes.  A "<" that no ">" closes is kept as a literal "<" and the
// scan goes on behind it, so nothing after it is lost.  Unbalanced closing
// param and nofill tags never drive their depths below 0.  Linear in n.
void qirScanEnriched(const char* data, size_t n, qirEnrichedSink& sink,
                     size_t paramLimit = 80);

#endif
