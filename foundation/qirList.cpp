#include "qirList.h"

#include "qirString.h"

qirList* qirList::Append(qirObject* node)
{
    if (!node) return this;
    node->next_ = nullptr;
    node->prev_ = tail_;
    if (tail_)
        tail_->next_ = node;
    else
        head_ = node;
    tail_ = node;
    return this;
}

qirList* qirList::InsertBefore(qirObject* node, qirObject* before)
{
    if (!node) return this;
    if (!before || before == head_) {
        node->prev_ = nullptr;
        node->next_ = head_;
        if (head_)
            head_->prev_ = node;
        else
            tail_ = node;
        head_ = node;
        return this;
    }
    node->prev_ = before->prev_;
    node->next_ = before;
    if (before->prev_) before->prev_->next_ = node;
    before->prev_ = node;
    return this;
}

int qirList::Unlink(qirObject* node)
{
    // The ends need no walk: a list is most often emptied from one of them.
    if (!node || IsEmpty() || (node != head_ && node != tail_ && !Contains(node))) return 0;
    Detach(node);
    return 1;
}

void qirList::Detach(qirObject* node)
{
    if (!node) return;
    if (node->prev_)
        node->prev_->next_ = node->next_;
    else
        head_ = node->next_;
    if (node->next_)
        node->next_->prev_ = node->prev_;
    else
        tail_ = node->prev_;
    node->next_ = node->prev_ = nullptr;
}

int qirList::Remove(qirObject* node)
{
    if (node) {
        if (!Unlink(node)) return 0;
        delete node;
        return 1;
    }
    int n = 0;
    qirObject* p = head_;
    head_ = tail_ = nullptr;
    while (p) {
        qirObject* next = p->next_;
        p->next_ = p->prev_ = nullptr;
        delete p;
        ++n;
        p = next;
    }
    return n;
}

void qirList::AppendAll(qirList* other)
{
    if (!other || other == this || other->IsEmpty()) return;
    if (tail_) {
        tail_->next_ = other->head_;
        other->head_->prev_ = tail_;
    } else {
        head_ = other->head_;
    }
    tail_ = other->tail_;
    other->head_ = other->tail_ = nullptr;
}

void qirList::Relink(qirObject* const* nodes, const int* order, const int* rank, int n)
{
    head_ = n > 0 ? nodes[order[0]] : nullptr;
    tail_ = n > 0 ? nodes[order[n - 1]] : nullptr;
    for (int i = 0; i < n; ++i) {
        int k = rank[i];
        nodes[i]->prev_ = k > 0 ? nodes[order[k - 1]] : nullptr;
        nodes[i]->next_ = k + 1 < n ? nodes[order[k + 1]] : nullptr;
    }
}

int qirList::Count() const
{
    int n = 0;
    for (qirObject* p = head_; p; p = p->next_) ++n;
    return n;
}

int qirList::Contains(const qirObject* node) const
{
    if (!node) return 0;
    for (qirObject* p = head_; p; p = p->next_)
        if (p == node) return 1;
    return 0;
}

qirObject* qirList::Nth(int n) const
{
    if (n < 0) return nullptr;
    qirObject* p = head_;
    while (p && n-- > 0) p = p->next_;
    return p;
}

int qirList::IndexOf(const qirObject* node) const
{
    if (!node) return -1;
    int n = 0;
    for (qirObject* p = node->prev_; p; p = p->prev_) ++n;
    return n;
}

qirObject* qirStack::Pop()
{
    qirObject* top = Last();
    if (top) Unlink(top);
    return top;
}

void qirStack::DropLast()
{
    qirObject* top = Last();
    if (top) Remove(top);
}

int qirStack::Swap()
{
    qirObject* top = Last();
    if (!top) return -9;
    qirObject* below = Prev(top);
    if (!below) return -1;
    Unlink(top);
    InsertBefore(top, below);
    return 0;
}

qirPair::qirPair(const qirString* key, const qirString* value) : qirObject(36)
{
    if (key) key_ = *key;
    if (value) value_ = *value;
    hasKey_ = key != nullptr;
    hasValue_ = value != nullptr;
}

qirPair::qirPair(const char* key, const char* value) : qirObject(36), key_(key), value_(value)
{
    hasKey_ = key != nullptr;
    hasValue_ = value != nullptr;
}

qirPair::qirPair(const qirPair* other) : qirObject(36)
{
    if (!other) return;
    key_ = other->key_;
    value_ = other->value_;
    hasKey_ = other->hasKey_;
    hasValue_ = other->hasValue_;
}

qirPair::~qirPair() {}

void qirPair::SetValue(const qirString* value)
{
    if (value == &value_) return;
    if (value) value_ = *value;
    else value_ = qirString();
    hasValue_ = value != nullptr;
}

qirPairList::qirPairList(const qirPairList& other) : qirList()
{
    for (qirPair* p = other.First(); p; p = Next(p)) qirList::Append(new qirPair(p));
}

qirPairList& qirPairList::operator=(const qirPairList& other)
{
    if (this == &other) return *this;
    Remove(nullptr);
    for (qirPair* p = other.First(); p; p = Next(p)) qirList::Append(new qirPair(p));
    return *this;
}

int qirPairList::Add(const qirString* key, const qirString* value)
{
    qirList::Append(new qirPair(key, value));
    return 0;
}

int qirPairList::Add(const char* key, const char* value)
{
    qirList::Append(new qirPair(key, value));
    return 0;
}

qirPair* qirPairList::Find(const qirString& key) const
{
    for (qirPair* p = First(); p; p = Next(p))
        if (p->Key() ? *p->Key() == key : key.Text() == nullptr) return p;
    return nullptr;
}

qirString* qirPairList::Lookup(const qirString& key) const
{
    qirPair* p = Find(key);
    return p ? p->Value() : nullptr;
}

qirString* qirPairList::Lookup(const char* key) const { return Lookup(qirString(key)); }

int qirPairList::Remove(const qirString& key)
{
    qirPair* p = Find(key);
    if (!p) return -3;
    qirList::Remove(p);
    return 0;
}
