#include "qirRTFReaderWriter.h"

#include <algorithm>
#include <cstring>

#include "qirAtomicFile.h"
#include "qirEditorTags.h"
#include "qirEnrichedScanner.h"

namespace {

struct qirTagAt {
    int code;
    int pos;   // text length when the tag was met
};

// Pass 1 of the enriched reader: the text, and the tags with the positions
// they act at.
class qirCodeSink : public qirEnrichedSink {
public:
    qirCodeSink(std::string& text, std::vector<qirTagAt>& codes, std::vector<std::string>& params)
        : text_(text), codes_(codes), params_(params) {}
    void Text(unsigned char c) override {
        text_.push_back(static_cast<char>(c));
        if (c == '\n')
            codes_.push_back({qirTagNewLine, Pos()});
    }
    void Tag(int code) override { codes_.push_back({code, Pos()}); }
    void Param(const std::string& p) override {
        params_.push_back(p);
        codes_.push_back({qirTagParam, Pos()});
    }

private:
    int Pos() const { return static_cast<int>(text_.size()); }
    std::string& text_;
    std::vector<qirTagAt>& codes_;
    std::vector<std::string>& params_;
};

// For one alignment tag: the index in the code list of the latest opening
// tag that brought its open count to each level.  Levels may go below 0
// after stray closing tags.
class qirLevelIndex {
public:
    void Set(int level, int index) { Slot(level) = index; }
    int Get(int level) {
        std::vector<int>& v = level >= 0 ? up_ : down_;
        size_t k = level >= 0 ? static_cast<size_t>(level) : static_cast<size_t>(-level - 1);
        return k < v.size() ? v[k] : -1;
    }

private:
    int& Slot(int level) {
        std::vector<int>& v = level >= 0 ? up_ : down_;
        size_t k = level >= 0 ? static_cast<size_t>(level) : static_cast<size_t>(-level - 1);
        if (k >= v.size())
            v.resize(k + 1, -1);
        return v[k];
    }
    std::vector<int> up_, down_;
};

bool IsParagraphStart(const std::string& text, int pos) {
    return pos <= 0 || text[pos - 1] == '\n';
}

// Buffered output that remembers the first failed write.
class qirOutput {
public:
    explicit qirOutput(FILE* f) : f_(f) { buf_.reserve(kChunk); }
    void Put(char c) {
        buf_.push_back(c);
        if (buf_.size() >= kChunk)
            Drain();
    }
    void Put(const char* s, size_t n) {
        buf_.append(s, n);
        if (buf_.size() >= kChunk)
            Drain();
    }
    void Put(const char* s) { Put(s, strlen(s)); }
    // 0 when every byte reached the file, else 1.
    int Finish() {
        Drain();
        if (fflush(f_) != 0 || ferror(f_))
            failed_ = true;
        return failed_ ? 1 : 0;
    }

private:
    static const size_t kChunk = 65536;
    void Drain() {
        if (!failed_ && !buf_.empty() && fwrite(buf_.data(), 1, buf_.size(), f_) != buf_.size())
            failed_ = true;
        buf_.clear();
    }
    FILE* f_;
    std::string buf_;
    bool failed_ = false;
};

// Tags and text of the enriched writer.  Line breaks are held back until
// something else is written, so that a run of n of them comes out as n + 1
// however many segment boundaries without tags divide it.
class qirEnrichedOut {
public:
    explicit qirEnrichedOut(qirOutput& out) : out_(out) {}
    void Tag(int code, long times = 1) {
        if (times <= 0)
            return;
        char buf[qirTagTextSize];
        if (TagText(code, buf) != 0)
            return;
        Breaks();
        for (long i = 0; i < times; ++i)
            out_.Put(buf);
    }
    void Raw(const char* s) {
        Breaks();
        out_.Put(s);
    }
    void Text(const char* s, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            char c = s[i];
            if (c == '\n') {
                ++breaks_;
                continue;
            }
            Breaks();
            if (c == '<')
                out_.Put("<<", 2);
            else
                out_.Put(c);
        }
    }
    void Breaks() {
        if (breaks_ == 0)
            return;
        for (long i = 0; i <= breaks_; ++i)
            out_.Put('\n');
        breaks_ = 0;
    }

private:
    qirOutput& out_;
    long breaks_ = 0;
};

int AlignTag(char code) {
    switch (code) {
    case qirAlignCenter: return qirTagCenter;
    case qirAlignRight: return qirTagFlushRight;
    case qirAlignBoth: return qirTagFlushBoth;
    default: return 0;   // flush left is the default and has no tag
    }
}

