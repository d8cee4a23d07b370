#include "qirConfiguration.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <unistd.h>
#include <vector>

#include "qirAtomicFile.h"
#include "qirSyncBatch.h"
#include "qirStatus.h"
#include "qirUtilities.h"

qirConfigTokenizer qirTokenizerState;
qirConfiguration qirConfig;

// Deeper nesting than this is not something the system writes; refusing it
// keeps the recursive walks (write, copy, merge, delete) on a bounded stack.
enum { qirConfigMaxDepth = 1000 };

// ---------------------------------------------------------------- value list

qirStringList::qirStringList(const qirStringList& other) : qirList()
{
    for (qirString* s = other.First(); s; s = Next(s)) qirList::Append(new qirString(*s));
}

qirString qirStringList::Get(int index) const
{
    qirString* s = static_cast<qirString*>(Nth(index));
    return s ? qirString(*s) : qirString();
}

int qirStringList::Set(const qirString& value, int index)
{
    if (index < 0) return qirBadValue;
    qirString* p = First();
    for (int i = 0; i < index; ++i) {
        if (!p) {
            qirList::Append(new qirString());
        } else {
            p = Next(p);
        }
    }
    if (p)
        *p = value;
    else
        qirList::Append(new qirString(value));
    return qirOK;
}

void qirStringList::Overlay(std::vector<qirString>& values)
{
    qirString* p = First();
    for (qirString& v : values) {
        if (p) {
            *p = std::move(v);
            p = Next(p);
        } else {
            qirList::Append(new qirString(std::move(v)));
        }
    }
}

// ----------------------------------------------------------------- tokenizer

int qirConfigTokenizer::Open(const char* path)
{
    if (open_) return qirAlreadyOpen;
    if (!path) return qirCannotOpen;
    if (qirReadWholeFile(path, &text_) != qirOK) return qirCannotOpen;
    open_ = 1;
    at_ = 0;
    needLine_ = 1;
    count_ = 0;
    cursor_ = 0;
    return qirOK;
}

int qirConfigTokenizer::Open(FILE* stream)
{
    if (open_) return qirAlreadyOpen;
    if (!stream) return qirCannotOpen;
    stream_ = stream;
    open_ = 1;
    needLine_ = 1;
    count_ = 0;
    cursor_ = 0;
    return qirOK;
}

void qirConfigTokenizer::Close()
{
    stream_ = nullptr;
    open_ = 0;
    needLine_ = 1;
    count_ = 0;
    cursor_ = 0;
    line_ = "";
    lineLength_ = 0;
    // The usual small files keep their buffers for the next load.
    const size_t keep = 1 << 16;
    text_.clear();
    if (text_.capacity() > keep) text_.shrink_to_fit();
    held_.clear();
    if (held_.capacity() > keep) held_.shrink_to_fit();
    if (rawSize_ > keep) {
        free(raw_);
        raw_ = nullptr;
        rawSize_ = 0;
    }
    if (tokens_.size() > 64) tokens_.clear();
    for (Token& t : tokens_)
        if (t.text.capacity() > keep) std::string().swap(t.text);
}

int qirConfigTokenizer::ReadPhysicalLine()
{
    const char* text;
    size_t n;
    int ended;
    if (stream_) {
        // Any length: a long value must not come back as a second line.
        ssize_t got = getline(&raw_, &rawSize_, stream_);
        if (got < 0) {
            lineLength_ = 0;
            return -1;
        }
        text = raw_;
        n = static_cast<size_t>(got);
        ended = n > 0 && raw_[n - 1] == '\n';
    } else {
        if (at_ >= text_.size()) {
            lineLength_ = 0;
            return -1;
        }
        text = text_.data() + at_;
        const char* lf = static_cast<const char*>(memchr(text, '\n', text_.size() - at_));
        n = lf ? static_cast<size_t>(lf - text) + 1 : text_.size() - at_;
        at_ += n;
        ended = lf != nullptr;
    }
    if (ended) --n;
    line_ = text;
    lineLength_ = n;
    // A NUL cannot live in a stored text: drop it here, so that a token
    // holding one is the same token on every read.
    if (memchr(text, 0, n)) {
        held_.assign(text, n);
        held_.erase(std::remove(held_.begin(), held_.end(), '\0'), held_.end());
        line_ = held_.data();
        lineLength_ = held_.size();
    }
    if (!ended && lineLength_ == 0) return -1;
    return 0;
}

static char Unescape(char c)
{
    if (c == 'n') return '\n';
    if (c == 'r') return '\r';
    return c;
}

