// Orders the loaded messages of a folder by one of the seven sort methods
// of the message list window.  Display-free: the window re-appends its rows
// in the folder's new order afterwards.
#ifndef QIR_MSG_SORT_H
#define QIR_MSG_SORT_H

#include <vector>

class qirList;
class qirMsg;

class qirMsgSort {
public:
    // Methods, by their place in the sort menu.  Unsorted and Arrival
    // compare nothing: sorting by them keeps the present order.
    enum Method {
        ByNothing = 0,
        ByDate = 1,
        Arrival = 2,
        BySenderName = 3,
        BySenderMailbox = 4,
        BySubject = 5,
        BySize = 6,
        MethodCount = 7
    };

    // Positive when a must follow b, else 0 (also when either is null, or a
    // key is empty for the three text methods: such pairs keep their order).
    // Strings compare as bytes (strcmp).
    static int Compare(int method, qirMsg* a, qirMsg* b);

    // Reorders the list (of qirMsg) so that no message follows one it must
    // precede: stable, and a message whose key is empty stays at its place,
    // the others sorted between such places.  Each key is read once and
    // the sort is O(n log n).  An unknown method changes nothing.
    static void Sort(qirList* messages, int method);
    // The same, and into *extras what extra answers for each message, in
    // the messages' new order; read in the one walk over them that reads
    // the keys (a large folder is far bigger than the caches).
    static void Sort(qirList* messages, int method, void* (*extra)(qirMsg*), std::vector<void*>* extras);
};

#endif
