// Small user-interface settings remembered between sessions (the sort of
// each message list, the levels the log window shows).  A configuration
// tree rooted at "Layout"; every setting lives below its node "Menu", and
// the operations take the name below it (dots make nested nodes).
#ifndef QIR_LAYOUT_H
#define QIR_LAYOUT_H

#include "qirConfiguration.h"
#include "qirObject.h"
#include "qirPath.h"

class qirLayout : public qirObject {
public:
    // Loads the file when it exists; an unreadable or malformed file leaves
    // an empty or partly filled tree.
    explicit qirLayout(const qirPath& path);
    qirLayout(const qirLayout& other);
    qirLayout& operator=(const qirLayout& other);
    // Saves the tree to the path (a failure is logged at level 1).
    ~qirLayout() override;

    // "Yes" when the flag is not 0, else "No".
    void SetMenuFlag(const char* name, int flag);
    // The value as "%d".
    void SetMenuInt(const char* name, int value);
    // 1 when the value equals "yes" ignoring case, 0 for any other value;
    // a missing or empty value answers 1 and sets *missing to 1.  missing
    // may be null; when given it is first set to 0.
    int MenuFlag(const char* name, int* missing = nullptr) const;
    // The value read as a decimal integer; a missing value or one that is
    // not wholly a number answers 0 and sets *missing to 1.
    int MenuInt(const char* name, int* missing = nullptr) const;

    // Builds the tree again from the file.
    void Reload();
    // Replaces the file with the tree: the result of qirConfiguration::Save
    // (0, -7, -12; the old file is left as it was on failure).
    int Save() const;

    const qirPath& Path() const { return path_; }
    const qirConfiguration* Tree() const { return tree_; }

private:
    qirPath path_;
    qirConfiguration* tree_; // owned
};

#endif
