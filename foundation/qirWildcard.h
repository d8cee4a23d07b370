// Shell-style pattern: "*" any run (empty included), "?" one character,
// everything else itself. No classes, no escapes. Anchored at both ends.
#ifndef QIR_WILDCARD_H
#define QIR_WILDCARD_H

#include "qirObject.h"
#include "qirString.h"

class qirWildcard : public qirObject {
public:
    // Empty pattern, case ignored.
    qirWildcard();
    qirWildcard(const qirWildcard& other);
    qirWildcard(qirString pattern, int caseSensitive);
    qirWildcard(const char* pattern, int caseSensitive);
    ~qirWildcard() override;

    qirWildcard& operator=(const qirWildcard& other) { Assign(other); return *this; }

    void Set(qirString pattern, int caseSensitive);
    void Set(const char* pattern, int caseSensitive);
    void Assign(const qirWildcard& other);

    // 1 when the whole text matches; a null text counts as "".
    int Match(const char* text) const;
    int Match(qirString text) const { return Match(text.Text()); }

    int IsValid() const { return 1; }
    int IsCaseSensitive() const { return caseSensitive_; }
    qirString Pattern() const { return pattern_; }

    // The matcher itself, for callers holding raw strings.
    static int Match(const char* pattern, const char* text, int caseSensitive);

private:
    qirString pattern_;
    int caseSensitive_ = 0;
};

#endif
