// What the windows of a program run with the drawlog shim (drawlog.c) show,
// rebuilt from the shim's log: the texts each drawable holds now.  A text
// is placed at its baseline origin, a fill takes away the texts whose
// origin it covers, and a copy carries the texts of its source rectangle
// over those of its destination, so a window holds what its back buffer
// held when it was last copied.
#ifndef QIR_DRAW_LOG_H
#define QIR_DRAW_LOG_H

#include <map>
#include <set>
#include <string>
#include <vector>

// The words drawn on one baseline of a drawable, left to right, joined by
// single blanks: InterViews ends a string at each blank, so one label
// comes as one string per word.
struct qirDrawnLine {
    int x, y; // origin of its first word
    std::string text;
};

class qirDrawLog {
public:
    explicit qirDrawLog(std::string path) : path_(std::move(path)) {}

    // Reads what has been logged since the last call (whole lines only).
    void Update();
    // The lines a drawable holds now, top to bottom; none for a drawable
    // the program never drew into or copied to.
    std::vector<qirDrawnLine> Lines(unsigned long drawable) const;
    // The same texts one by one, as they were drawn (a word each), in the
    // same order: where a word stands, to point at it.
    std::vector<qirDrawnLine> Words(unsigned long drawable) const;
    // 1 when something was ever copied to the drawable.
    int CopiedTo(unsigned long drawable) const { return copiedTo_.count(drawable) != 0; }

private:
    struct Text {
        int x, y;
        std::string text;
    };
    void Apply(const std::string& line);

    std::string path_;
    long offset_ = 0;
    std::map<unsigned long, std::vector<Text>> texts_;
    std::set<unsigned long> copiedTo_;
};

#endif