qirConfigTokenizer::Token& qirConfigTokenizer::NewToken()
{
    if (count_ == tokens_.size()) tokens_.emplace_back();
    Token& t = tokens_[count_++];
    t.text.clear();
    t.marker = 0;
    t.literal = 0;
    return t;
}

int qirConfigTokenizer::Split()
{
    const char* s = line_;
    size_t i = 0, n = lineLength_;
    int lastBareBackslash = 0;
    while (true) {
        while (i < n && (s[i] == ' ' || s[i] == '\t')) ++i;
        if (i >= n || s[i] == ';') break;
        // Built in place, in storage kept from earlier lines.
        Token& t = NewToken();
        int escaped = 0;
        lastBareBackslash = 0;
        if (s[i] == '"') {
            ++i;
            while (i < n && s[i] != '"') {
                if (s[i] == '\\' && i + 1 < n) {
                    if (s[i + 1] == '.') t.literal = 1;
                    t.text.push_back(Unescape(s[i + 1]));
                    i += 2;
                } else {
                    // A run of plain characters at once.
                    size_t j = i + 1;
                    while (j < n && s[j] != '"' && s[j] != '\\') ++j;
                    t.text.append(s + i, j - i);
                    i = j;
                }
            }
            if (i < n) ++i; // the closing quote; an open one ends with the line
        } else {
            while (i < n && s[i] != ' ' && s[i] != '\t' && s[i] != ';') {
                if (s[i] == '\\' && i + 1 < n && s[i + 1] != ' ' && s[i + 1] != '\t') {
                    if (s[i + 1] == '.') t.literal = 1;
                    t.text.push_back(Unescape(s[i + 1]));
                    escaped = 1;
                    i += 2;
                } else {
                    size_t j = i + 1;
                    while (j < n && s[j] != ' ' && s[j] != '\t' && s[j] != ';' && s[j] != '\\') ++j;
                    t.text.append(s + i, j - i);
                    i = j;
                }
            }
            if (!escaped && t.text.size() == 1) {
                char c = t.text[0];
                if (c == '{' || c == '}') t.marker = c;
                if (c == '\\') lastBareBackslash = 1;
            }
        }
    }
    if (lastBareBackslash) {
        --count_;
        return 1;
    }
    return 0;
}

int qirConfigTokenizer::ReadLogicalLine()
{
    count_ = 0;
    cursor_ = 0;
    while (true) {
        if (ReadPhysicalLine() < 0) return count_ == 0 ? -1 : 0;
        int more = Split();
        if (more || count_ == 0) continue;
        return 0;
    }
}

int qirConfigTokenizer::Next(qirString* token, int* marker, int* literal)
{
    if (!open_) return -2;
    if (needLine_ || cursor_ >= count_) {
        if (ReadLogicalLine() < 0) return -1;
        needLine_ = 0;
    }
    const Token& t = tokens_[cursor_++];
    if (token) token->Assign(t.text.c_str());
    if (marker) *marker = t.marker;
    if (literal) *literal = t.literal;
    if (cursor_ >= count_) {
        needLine_ = 1;
        return 2;
    }
    return 1;
}

// ------------------------------------------------------------- configuration

qirConfiguration::qirConfiguration(const qirConfiguration* other)
{
    if (!other) return;
    name_ = other->name_;
    origin_ = other->origin_;
    for (qirString* s = other->values_.First(); s; s = qirStringList::Next(s)) values_.Set(*s, values_.Count());
    for (qirConfiguration* c = other->FirstChild(); c; c = NextChild(c)) Append(new qirConfiguration(c));
}

qirConfiguration::~qirConfiguration() { Remove(nullptr); }

static const char* Str(const qirString& s) { return s.Text() ? s.Text() : ""; }

qirConfiguration* qirConfiguration::ChildN(const char* name, size_t length) const
{
    for (qirConfiguration* c = FirstChild(); c; c = NextChild(c)) {
        const char* n = Str(c->name_);
        if (strlen(n) == length && memcmp(n, name, length) == 0) return c;
    }
    return nullptr;
}

qirConfiguration* qirConfiguration::Child(const char* name) const
{
    return name ? ChildN(name, strlen(name)) : nullptr;
}

qirConfiguration* qirConfiguration::FindAt(const char* path, size_t length) const
{
    const qirConfiguration* node = this;
    while (true) {
        const char* dot = static_cast<const char*>(memchr(path, '.', length));
        size_t seg = dot ? static_cast<size_t>(dot - path) : length;
        qirConfiguration* child = node->ChildN(path, seg);
        if (!child || !dot || seg + 1 >= length) return child;
        node = child;
        path += seg + 1;
        length -= seg + 1;
    }
}

