#include "qirMsgSort.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "qirAddress.h"
#include "qirFolder.h"
#include "qirList.h"
#include "qirMsg.h"

namespace {

const char* Text(const qirString* s) { return s && s->Data() ? s->Data() : ""; }

// The text key of a message for the three text methods; "" when missing.
// The pointer stays good while the message is not changed.
const char* TextKey(int method, qirMsg* m)
{
    if (method == qirMsgSort::BySubject) return Text(m->Subject());
    const qirAddress* a = m->From() ? static_cast<const qirAddress*>(m->From()->First()) : nullptr;
    if (!a) return "";
    return method == qirMsgSort::BySenderName ? a->FullNameText() : a->MailboxText();
}

int IsTextMethod(int method)
{
    return method == qirMsgSort::BySenderName || method == qirMsgSort::BySenderMailbox || method == qirMsgSort::BySubject;
}

// Kept small: a large folder's entries are sorted in the caches.
struct Entry {
    // Dates and sizes as they are; a text as its first eight bytes in
    // order (most comparisons end there) and its place in the key buffer.
    unsigned long long number;
    unsigned text;
    int place; // in the list's present order
    int index; // of the message as it was read
    int empty;
};

unsigned long long Prefix(const char* s)
{
    unsigned long long v = 0;
    for (int i = 0; i < 8; i++) {
        v <<= 8;
        if (*s) v |= (unsigned char)*s++;
    }
    return v;
}

} // namespace

int qirMsgSort::Compare(int method, qirMsg* a, qirMsg* b)
{
    if (!a || !b) return 0;
    switch (method) {
    case ByDate: return a->Date() > b->Date() ? 1 : 0;
    case BySize: return a->Size() > b->Size() ? 1 : 0;
    case BySenderName:
    case BySenderMailbox:
    case BySubject: {
        const char* ka = TextKey(method, a);
        const char* kb = TextKey(method, b);
        if (!*ka || !*kb) return 0;
        return strcmp(ka, kb) > 0 ? 1 : 0;
    }
    default: return 0;
    }
}

void qirMsgSort::Sort(qirList* messages, int method) { Sort(messages, method, nullptr, nullptr); }

void qirMsgSort::Sort(qirList* messages, int method, void* (*extra)(qirMsg*), std::vector<void*>* extras)
{
    if (extras) extras->clear();
    if (!messages) return;
    int sorts = method == ByDate || method == BySize || IsTextMethod(method);

    // One walk reads every key.  A large folder is far bigger than the
    // caches: a loaded folder is read in the order its messages lie in
    // memory (each with its place in the list) and linked anew in that
    // order, the texts are copied together, where the comparisons find
    // them, and dates and sizes (which may be negative) are offset to
    // compare as unsigned numbers.
    qirFolder* folder = dynamic_cast<qirFolder*>(messages);
    const int inMemoryOrder = folder && folder->IsLoaded();
    std::vector<qirMsg*> read;
    std::vector<void*> extraOf;
    std::vector<Entry> entries;
    std::string keys;
    auto add = [&](qirMsg* m, int place) {
        Entry e{0, 0, place, (int)read.size(), 0};
        read.push_back(m);
        if (extra) extraOf.push_back(extra(m));
        if (method == ByDate) {
            e.number = (unsigned long long)(long long)m->Date() ^ (1ull << 63);
        } else if (method == BySize) {
            e.number = (unsigned long long)(long long)m->Size() ^ (1ull << 63);
        } else if (sorts) {
            const char* text = TextKey(method, m);
            e.number = Prefix(text);
            e.text = (unsigned)keys.size();
            e.empty = !*text;
            keys.append(text).push_back('\0');
        }
        entries.push_back(e);
    };
    if (inMemoryOrder) {
        const std::vector<qirMsg*>& loaded = folder->LoadedMessages();
        const std::vector<int>& places = folder->ListPlaces();
        read.reserve(loaded.size());
        entries.reserve(loaded.size());
        for (size_t i = 0; i < loaded.size(); ++i) add(loaded[i], places[i]);
        // The list's present order, which equal keys keep.
        std::sort(entries.begin(), entries.end(), [](const Entry& x, const Entry& y) { return x.place < y.place; });
    } else {
        for (qirObject* o = messages->First(); o; o = qirList::Next(o)) add(static_cast<qirMsg*>(o), 0);
    }
    if (sorts && entries.size() > 1) {
        const char* base = keys.data();
        auto byNumber = [](const Entry& x, const Entry& y) { return x.number < y.number; };
        auto byText = [base](const Entry& x, const Entry& y) {
            if (x.number != y.number) return x.number < y.number;
            return strcmp(base + x.text, base + y.text) < 0;
        };
        if (!IsTextMethod(method)) {
            std::stable_sort(entries.begin(), entries.end(), byNumber);
        } else {
            // A message without the key compares with nothing, so nothing
            // moves across it: sort each run between two such messages on
            // its own.
            auto begin = entries.begin();
            while (begin != entries.end()) {
                auto end = std::find_if(begin, entries.end(), [](const Entry& e) { return e.empty; });
                std::stable_sort(begin, end, byText);
                begin = end == entries.end() ? end : end + 1;
            }
        }
        if (inMemoryOrder) {
            std::vector<int> order;
            order.reserve(entries.size());
            for (const Entry& e : entries) order.push_back(e.index);
            folder->Reorder(order);
        } else {
            // Every node is linked anew: the list lets go of the old chain
            // at once (its holder forgets it without touching a node) and
            // each node is appended in its new place, one step each.
            {
                qirList old;
                old.AppendAll(messages);
            }
            for (const Entry& e : entries) messages->Append(read[e.index]);
        }
    }
    if (extras && extra)
        for (const Entry& e : entries) extras->push_back(extraOf[e.index]);
}