// The writer's open tags.  A segment's tags are the ones of its run and
// mark; rather than closing and reopening all of them at every boundary,
// only what changes is closed and opened, keeping the nesting proper.  The
// reader only counts tags, so the order of nesting does not matter to it,
// and this keeps the output linear in the document: deep indents do not
// repeat at every paragraph.
enum {
    qirSlotBigger, qirSlotSmaller, qirSlotIndent, qirSlotIndentRight, qirSlotAlign,
    qirSlotFixed, qirSlotBold, qirSlotItalic, qirSlotUnderline, qirSlotColor, qirSlotCount
};

const int qirSlotTag[qirSlotCount] = {
    qirTagBigger, qirTagSmaller, qirTagIndent, qirTagIndentRight, 0,
    qirTagFixed, qirTagBold, qirTagItalic, qirTagUnderline, qirTagColor};

struct qirTagState {
    long count[qirSlotCount] = {};
    int align = 0;                  // the alignment slot's tag
    const char* color = nullptr;    // the colour slot's name
};

class qirTagStack {
public:
    explicit qirTagStack(qirEnrichedOut& w) : w_(w) {}

    void Become(const qirTagState& want) {
        // Close from the top until nothing open is too much or different.
        while (!stack_.empty() && Violations(want)) {
            Entry& e = stack_.back();
            long n = e.count;
            if (Same(e.slot, want) && open_.count[e.slot] > want.count[e.slot] &&
                Violations(want) == 1)
                n = std::min(n, open_.count[e.slot] - want.count[e.slot]);
            Close(e.slot, n);
            e.count -= n;
            open_.count[e.slot] -= n;
            if (e.count == 0)
                stack_.pop_back();
        }
        // Open what is missing, the most repeated first so that it lies
        // below the tags that change more often.
        int order[qirSlotCount];
        for (int s = 0; s < qirSlotCount; ++s)
            order[s] = s;
        std::stable_sort(order, order + qirSlotCount, [&](int a, int b) {
            return want.count[a] - open_.count[a] > want.count[b] - open_.count[b];
        });
        for (int s : order) {
            long n = want.count[s] - open_.count[s];
            if (n <= 0)
                continue;
            if (s == qirSlotAlign)
                open_.align = want.align;
            if (s == qirSlotColor)
                open_.color = want.color;
            Open(s, n);
            open_.count[s] += n;
            if (!stack_.empty() && stack_.back().slot == s)
                stack_.back().count += n;
            else
                stack_.push_back({s, n});
        }
    }

private:
    struct Entry {
        int slot;
        long count;
    };
    bool Same(int s, const qirTagState& want) const {
        if (s == qirSlotAlign)
            return open_.align == want.align;
        if (s == qirSlotColor)
            return open_.color && want.color && strcmp(open_.color, want.color) == 0;
        return true;
    }
    int Violations(const qirTagState& want) const {
        int v = 0;
        for (int s = 0; s < qirSlotCount; ++s)
            if (open_.count[s] > 0 && (open_.count[s] > want.count[s] || !Same(s, want)))
                ++v;
        return v;
    }
    int Tag(int s) const { return s == qirSlotAlign ? open_.align : qirSlotTag[s]; }
    void Open(int s, long n) {
        if (s == qirSlotColor) {
            w_.Tag(qirTagColor);
            w_.Tag(qirTagParam);
            w_.Raw(open_.color);
            w_.Tag(qirTagParam + qirTagClose);
            return;
        }
        w_.Tag(Tag(s), n);
    }
    void Close(int s, long n) { w_.Tag(Tag(s) + qirTagClose, n); }

    qirEnrichedOut& w_;
    qirTagState open_;
    std::vector<Entry> stack_;
};

}  // namespace

