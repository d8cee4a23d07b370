// Converters between text/enriched and plain text for reply quoting.  They
// read the editor's dialect (its tag syntax and line-break rule) but keep
// no styles, and need no editor.
#ifndef QIR_TEXT_CONVERT_H
#define QIR_TEXT_CONVERT_H

#include <cstdio>
#include <string>

// Reads all of in (a seekable stream) as text/enriched and writes it as
// plain lines of at most width bytes (width held within 5..1000).
// 0 on success, 1 on a null stream, a failed seek or tell, or a failed write.
int enriched_to_plain(FILE* in, FILE* out, int width);

// Writes in as text/enriched: "<NoFill>", the bytes with every "<" doubled,
// "</NoFill>".  0 on success, 1 on a null stream or a failed write.
int plain_to_enriched(FILE* in, FILE* out);

// The reading pass of enriched_to_plain on a byte string: tags dropped,
// parameters skipped, line breaks folded; the result ends with "\n".
std::string qirEnrichedToText(const std::string& enriched);

#endif
