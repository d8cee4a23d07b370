#include "qirRTFDocument.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

bool IsBlank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Index of the last record with start <= pos, 0 when none or empty.
template <class T>
int Governing(const std::vector<T>& v, int pos) {
    auto it = std::upper_bound(v.begin(), v.end(), pos,
                               [](int p, const T& r) { return p < r.start; });
    return it == v.begin() ? 0 : static_cast<int>(it - v.begin()) - 1;
}

// Index of the first record with start >= pos.
template <class T>
size_t FirstAtOrAfter(const std::vector<T>& v, int pos) {
    return std::lower_bound(v.begin(), v.end(), pos,
                            [](const T& r, int p) { return r.start < p; }) - v.begin();
}

// Deleting s .. e - 1: of the records starting in s .. e only the last
// survives, moved to s; later records move down by e - s.
template <class T>
void Collapse(std::vector<T>& v, int s, int e) {
    size_t i0 = FirstAtOrAfter(v, s);
    size_t i1 = std::upper_bound(v.begin(), v.end(), e,
                                 [](int p, const T& r) { return p < r.start; }) - v.begin();
    if (i1 > i0 + 1) {
        v.erase(v.begin() + i0, v.begin() + (i1 - 1));
        i1 = i0 + 1;
    }
    if (i0 < i1)
        v[i0].start = s;
    for (size_t i = i1; i < v.size(); ++i)
        v[i].start -= e - s;
}

}  // namespace

qirRTFDocument::qirRTFDocument() {}

int qirRTFDocument::LineOf(int pos) const { return Governing(lines_, pos); }
int qirRTFDocument::RunOf(int pos) const { return Governing(runs_, pos); }
int qirRTFDocument::MarkOf(int pos) const { return Governing(marks_, pos); }

int qirRTFDocument::LineEnd(int line) const {
    if (line + 1 < static_cast<int>(lines_.size()))
        return lines_[line + 1].start;
    return Length();
}

int qirRTFDocument::ParagraphStart(int pos) const {
    if (pos <= 0)
        return 0;
    const void* nl = memrchr(text_.data(), '\n', static_cast<size_t>(pos));
    return nl ? static_cast<int>(static_cast<const char*>(nl) - text_.data()) + 1 : 0;
}

// Lines of earlier paragraphs never look past their own "\n", so an edit at
// pos can change lines only from the start of pos's paragraph on.  Answers
// false when the layout cannot be updated in place.
struct qirRTFLayoutPlan {
    bool incremental = false;
    int first = 0;      // first line index laid out again
    int from = 0;       // its start position
    size_t tail = 0;    // first old line that may be kept
};

static qirRTFLayoutPlan PlanLayout(const std::vector<qirRTFLine>& lines, int para,
                                   int length, int oldEnd, int lineOfPara) {
    qirRTFLayoutPlan plan;
    if (lines.empty())
        return plan;
    if (para >= length) {
        plan.first = static_cast<int>(lines.size());
    } else {
        plan.first = lineOfPara;
        if (lines[plan.first].start != para)
            return plan;
    }
    plan.incremental = true;
    plan.from = para;
    plan.tail = FirstAtOrAfter(lines, oldEnd);
    if (plan.tail < static_cast<size_t>(plan.first) + 1)
        plan.tail = std::min(lines.size(), static_cast<size_t>(plan.first) + 1);
    return plan;
}