qirConfiguration* qirConfiguration::Find(const char* path) const
{
    return path ? FindAt(path, strlen(path)) : nullptr;
}

qirStringList* qirConfiguration::Values(const char* path) const
{
    qirConfiguration* c = Find(path);
    return c ? &c->values_ : nullptr;
}

qirString qirConfiguration::Get(const char* path, int index) const
{
    qirConfiguration* c = Find(path);
    return c ? c->values_.Get(index) : qirString();
}

int qirConfiguration::GetLong(const char* path, long* out, int index) const
{
    qirString s = Get(path, index);
    if (!s.Text()) return qirNotOpen;
    char* end = nullptr;
    errno = 0;
    long v = strtol(s.Text(), &end, 10);
    int range = errno == ERANGE;
    if (out) *out = v;
    return (*end || range) ? qirBadValue : qirOK;
}

int qirConfiguration::GetInt(const char* path, int* out, int index) const
{
    long v = 0;
    int r = GetLong(path, &v, index);
    if (r == qirNotOpen) return r;
    if (v > INT_MAX || v < INT_MIN) {
        v = v > INT_MAX ? INT_MAX : INT_MIN;
        r = qirBadValue;
    }
    if (out) *out = static_cast<int>(v);
    return r;
}

int qirConfiguration::GetDouble(const char* path, double* out, int index) const
{
    qirString s = Get(path, index);
    if (!s.Text()) return qirNotOpen;
    char* end = nullptr;
    double v = strtod(s.Text(), &end);
    if (out) *out = v;
    return *end ? qirBadValue : qirOK;
}

int qirConfiguration::SetAt(const char* path, size_t length, const qirString& value, int index)
{
    qirConfiguration* node = this;
    qirConfiguration* existing = FindAt(path, length);
    if (existing) {
        if (existing->origin_) return qirFailed;
        return existing->values_.Set(value, index);
    }
    while (true) {
        const char* dot = static_cast<const char*>(memchr(path, '.', length));
        size_t seg = dot ? static_cast<size_t>(dot - path) : length;
        qirConfiguration* child = node->ChildN(path, seg);
        if (!child) {
            child = new qirConfiguration(qirString(std::string(path, seg).c_str()));
            node->Append(child);
        }
        if (!dot || seg + 1 >= length) return child->values_.Set(value, index);
        node = child;
        path += seg + 1;
        length -= seg + 1;
    }
}

int qirConfiguration::Set(const char* path, const qirString& value, int index)
{
    if (!path || index < 0) return qirFailed;
    return SetAt(path, strlen(path), value, index);
}

int qirConfiguration::Set(const char* path, const char* value, int index)
{
    return Set(path, qirString(value), index);
}

int qirConfiguration::SetInt(const char* path, int value, int index)
{
    char buf[32];
    snprintf(buf, sizeof buf, "%d", value);
    return Set(path, buf, index);
}

int qirConfiguration::SetLong(const char* path, long value, int index)
{
    char buf[32];
    snprintf(buf, sizeof buf, "%ld", value);
    return Set(path, buf, index);
}

int qirConfiguration::SetDouble(const char* path, double value, int index)
{
    qirString s;
    s.Format("%f", value);
    return Set(path, s, index);
}

// -------------------------------------------------------------------- reading