int qirRTFReaderWriter::ReadEnriched(qirRTFSource& src, std::string& text,
                                     std::vector<qirRTFStyle>& runs,
                                     std::vector<qirRTFAlign>& marks) {
    std::string in;
    src.ReadAll(in);
    text.clear();
    runs.clear();
    marks.clear();
    std::vector<qirTagAt> codes;
    std::vector<std::string> params;
    {
        qirCodeSink sink(text, codes, params);
        qirScanEnriched(in.data(), in.size(), sink);
    }
    in = std::string();

    // Pass 2: counters per style, the alignment in force, a colour stack.
    // The enclosing alignment at a closing tag and whether an x-color is
    // open at a parameter are kept up to date as the codes pass by, so each
    // code costs constant time however deep the nesting.
    const qirRTFEditorColor* def = res_.DefaultColor();
    int bold = 0, italic = 0, fixed = 0, underline = 0, size = 0, left = 0, right = 0;
    char align = qirAlignLeft;
    std::vector<const qirRTFEditorColor*> colors(1, def);
    size_t param = 0;
    int colorLevel = 0, colorLow = 0;   // open x-colors, and the lowest count so far
    int alignLevel[4] = {0, 0, 0, 0};
    qirLevelIndex alignOpen[4];

    qirRTFStyle first(0);
    first.font = res_.Font(0, 0);
    first.color = def;
    runs.push_back(first);
    marks.emplace_back(qirAlignLeft, 0);

    auto setAlign = [&](int pos, char code) {
        if (code != align) {
            marks.emplace_back(code, pos);
            align = code;
        }
    };

    const size_t nc = codes.size();
    size_t i = 0;
    while (i < nc) {
        const int pos = codes[i].pos;
        for (; i < nc && codes[i].pos == pos; ++i) {
            const int code = codes[i].code;
            switch (code) {
            case qirTagBold: ++bold; break;
            case qirTagBold + qirTagClose: --bold; break;
            case qirTagItalic: ++italic; break;
            case qirTagItalic + qirTagClose: --italic; break;
            case qirTagFixed: ++fixed; break;
            case qirTagFixed + qirTagClose: --fixed; break;
            case qirTagUnderline: ++underline; break;
            case qirTagUnderline + qirTagClose: --underline; break;
            case qirTagSmaller:
            case qirTagBigger + qirTagClose: --size; break;
            case qirTagBigger:
            case qirTagSmaller + qirTagClose: ++size; break;
            case qirTagIndent: ++left; break;
            case qirTagIndent + qirTagClose: --left; break;
            case qirTagIndentRight: ++right; break;
            case qirTagIndentRight + qirTagClose: --right; break;
            case qirTagCenter:
            case qirTagFlushLeft:
            case qirTagFlushRight:
            case qirTagFlushBoth: {
                int t = code - qirTagCenter;
                alignOpen[t].Set(++alignLevel[t], static_cast<int>(i));
                setAlign(pos, static_cast<char>(code));
                break;
            }
            case qirTagCenter + qirTagClose:
            case qirTagFlushLeft + qirTagClose:
            case qirTagFlushRight + qirTagClose:
            case qirTagFlushBoth + qirTagClose: {
                // The enclosing alignment is the tag of the latest opening
                // still unmatched by the closing tags after it: the latest
                // opening that brought its tag's count to today's level.
                --alignLevel[code - qirTagClose - qirTagCenter];
                int best = -1;
                char enclosing = qirAlignLeft;
                for (int t = 0; t < 4; ++t) {
                    int j = alignOpen[t].Get(alignLevel[t]);
                    if (j > best) {
                        best = j;
                        enclosing = static_cast<char>(qirAlignCenter + t);
                    }
                }
                setAlign(pos, enclosing);
                break;
            }
            case qirTagNewLine:
                marks.emplace_back(align, pos);
                break;
            case qirTagParam:
                // An x-color is open when some later stretch of the codes
                // holds more openings than closings: the count now is above
                // its lowest value so far.
                if (param < params.size() && colorLevel > colorLow) {
                    const qirRTFEditorColor* c = res_.ColorByName(params[param].c_str());
                    colors.push_back(c ? c : def);
                }
                ++param;
                break;
            case qirTagColor:
                ++colorLevel;
                break;
            case qirTagColor + qirTagClose:
                colorLow = std::min(colorLow, --colorLevel);
                if (colors.size() > 1)
                    colors.pop_back();
                break;
            default:
                break;
            }
        }
        qirRTFStyle run(pos);
        run.left = std::max(0, left);
        run.right = std::max(0, right);
        run.size = size;
        run.bits = (italic > 0 ? qirRTFItalic : 0) | (bold > 0 ? qirRTFBold : 0) |
                   (fixed > 0 ? qirRTFFixed : 0) | (underline > 0 ? qirRTFUnderline : 0);
        run.font = res_.Font(run.bits, run.size);
        run.color = colors.back();
        runs.push_back(run);
    }
    codes = std::vector<qirTagAt>();

    // Finishing.  Of runs and marks sharing a start, the later governs.
    if (runs.size() >= 2 && runs[0].start == runs[1].start)
        runs.erase(runs.begin());
    {
        size_t w = 0;
        for (size_t k = 1; k < marks.size(); ++k) {
            if (marks[k].start == marks[w].start)
                marks[w] = marks[k];
            else
                marks[++w] = marks[k];
        }
        marks.resize(w + 1);
    }
    if (!text.empty()) {
        // A mark that changes nothing inside a paragraph goes; every other
        // mark inside a paragraph starts a new one.  One pass: the line
        // breaks are inserted while the text is copied.
        size_t w = 0;
        for (size_t k = 1; k < marks.size(); ++k) {
            if (marks[k].code == marks[w].code && !IsParagraphStart(text, marks[k].start))
                continue;
            marks[++w] = marks[k];
        }
        marks.resize(w + 1);
        // A mark right before a paragraph's own "\n" (a closing tag just
        // ahead of the line break) moves behind that "\n" rather than
        // making an empty paragraph.
        std::vector<int> breaks;   // old positions that get a "\n" before them
        const int oldLen = static_cast<int>(text.size());
        for (size_t k = 1; k < marks.size(); ++k) {
            int at = marks[k].start;
            if (IsParagraphStart(text, at))
                continue;
            if (at < oldLen && text[at] == '\n')
                marks[k].start = at + 1;
            else
                breaks.push_back(at);
        }
        w = 0;
        for (size_t k = 1; k < marks.size(); ++k) {
            if (marks[k].start == marks[w].start)
                marks[w] = marks[k];
            else
                marks[++w] = marks[k];
        }
        marks.resize(w + 1);
        if (!breaks.empty()) {
            std::string grown;
            grown.reserve(text.size() + breaks.size());
            size_t from = 0;
            for (int b : breaks) {
                grown.append(text, from, static_cast<size_t>(b) - from);
                grown.push_back('\n');
                from = static_cast<size_t>(b);
            }
            grown.append(text, from, std::string::npos);
            text.swap(grown);
            // Everything at or behind an old break position moves by the
            // number of breaks at or before it.
            auto shift = [&](int start) {
                return start + static_cast<int>(std::upper_bound(breaks.begin(), breaks.end(), start) -
                                                breaks.begin());
            };
            for (qirRTFAlign& m : marks)
                m.start = shift(m.start);
            for (qirRTFStyle& r : runs)
                r.start = shift(r.start);
        }
    }
    marks.emplace_back(marks.back().code, static_cast<int>(text.size()));

    // Runs that govern nothing, and neighbours that look the same, go: a run
    // at the end would otherwise take over the last character on insertion.
    {
        const int len = static_cast<int>(text.size());
        size_t w = 0;
        for (size_t k = 1; k < runs.size(); ++k) {
            if (runs[k].start >= len)
                break;
            if (runs[k].SameLook(runs[w]))
                continue;
            runs[++w] = runs[k];
        }
        runs.resize(w + 1);
    }
    return 0;
}

