#include "qirMsgSort.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "qirAddress.h"
#include "qirList.h"
#include "qirMsg.h"

namespace {

const qirAddress* FirstFrom(const qirMsg* m)
{
    return m->From() ? static_cast<const qirAddress*>(m->From()->First()) : nullptr;
}

// The text key of a message for the three text methods; "" when missing.
std::string TextKey(int method, qirMsg* m)
{
    if (method == qirMsgSort::BySubject) {
        const qirString* s = m->Subject();
        return s && s->Data() ? s->Data() : "";
    }
    const qirAddress* a = FirstFrom(m);
    if (!a) return "";
    qirString s = method == qirMsgSort::BySenderName ? a->FullName() : a->Mailbox();
    return s.Data() ? s.Data() : "";
}

int IsTextMethod(int method)
{
    return method == qirMsgSort::BySenderName || method == qirMsgSort::BySenderMailbox || method == qirMsgSort::BySubject;
}

struct Entry {
    qirMsg* message;
    std::string text;
    long long number; // date or size
};

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
        std::string ka = TextKey(method, a), kb = TextKey(method, b);
        if (ka.empty() || kb.empty()) return 0;
        return strcmp(ka.c_str(), kb.c_str()) > 0 ? 1 : 0;
    }
    default: return 0;
    }
}

void qirMsgSort::Sort(qirList* messages, int method)
{
    if (!messages) return;
    if (method != ByDate && method != BySize && !IsTextMethod(method)) return;

    std::vector<Entry> entries;
    for (qirObject* o = messages->First(); o; o = qirList::Next(o)) {
        qirMsg* m = static_cast<qirMsg*>(o);
        Entry e{m, std::string(), 0};
        if (method == ByDate) e.number = (long long)m->Date();
        else if (method == BySize) e.number = m->Size();
        else e.text = TextKey(method, m);
        entries.push_back(std::move(e));
    }
    if (entries.size() < 2) return;

    auto byNumber = [](const Entry& x, const Entry& y) { return x.number < y.number; };
    auto byText = [](const Entry& x, const Entry& y) { return strcmp(x.text.c_str(), y.text.c_str()) < 0; };
    if (!IsTextMethod(method)) {
        std::stable_sort(entries.begin(), entries.end(), byNumber);
    } else {
        // A message without the key compares with nothing, so nothing moves
        // across it: sort each run between two such messages on its own.
        auto begin = entries.begin();
        while (begin != entries.end()) {
            auto end = std::find_if(begin, entries.end(), [](const Entry& e) { return e.text.empty(); });
            std::stable_sort(begin, end, byText);
            begin = end == entries.end() ? end : end + 1;
        }
    }

    // Taken off from the head, where finding the node is one step.
    while (qirObject* o = messages->First()) messages->Unlink(o);
    for (const Entry& e : entries) messages->Append(e.message);
}