void qirRTFDocument::insert(int pos, const char* text, int n,
                            const std::vector<qirRTFStyle>& runs,
                            const std::vector<qirRTFAlign>& marks) {
    if (!text || n <= 0 || runs.empty())
        return;
    const int oldLen = Length();
    pos = std::max(0, std::min(pos, oldLen));

    qirRTFLayoutPlan plan;
    if (layoutCurrent_ && CanLayout()) {
        int para = ParagraphStart(pos);
        plan = PlanLayout(lines_, para, oldLen, pos, LineOf(para));
    }

    // Runs: split the run around pos so its rest keeps the old style behind
    // the inserted text, move the later runs and put the new ones between.
    int j = RunOf(pos);
    if (!runs_.empty() && runs_[j].start < pos) {
        qirRTFStyle rest = runs_[j];
        rest.start = pos;
        runs_.insert(runs_.begin() + j + 1, rest);
        ++j;
    }
    for (qirRTFStyle& r : runs_)
        if (r.start >= pos)
            r.start += n;
    std::vector<qirRTFStyle> added(runs);
    for (qirRTFStyle& r : added)
        r.start = pos + std::max(0, std::min(r.start, n - 1));
    runs_.insert(runs_.begin() + std::min<size_t>(j, runs_.size()), added.begin(), added.end());

    if (plan.incremental)
        for (size_t i = plan.tail; i < lines_.size(); ++i)
            lines_[i].start += n;

    // Marks: the new ones go behind every mark that starts before pos, also
    // when pos is the text's end (where the old rule put them out of order).
    for (qirRTFAlign& m : marks_)
        if (m.start >= pos)
            m.start += n;
    size_t k = FirstAtOrAfter(marks_, pos);
    std::vector<qirRTFAlign> addedMarks(marks);
    for (qirRTFAlign& m : addedMarks)
        m.start = pos + std::max(0, std::min(m.start, n));
    marks_.insert(marks_.begin() + k, addedMarks.begin(), addedMarks.end());
    if (marks_.empty())
        marks_.emplace_back(qirAlignLeft, 0);

    text_.insert(static_cast<size_t>(pos), text, static_cast<size_t>(n));
    if (text_.back() != '\n') {
        text_.push_back('\n');
        marks_.emplace_back(qirAlignLeft, Length() - 1);
    }
    MergeMarks();
    MergeRuns();

    if (plan.incremental)
        RelayoutFrom(plan.first, plan.from, plan.tail, pos + n);
    else
        FullLayout();

    if (anchor != selectionEnd) {
        if (anchor >= pos)
            anchor += n;
        if (selectionEnd > pos)
            selectionEnd += n;
    }
}

void qirRTFDocument::DeleteRange(int s, int count) {
    const int len = Length();
    if (count <= 0 || s < 0 || s >= len)
        return;
    count = std::min(count, len - s);
    const int e = s + count;

    qirRTFLayoutPlan plan;
    if (layoutCurrent_ && CanLayout()) {
        int para = ParagraphStart(s);
        plan = PlanLayout(lines_, para, len, e, LineOf(para));
    }

    Collapse(marks_, s, e);
    Collapse(runs_, s, e);
    if (plan.incremental)
        for (size_t i = plan.tail; i < lines_.size(); ++i)
            lines_[i].start -= count;

    text_.erase(static_cast<size_t>(s), static_cast<size_t>(count));
    if (text_.empty()) {
        // Nothing left: one empty flush-left paragraph in the surviving run.
        text_ = "\n";
        marks_.assign(1, qirRTFAlign(qirAlignLeft, 0));
        plan.incremental = false;
    } else if (text_.back() != '\n') {
        text_.push_back('\n');
        marks_.emplace_back(qirAlignLeft, Length() - 1);
    }
    MergeMarks();
    MergeRuns();

    if (plan.incremental)
        RelayoutFrom(plan.first, plan.from, plan.tail, s);
    else
        FullLayout();

    if (cursor >= Length())
        cursor = Length() - 1;
    if (cursor < 0)
        cursor = 0;
    if (anchor != selectionEnd) {
        if (anchor >= s)
            anchor = anchor > e ? anchor - count : s;
        if (selectionEnd >= s)
            selectionEnd = selectionEnd > e ? selectionEnd - count : s;
    }
}

void qirRTFDocument::InsertChar(int pos, unsigned char c) {
    char code = marks_.empty() ? static_cast<char>(qirAlignLeft) : marks_[MarkOf(pos)].code;
    qirRTFStyle style = insertStyle;
    style.start = 0;
    std::vector<qirRTFStyle> runs(1, style);
    std::vector<qirRTFAlign> marks{qirRTFAlign(code, 0), qirRTFAlign(code, 1)};
    char byte = static_cast<char>(c);
    insert(pos, &byte, 1, runs, marks);
}

void qirRTFDocument::SetAlignment(int pos, char code) {
    // Alignment moves lines sideways but never changes where they break, so
    // the line records stay as they are.
    if (!marks_.empty())
        marks_[MarkOf(pos)].code = code;
}

