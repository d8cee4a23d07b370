// Intrusive doubly linked list of qirObject nodes and its variants.
// A node lives in at most one list at a time: the links are in the node.
#ifndef QIR_LIST_H
#define QIR_LIST_H

#include "qirObject.h"
#include "qirString.h"

class qirList : public qirObject {
public:
    qirList() : qirObject(1) {}
    // Leaves the nodes alone: owning subclasses call Remove(nullptr).
    ~qirList() override {}

    qirList* Append(qirObject* node);
    qirList* AddLast(qirObject* node) { return Append(node); }
    qirList* InsertBefore(qirObject* node, qirObject* before);
    // Detaches without deleting: 1 when the node was in the list.
    int Unlink(qirObject* node);
    // Unlinks a node the caller knows to be in this list, without the walk
    // that Unlink makes to check it: for lists of many nodes.
    void Detach(qirObject* node);
    // Unlinks and deletes the node (1, or 0 when not here); with null
    // deletes every node and answers how many.
    int Remove(qirObject* node);
    // Moves every node of other to the end of this list.
    void AppendAll(qirList* other);
    // Links the list anew as nodes[order[0]], nodes[order[1]], ...: the n
    // nodes are exactly this list's, each once, and rank[i] is the place of
    // nodes[i] in order.  The nodes are visited in the order of the array,
    // so a caller that keeps it in memory order touches memory in order.
    void Relink(qirObject* const* nodes, const int* order, const int* rank, int n);

    int Count() const;
    int Contains(const qirObject* node) const;
    qirObject* Nth(int n) const;
    int IndexOf(const qirObject* node) const;

    qirObject* First() const { return head_; }
    qirObject* Last() const { return tail_; }
    static qirObject* Next(const qirObject* node) { return node ? node->next_ : nullptr; }
    static qirObject* Prev(const qirObject* node) { return node ? node->prev_ : nullptr; }
    int IsEmpty() const { return head_ == nullptr && tail_ == nullptr; }
    int IsNotEmpty() const { return head_ != nullptr && tail_ != nullptr; }

protected:
    qirList(int classId) : qirObject(classId) {}

private:
    qirList(const qirList&) = delete;
    qirList& operator=(const qirList&) = delete;
    qirObject* tail_ = nullptr;
    qirObject* head_ = nullptr;
};

// The tail is the top of the stack. Never deletes nodes on destruction.
class qirStack : public qirList {
public:
    qirStack() {}
    explicit qirStack(qirObject* first) { Append(first); }
    qirStack* Push(qirObject* node) { Append(node); return this; }
    qirObject* Pop();
    void DropLast();
    // Exchanges the top two: 0, -1 with one node, -9 when empty.
    int Swap();
};

class qirPair : public qirObject {
public:
    qirPair() : qirObject(36) {}
    qirPair(const qirString* key, const qirString* value);
    qirPair(const char* key, const char* value);
    explicit qirPair(const qirPair* other);
    ~qirPair() override;

    // Null when the pair has none.
    qirString* Key() const { return hasKey_ ? &key_ : nullptr; }
    qirString* Value() const { return hasValue_ ? &value_ : nullptr; }
    // Replaces the value with a copy (null clears it).
    void SetValue(const qirString* value);

private:
    qirPair(const qirPair&) = delete;
    qirPair& operator=(const qirPair&) = delete;
    // Held in the pair itself: a header has many short fields.
    mutable qirString key_;
    mutable qirString value_;
    int hasKey_ = 0;
    int hasValue_ = 0;
};

// Ordered list that owns its pairs.
class qirPairList : public qirList {
public:
    qirPairList() {}
    qirPairList(const qirPairList& other);
    qirPairList& operator=(const qirPairList& other);
    ~qirPairList() override { Remove(nullptr); }

    int Add(const qirString* key, const qirString* value);
    int Add(const char* key, const char* value);
    int Append(qirPair* pair) { qirList::Append(pair); return 0; }
    qirString* Lookup(const qirString& key) const;
    qirString* Lookup(const char* key) const;
    using qirList::Remove;
    int Remove(const qirString& key);

    qirPair* First() const { return static_cast<qirPair*>(qirList::First()); }
    qirPair* Last() const { return static_cast<qirPair*>(qirList::Last()); }
    static qirPair* Next(const qirPair* p) { return static_cast<qirPair*>(qirList::Next(p)); }
    static qirPair* Prev(const qirPair* p) { return static_cast<qirPair*>(qirList::Prev(p)); }
    qirPair* Find(const qirString& key) const;
};

#endif
