// Part names a hostile message may carry: paths out of the message
// directory, the directory's own files, shell syntax, dot names, nothing.
// The import tests and the window tests use the same ones.
#ifndef QIR_HOSTILE_NAMES_H
#define QIR_HOSTILE_NAMES_H

inline const char* const qirHostilePartNames[] = {"../../.profile", "/etc/passwd", "Body.PARSED",
                                                  "a;rm -rf ~|x`y`.txt", "..", ""};

#endif
