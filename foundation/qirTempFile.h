// Anonymous temporary files: made with mkstemp in $TMPDIR (else /tmp) and
// unlinked at once, so nothing is left behind whatever happens.
#ifndef QIR_TEMP_FILE_H
#define QIR_TEMP_FILE_H

#include <cstdio>

// A new empty file open for update ("w+"), or null.
FILE* qirTempFile();

#endif