void qirRTFDocument::CopyRange(int lo, int hi, std::string& text,
                               std::vector<qirRTFStyle>& runs,
                               std::vector<qirRTFAlign>& marks) const {
    const int len = Length();
    lo = std::max(0, std::min(lo, len));
    hi = std::max(0, std::min(hi, len));
    if (lo > hi)
        std::swap(lo, hi);
    text.assign(text_, static_cast<size_t>(lo), static_cast<size_t>(hi - lo));
    runs.clear();
    marks.clear();
    if (!runs_.empty()) {
        for (size_t i = RunOf(lo); i < runs_.size() && runs_[i].start < hi; ++i) {
            runs.push_back(runs_[i]);
            runs.back().start = std::max(0, runs_[i].start - lo);
        }
        if (runs.empty()) {
            runs.push_back(runs_[RunOf(lo)]);
            runs.back().start = 0;
        }
    }
    if (!marks_.empty()) {
        for (size_t i = MarkOf(lo); i < marks_.size() && marks_[i].start < hi; ++i)
            marks.emplace_back(marks_[i].code, std::max(0, marks_[i].start - lo));
        if (marks.empty())
            marks.emplace_back(marks_[MarkOf(lo)].code, 0);
    }
}

void qirRTFDocument::MergeMarks() {
    if (marks_.empty())
        return;
    const int len = Length();
    size_t w = 0;
    marks_[0].start = 0;
    for (size_t i = 1; i < marks_.size(); ++i) {
        const qirRTFAlign& m = marks_[i];
        if (m.start <= marks_[w].start || m.start > len ||
            (m.start > 0 && text_[m.start - 1] != '\n'))
            continue;
        marks_[++w] = m;
    }
    marks_.resize(w + 1);
}

void qirRTFDocument::MergeRuns() {
    if (runs_.empty())
        return;
    size_t w = 0;
    runs_[0].start = 0;
    for (size_t i = 1; i < runs_.size(); ++i) {
        const qirRTFStyle& r = runs_[i];
        if (r.start <= runs_[w].start) {
            // Same start: the later run is the one that governs.
            int start = runs_[w].start;
            runs_[w] = r;
            runs_[w].start = start;
            if (w > 0 && runs_[w].SameLook(runs_[w - 1]))
                --w;
            continue;
        }
        if (r.SameLook(runs_[w]))
            continue;
        runs_[++w] = r;
    }
    runs_.resize(w + 1);
    DropTrailingRuns();
}

void qirRTFDocument::DropTrailingRuns() {
    // A run at or behind the end governs no character.
    while (runs_.size() > 1 && runs_.back().start >= Length())
        runs_.pop_back();
}

void qirRTFDocument::clear() {
    text_.clear();
    runs_.clear();
    marks_.clear();
    lines_.clear();
    layoutCurrent_ = true;
    cursor = anchor = selectionEnd = 0;
    selecting = dragging = 0;
    firstVisible = visibleCount = 0;
}

void qirRTFDocument::ClearSelection() {
    if (!dragging)
        anchor = selectionEnd = 0;
}

void qirRTFDocument::SetMetrics(const qirRTFMetrics* metrics) {
    if (metrics != metrics_)
        layoutCurrent_ = text_.empty();
    metrics_ = metrics;
}

void qirRTFDocument::SetWidth(int width) {
    if (width != width_)
        layoutCurrent_ = text_.empty();
    width_ = width;
}

int qirRTFDocument::IndentWidth(const qirRTFStyle& run) const {
    if (!metrics_)
        return 0;
    const qirRTFFontMetrics& fm = metrics_->Metrics(run);
    long long indent = 4LL * fm.maxWidth * (static_cast<long long>(std::max(0, run.left)) +
                                            std::max(0, run.right));
    if (indent > width_ - width_ / 5)
        return 0;
    return static_cast<int>(indent);
}