int qirConfiguration::Parse()
{
    // The block being read.  Once a block has been searched for many names
    // it keeps its children by name, so that a long block (the entries of
    // a filter file) is read in linear time.
    struct Block {
        qirConfiguration* node;
        int lookups = 0;
        std::unique_ptr<std::unordered_map<std::string, qirConfiguration*>> names;

        explicit Block(qirConfiguration* n) : node(n) {}
        // As Find on the node.
        qirConfiguration* Find(const char* path) {
            if (strchr(path, '.')) return node->Find(path);
            if (!names && ++lookups > 32) {
                names.reset(new std::unordered_map<std::string, qirConfiguration*>);
                for (qirConfiguration* c = node->FirstChild(); c; c = NextChild(c))
                    names->emplace(Str(c->name_), c); // the first of a name wins, as in Find
            }
            if (!names) return node->ChildN(path, strlen(path));
            auto found = names->find(path);
            return found == names->end() ? nullptr : found->second;
        }
        void Append(qirConfiguration* child) {
            node->Append(child);
            if (names) names->emplace(Str(child->name_), child);
        }
    };
    qirConfigTokenizer& tok = qirTokenizerState;
    std::vector<Block> stack;
    std::vector<qirString> values;
    Block cur(this);
    qirConfiguration* node = nullptr; // the node the current line addresses
    qirString text;
    int marker = 0, literal = 0, atStart = 1;
    auto flush = [&]() {
        if (node && !values.empty()) node->values_.Overlay(values);
        values.clear();
    };
    while (true) {
        int r = tok.Next(&text, &marker, &literal);
        if (r < 0) {
            flush();
            return r == -1 ? qirOK : qirFailed;
        }
        if (atStart) {
            if (marker == '{') return qirFailed;
            if (marker == '}') {
                // A closing brace at the top ends the load; the rest is not read.
                if (stack.empty()) return qirOK;
                cur = std::move(stack.back());
                stack.pop_back();
                continue;
            }
            // An escaped dot marks a name that holds dots itself; a plain
            // token is a dotted path, made as one name when it does not resolve.
            node = literal || !text.Text() ? nullptr : cur.Find(text.Text());
            if (!node) {
                node = new qirConfiguration(std::move(text));
                cur.Append(node);
            }
            atStart = r == 2;
            continue;
        }
        if (marker == '{' || marker == '}') {
            flush();
            if (marker == '{') {
                if (stack.size() >= qirConfigMaxDepth) return qirFailed;
                stack.push_back(std::move(cur));
                cur = Block(node);
            } else {
                if (stack.empty()) return qirOK;
                cur = std::move(stack.back());
                stack.pop_back();
            }
            node = nullptr;
            atStart = 1;
            continue;
        }
        values.push_back(std::move(text)); // the next token is assigned afresh
        if (r == 2) {
            flush();
            node = nullptr;
            atStart = 1;
        }
    }
}

int qirConfiguration::Load(const char* path)
{
    int r = qirTokenizerState.Open(path);
    if (r != qirOK) return r;
    r = Parse();
    qirTokenizerState.Close();
    return r;
}

int qirConfiguration::Load(FILE* stream, void* origin)
{
    if (!stream) return qirCannotOpen;
    int r = qirTokenizerState.Open(stream);
    if (r != qirOK) return r;
    r = Parse();
    qirTokenizerState.Close();
    if (r == qirOK) origin_ = origin;
    return r;
}

// -------------------------------------------------------------------- writing

// Appends s to out, quoted when the bare form would not read back as one
// token of this text.
static void AppendEscaped(std::string* out, const char* p, int isName)
{
    if (!p || !*p) {
        out->append("\"\"");
        return;
    }
    const char* special = isName ? "\\\"\n\r{} \t;." : "\\\"\n\r{} \t;";
    size_t plain = strcspn(p, special);
    if (!p[plain]) {
        // Most names and values need nothing escaped.
        out->append(p, plain);
        return;
    }
    const size_t at = out->size();
    int quote = 0;
    for (; *p; ++p) {
        // Runs of plain bytes go in whole.
        plain = strcspn(p, "\\\"\n\r{} \t;.");
        if (plain) {
            out->append(p, plain);
            p += plain - 1;
            continue;
        }
        switch (*p) {
        case '\\': out->append("\\\\"); break;
        case '"': out->append("\\\""); quote = 1; break;
        case '\n': out->append("\\n"); quote = 1; break;
        case '\r': out->append("\\r"); break;
        case '{': out->append("\\{"); quote = 1; break;
        case '}': out->append("\\}"); quote = 1; break;
        case ' ': case '\t': case ';': *out += *p; quote = 1; break;
        case '.':
            if (isName) *out += '\\';
            *out += '.';
            break;
        default: *out += *p;
        }
    }
    if (quote) {
        out->insert(at, 1, '"');
        *out += '"';
    }
}

static void AppendIndent(std::string* out, int depth)
{
    for (int i = 0; i < depth; ++i) out->append("    ");
}

void qirConfiguration::AppendNode(std::string* out, int depth) const
{
    AppendEscaped(out, name_.Text(), 1);
    for (qirString* v = values_.First(); v; v = qirStringList::Next(v)) {
        *out += ' ';
        AppendEscaped(out, v->Text(), 0);
    }
    if (FirstChild()) {
        out->append(" {\n");
        for (qirConfiguration* c = FirstChild(); c; c = NextChild(c)) {
            AppendIndent(out, depth + 1);
            c->AppendNode(out, depth + 1);
            *out += '\n';
        }
        AppendIndent(out, depth);
        *out += '}';
    }
}