int qirRTFReaderWriter::ReadPlain(qirRTFSource& src, std::string& text,
                                  std::vector<qirRTFStyle>& runs,
                                  std::vector<qirRTFAlign>& marks) {
    text.clear();
    runs.clear();
    marks.clear();
    src.ReadAll(text);
    const int len = static_cast<int>(text.size());
    if (len > 0) {
        marks.emplace_back(qirAlignLeft, 0);
        int lineStart = 0;
        for (int k = 0; k < len; ++k) {
            if (text[k] == '\n') {
                marks.emplace_back(qirAlignLeft, lineStart);
                lineStart = k + 1;
            }
        }
        marks.emplace_back(qirAlignLeft, len);
    }
    qirRTFStyle run(0);
    run.font = res_.Font(0, 0);
    run.color = res_.DefaultColor();
    runs.push_back(run);
    return 0;
}

int qirRTFReaderWriter::Read(qirRTFSource& src, bool enriched, std::string& text,
                             std::vector<qirRTFStyle>& runs, std::vector<qirRTFAlign>& marks) {
    return enriched ? ReadEnriched(src, text, runs, marks) : ReadPlain(src, text, runs, marks);
}

int qirRTFReaderWriter::WriteEnriched(const qirRTFDocument& doc, FILE* f) {
    if (!f)
        return 1;
    qirOutput out(f);
    qirEnrichedOut w(out);
    qirTagStack tags(w);
    const std::string& text = doc.Text();
    const std::vector<qirRTFStyle>& runs = doc.Runs();
    const std::vector<qirRTFAlign>& marks = doc.Marks();
    const qirRTFEditorColor* def = res_.DefaultColor();
    const int len = doc.Length();
    const qirRTFStyle plain(0);
    size_t ri = 0, mi = 0;
    int p = 0;
    while (p < len) {
        while (ri + 1 < runs.size() && runs[ri + 1].start <= p)
            ++ri;
        while (mi + 1 < marks.size() && marks[mi + 1].start <= p)
            ++mi;
        int next = len;
        if (ri + 1 < runs.size())
            next = std::min(next, runs[ri + 1].start);
        if (mi + 1 < marks.size())
            next = std::min(next, marks[mi + 1].start);
        if (next <= p)
            next = len;   // records out of order: write the rest as one
        const qirRTFStyle& run = runs.empty() ? plain : runs[ri];
        const char* colorName = nullptr;
        if (run.color && run.color != def) {
            colorName = res_.ColorName(run.color);
            if (colorName && !*colorName)
                colorName = nullptr;
        }
        qirTagState want;
        want.count[qirSlotBigger] = std::max(0, run.size);
        want.count[qirSlotSmaller] = std::max(0, -run.size);
        want.count[qirSlotIndent] = std::max(0, run.left);
        want.count[qirSlotIndentRight] = std::max(0, run.right);
        int alignTag = marks.empty() ? 0 : AlignTag(marks[mi].code);
        want.count[qirSlotAlign] = alignTag ? 1 : 0;
        want.align = alignTag;
        want.count[qirSlotFixed] = (run.bits & qirRTFFixed) ? 1 : 0;
        want.count[qirSlotBold] = (run.bits & qirRTFBold) ? 1 : 0;
        want.count[qirSlotItalic] = (run.bits & qirRTFItalic) ? 1 : 0;
        want.count[qirSlotUnderline] = (run.bits & qirRTFUnderline) ? 1 : 0;
        want.count[qirSlotColor] = colorName ? 1 : 0;
        want.color = colorName;
        tags.Become(want);
        w.Text(text.data() + p, static_cast<size_t>(next - p));
        p = next;
    }
    tags.Become(qirTagState());
    w.Breaks();
    return out.Finish();
}