int qirRTFDocument::BuildLine(int p, int end, qirRTFLine& line) const {
    const int start = p;
    int ri = RunOf(p);
    const qirRTFFontMetrics* fm = &metrics_->Metrics(runs_[ri]);
    int nextRun = ri + 1 < static_cast<int>(runs_.size()) ? runs_[ri + 1].start : INT_MAX;
    const int indent = IndentWidth(runs_[ri]);
    int width = indent, ascent = 0, descent = 0;
    const unsigned char* t = reinterpret_cast<const unsigned char*>(text_.data());

    auto step = [&](int pos) {
        while (pos >= nextRun) {
            ++ri;
            fm = &metrics_->Metrics(runs_[ri]);
            nextRun = ri + 1 < static_cast<int>(runs_.size()) ? runs_[ri + 1].start : INT_MAX;
        }
    };

    while (p < end) {
        step(p);
        unsigned char c = t[p] == '\n' ? ' ' : t[p];
        int w = fm->widths[c];
        // A line always keeps its first character, however narrow the area.
        if (width + w >= width_ && p > start) {
            int q = p;
            while (q > start && !IsBlank(t[q]))
                --q;
            int stop = (q > start && q < p) ? q + 1 : p;
            // Measure again what stays on the line.
            ri = RunOf(start);
            fm = &metrics_->Metrics(runs_[ri]);
            nextRun = ri + 1 < static_cast<int>(runs_.size()) ? runs_[ri + 1].start : INT_MAX;
            width = indent;
            ascent = descent = 0;
            for (int i = start; i < stop; ++i) {
                step(i);
                width += fm->widths[t[i] == '\n' ? ' ' : t[i]];
                ascent = std::max(ascent, fm->ascent);
                descent = std::max(descent, fm->descent);
            }
            p = stop;
            break;
        }
        width += w;
        ascent = std::max(ascent, fm->ascent);
        descent = std::max(descent, fm->descent);
        if (t[p++] == '\n')
            break;
    }
    line.start = start;
    line.width = width;
    line.ascent = ascent;
    line.descent = descent;
    line.height = ascent + descent;
    return p;
}

void qirRTFDocument::RelayoutFrom(int first, int p, size_t tail, int syncFrom) {
    std::vector<qirRTFLine> fresh;
    const int len = Length();
    size_t t = tail;
    bool met = false;
    while (p < len) {
        if (p >= syncFrom) {
            while (t < lines_.size() && lines_[t].start < p)
                ++t;
            if (t < lines_.size() && lines_[t].start == p) {
                met = true;
                break;
            }
        }
        qirRTFLine line;
        p = BuildLine(p, len, line);
        fresh.push_back(line);
    }
    if (!met)
        t = lines_.size();
    lines_.erase(lines_.begin() + first, lines_.begin() + t);
    lines_.insert(lines_.begin() + first, fresh.begin(), fresh.end());
    layoutCurrent_ = true;
}

void qirRTFDocument::FullLayout() {
    if (!CanLayout()) {
        // Records of another text would point past it: drop them.
        lines_.clear();
        layoutCurrent_ = text_.empty();
        return;
    }
    lines_.clear();
    RelayoutFrom(0, 0, 0, INT_MAX);
}

void qirRTFDocument::relayout(int from, int end) {
    if (!CanLayout())
        return;
    const int count = static_cast<int>(lines_.size());
    if (from < 0 || end < 0 || lines_.empty() || !layoutCurrent_) {
        FullLayout();
        return;
    }
    end = std::min(end, count);
    from = std::max(0, std::min(from, end));
    int p = from < count ? lines_[from].start : Length();
    int e = end < count ? lines_[end].start : Length();
    std::vector<qirRTFLine> fresh;
    while (p < e) {
        qirRTFLine line;
        p = BuildLine(p, e, line);
        fresh.push_back(line);
    }
    lines_.erase(lines_.begin() + from, lines_.begin() + end);
    lines_.insert(lines_.begin() + from, fresh.begin(), fresh.end());
}

int qirRTFDocument::LineOrigin(int line, int left, int right) const {
    if (!metrics_ || runs_.empty() || line < 0 || line >= static_cast<int>(lines_.size()))
        return left;
    const qirRTFLine& ln = lines_[line];
    const qirRTFStyle& run = runs_[RunOf(ln.start)];
    char code = marks_.empty() ? static_cast<char>(qirAlignLeft) : marks_[MarkOf(ln.start)].code;
    const qirRTFFontMetrics& fm = metrics_->Metrics(run);
    long long l = 4LL * fm.maxWidth * std::max(0, run.left);
    long long r = 4LL * fm.maxWidth * std::max(0, run.right);
    int w = right - left;
    int shift = (l + r <= w - w / 5) ? static_cast<int>(l) : 0;
    switch (code) {
    case qirAlignCenter:
        return (right + left) / 2 - ln.width / 2 + shift;
    case qirAlignRight:
        return right - ln.width + shift;
    default:
        return left + shift;
    }
}