int qirConfiguration::WriteNode(FILE* f, int depth) const
{
    std::string text;
    AppendNode(&text, depth);
    return fwrite(text.data(), 1, text.size(), f) == text.size() ? 0 : 1;
}

int qirConfiguration::Write(FILE* stream) const
{
    if (!stream) return qirCannotOpen;
    std::string text;
    for (qirConfiguration* c = FirstChild(); c; c = NextChild(c)) {
        c->AppendNode(&text, 0);
        text += '\n';
    }
    text += '\n';
    int failed = fwrite(text.data(), 1, text.size(), stream) != text.size();
    return failed || ferror(stream) ? qirWriteError : qirOK;
}

// ---- qirConfigurationText

void qirConfigurationText::Begin(const char* name, const char* const* values, size_t count)
{
    if (!open_.empty() && !open_.back()) {
        text_.append(" {\n");
        open_.back() = 1;
    }
    AppendIndent(&text_, (int)open_.size());
    AppendEscaped(&text_, name, 1);
    for (size_t i = 0; i < count; ++i) {
        text_ += ' ';
        AppendEscaped(&text_, values[i], 0);
    }
    open_.push_back(0);
}

void qirConfigurationText::End()
{
    if (open_.empty()) return;
    int braced = open_.back();
    open_.pop_back();
    if (braced) {
        AppendIndent(&text_, (int)open_.size());
        text_ += '}';
    }
    text_ += '\n';
}

int qirConfigurationText::Save(const char* path, int direct)
{
    while (!open_.empty()) End();
    qirAtomicFile file(path, direct);
    int r = file.Open();
    if (r != qirOK) return r;
    text_ += '\n';
    int failed = fwrite(text_.data(), 1, text_.size(), file.Stream()) != text_.size();
    text_.pop_back();
    if (failed) {
        file.Abort();
        return qirWriteError;
    }
    return file.Commit();
}

// ---- qirConfigurationOverlay

void qirConfigurationOverlay::Begin(const char* name, const char* const* values, size_t count)
{
    qirConfiguration* parent = open_.empty() ? tree_ : open_.back();
    qirConfiguration* node = nullptr;
    if (open_.empty() && keyed_ == name) {
        node = parent->Child(name);
        inKeyed_ = 1;
    }
    if (!node) {
        node = new qirConfiguration(name);
        for (size_t i = 0; i < count; ++i) node->ValueList()->Set(qirString(values[i]), (int)i);
        // At the top, and among the keys of the keyed node, a namesake goes.
        if (open_.empty() || (open_.size() == 1 && inKeyed_))
            if (qirConfiguration* old = parent->Child(name)) parent->Remove(old);
        parent->Append(node);
    }
    open_.push_back(node);
}

void qirConfigurationOverlay::End()
{
    if (open_.empty()) return;
    open_.pop_back();
    if (open_.empty()) inKeyed_ = 0;
}

int qirConfiguration::Save(const char* path, int direct) const
{
    qirAtomicFile file(path, direct);
    int r = file.Open();
    if (r != qirOK) return r;
    if (Write(file.Stream()) != qirOK) {
        file.Abort();
        return qirWriteError;
    }
    return file.Commit();
}

int qirConfiguration::Merge(const qirConfiguration* other)
{
    if (!other) return qirOK;
    for (qirConfiguration* c = other->FirstChild(); c; c = NextChild(c)) {
        // Names are matched level by level, so a name holding dots stays one node.
        qirConfiguration* node = Child(Str(c->name_));
        if (!node) {
            node = new qirConfiguration(c->name_);
            Append(node);
        }
        if (!node->origin_) {
            int i = 0;
            for (qirString* v = c->values_.First(); v; v = qirStringList::Next(v), ++i)
                if (v->Text()) node->values_.Set(*v, i);
        }
        node->Merge(c);
    }
    return qirOK;
}

int qirConfiguration::UpdateFile(const char* path) const
{
    if (!path) return qirCannotOpen;
    qirSyncBatch::FinishPending(path); // a replacement still waiting is read whole
    qirConfiguration fresh;
    int r = fresh.Load(path);
    // Rewriting a file that exists but could not be read completely would
    // drop the keys this tree does not hold.
    if (r == qirCannotOpen && access(path, F_OK) == 0) return qirCannotOpen;
    if (r == qirFailed) return qirUnreadable;
    if (r == qirAlreadyOpen) return r;
    fresh.Merge(this);
    return fresh.Save(path);
}