int qirRTFReaderWriter::WritePlain(const qirRTFDocument& doc, FILE* f) {
    if (!f)
        return 1;
    qirOutput out(f);
    const std::string& text = doc.Text();
    const std::vector<qirRTFLine>& lines = doc.Lines();
    const int len = doc.Length();
    // Line records of another text or width would garble the file: only a
    // current layout is followed, else the text goes out as it stands.
    if (!doc.LayoutCurrent() || lines.empty() || lines[0].start != 0) {
        out.Put(text.data(), text.size());
        return out.Finish();
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        int s = std::min(lines[i].start, len);
        int e = i + 1 < lines.size() ? std::min(lines[i + 1].start, len) : len;
        if (e <= s)
            continue;
        out.Put(text.data() + s, static_cast<size_t>(e - s));
        if (text[e - 1] != '\n')
            out.Put('\n');
    }
    return out.Finish();
}

int qirRTFReaderWriter::Write(const qirRTFDocument& doc, FILE* out, bool enriched) {
    return enriched ? WriteEnriched(doc, out) : WritePlain(doc, out);
}

int qirRTFReaderWriter::Load(qirRTFDocument& doc, qirRTFSource& src, bool enriched) {
    std::string text;
    std::vector<qirRTFStyle> runs;
    std::vector<qirRTFAlign> marks;
    doc.clear();
    Read(src, enriched, text, runs, marks);
    if (text.empty())
        text = "\n";
    if (runs.empty()) {
        qirRTFStyle style = doc.insertStyle;
        style.start = 0;
        runs.push_back(style);
    }
    doc.insert(0, text, runs, marks);
    return 0;
}

int qirRTFReaderWriter::Append(qirRTFDocument& doc, qirRTFSource& src, bool enriched) {
    std::string text;
    std::vector<qirRTFStyle> runs;
    std::vector<qirRTFAlign> marks;
    Read(src, enriched, text, runs, marks);
    if (text.empty())
        return 0;
    doc.insert(std::max(0, doc.Length() - 1), text, runs, marks);
    return 0;
}

int qirRTFReaderWriter::Save(const qirRTFDocument& doc, const char* path, bool enriched,
                             bool append) {
    if (!path || !*path)
        return 1;
    if (append) {
        FILE* f = fopen(path, "ab");
        if (!f)
            return 1;
        int rc = Write(doc, f, enriched);
        if (fclose(f) != 0)
            rc = 1;
        return rc;
    }
    qirAtomicFile file(path);
    if (file.Open() != 0)
        return 1;
    if (Write(doc, file.Stream(), enriched) != 0) {
        file.Abort();
        return 1;
    }
    return file.Commit() == 0 ? 0 : 1;
}
