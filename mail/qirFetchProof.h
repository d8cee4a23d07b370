// What proves that a message met at a mail source is the one a fetch
// stored before under the same identifier.
#ifndef QIR_FETCH_PROOF_H
#define QIR_FETCH_PROOF_H

#include <cstdint>
#include <string>

// What a fetch knew of a message when it stored it: its size (the size the
// POP3 server listed, or the letter's length in the mailbox) and, once its
// text was read, a digest of that text.  size -1: nothing known, as for the
// entries of histories written before proofs were kept.
struct qirFetchProof {
    long long size = -1;
    uint64_t digest = 0;
    int hasDigest = 0;

    int Known() const { return size >= 0; }
    // "L<size>" and, with a digest, " D<16 hex digits>"; "" when unknown.
    std::string Text() const;
    // Reads exactly that form: 1, or 0 (and the proof unknown) for anything else.
    int Parse(const char* text);
};

#endif
