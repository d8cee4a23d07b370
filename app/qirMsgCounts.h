// The read, deleted and selected counters of a message list window, kept
// current as rows come, go and change, so that no change recounts the
// folder.  Each row keeps the flags it was last counted with (a Mark) and
// hands it back on every change; the counters move by the difference.
#ifndef QIR_MSG_COUNTS_H
#define QIR_MSG_COUNTS_H

class qirMsgCounts {
public:
    // What one row contributes.
    struct Mark {
        int read = 0;
        int deleted = 0;
        int selected = 0;
        int counted = 0; // 1 while the row is part of the counters
    };

    // Counts a row with the given flags (nothing when it already is).
    void Add(Mark* mark, int read, int deleted, int selected = 0);
    // Takes a counted row out (nothing when it is not counted).
    void Remove(Mark* mark);
    // The row's flags are now these: the counters follow (a row not counted
    // is left alone, so a row taken out stays out).
    void Update(Mark* mark, int read, int deleted);
    void UpdateSelected(Mark* mark, int selected);
    // Forgets every row (the caller drops the rows' marks with them).
    void Clear() { read_ = deleted_ = selected_ = rows_ = 0; }

    int Read() const { return read_; }
    int Deleted() const { return deleted_; }
    int Selected() const { return selected_; }
    int Rows() const { return rows_; }

private:
    int read_ = 0;
    int deleted_ = 0;
    int selected_ = 0;
    int rows_ = 0;
};

#endif
