// The hierarchical configuration store and its block file syntax, used for
// the user's configuration, message summaries, filters and the layout.
#ifndef QIR_CONFIGURATION_H
#define QIR_CONFIGURATION_H

#include <cstdlib>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "qirList.h"
#include "qirString.h"

// The values of a node: an ordered list that owns its strings.
class qirStringList : public qirList {
public:
    qirStringList() {}
    qirStringList(const qirStringList& other);
    ~qirStringList() override { Remove(nullptr); }

    // A copy of the string at the index, or a null string.
    qirString Get(int index) const;
    // Stores a copy at the index, appending null strings up to it: 0.
    int Set(const qirString& value, int index);
    // Replaces the first values by the given ones, keeping the rest: one walk.
    void Overlay(std::vector<qirString>& values); // the values are moved out

    qirString* First() const { return static_cast<qirString*>(qirList::First()); }
    static qirString* Next(const qirString* s) { return static_cast<qirString*>(qirList::Next(s)); }

private:
    qirStringList& operator=(const qirStringList&) = delete;
};

// The one reading state of the syntax, shared by every load (loads therefore
// never nest). Next answers, with the token in *token:
//   1 more tokens follow on the logical line, 2 this was its last token,
//   -1 end of the input, -2 no input open.
// *marker is '{' or '}' for a bare, unescaped lone brace (a block marker),
// 0 for any other token; *literal is 1 when the token held an escaped dot,
// which makes it a plain name rather than a dotted path.
class qirConfigTokenizer {
public:
    qirConfigTokenizer() {}
    ~qirConfigTokenizer() { free(raw_); }

    // 0, -7 when the file cannot be opened, -20 while another load runs.
    int Open(const char* path);
    // Takes a stream the caller keeps open: 0, -7 for null, -20 when busy.
    int Open(FILE* stream);
    // Closes a file opened here; leaves a caller's stream open.
    void Close();
    int IsOpen() const { return open_; }

    int Next(qirString* token, int* marker, int* literal);

private:
    struct Token {
        std::string text;
        int marker;
        int literal;
    };
    int ReadLogicalLine();
    int ReadPhysicalLine();
    // Splits the physical line after the tokens already held; answers 1
    // when it ends in a continuation.
    int Split();
    Token& NewToken();

    FILE* stream_ = nullptr; // a caller's stream, or null
    int open_ = 0;           // a file or a stream is being read
    // A file opened here is read whole into text_ and its lines are taken
    // from there: no stream, no second copy of each line.
    std::string text_;
    size_t at_ = 0;          // next line of text_
    const char* line_ = "";  // current physical line, any length
    size_t lineLength_ = 0;
    std::string held_;       // a line that is not in text_ (stream, NULs dropped)
    char* raw_ = nullptr;    // getline's buffer (malloc'd)
    size_t rawSize_ = 0;
    // The logical line being handed out: the first count_ of tokens_, whose
    // texts keep their storage from line to line.
    std::vector<Token> tokens_;
    size_t count_ = 0;
    size_t cursor_ = 0;      // next token
    int needLine_ = 1;
};

extern qirConfigTokenizer qirTokenizerState;

class qirConfiguration : public qirList {
public:
    // A root: null name, no values, no children.
    qirConfiguration() {}
    explicit qirConfiguration(const char* name) : name_(name) {}
    explicit qirConfiguration(const qirString& name) : name_(name) {}
    explicit qirConfiguration(qirString&& name) : name_(std::move(name)) {}
    // Deep copy: name, origin, values and every child.
    explicit qirConfiguration(const qirConfiguration* other);
    ~qirConfiguration() override;

    // Parses a file into this node: 0; -7 cannot open; -1 syntax error (what
    // was read before it stays); -20 when another load is running.
    int Load(const char* path);
    // Parses from a stream that stays open; records origin on this node when
    // the end of the input is reached: 0, -1, -7 for a null stream.
    int Load(FILE* stream, void* origin);
    // Writes every child in the syntax: 0; -7 null stream; -12 write failure.
    int Write(FILE* stream) const;
    // Writes this node alone (name, values, block of children indented for
    // the given depth) without a final LF: 0, or 1 when a write failed.
    int WriteNode(FILE* stream, int depth = 0) const;
    // The text WriteNode writes, appended to out.
    void AppendNode(std::string* out, int depth) const;
    // Replaces the file through a temporary file renamed over it: 0; -7 no
    // temporary file can be made; -12 a write, the close or the rename
    // failed, the old file then left as it was.  direct: as qirAtomicFile's
    // (a new file in a directory nobody reads yet is written in place).
    int Save(const char* path, int direct = 0) const;
    // Saves this tree laid over the file's present contents: the result of
    // the save; -7 or -13 when the file exists but cannot be read or does not
    // parse, in which case it is left alone.
    int UpdateFile(const char* path) const;
    // Lays the other node's children and values over this node: 0 or -1.
    int Merge(const qirConfiguration* other);

    // Dotted-path lookups below this node (exact case); null when missing.
    qirConfiguration* Find(const char* path) const;
    qirStringList* Values(const char* path) const;
    qirString Get(const char* path, int index = 0) const;
    // 0; -6 missing value; -9 not wholly a number or out of range (*out then
    // holds what the leading part gave).
    int GetInt(const char* path, int* out, int index = 0) const;
    int GetLong(const char* path, long* out, int index = 0) const;
    int GetDouble(const char* path, double* out, int index = 0) const;

    // Stores a value, making the nodes of the path: 0; -1 when the node is
    // protected (it carries an origin).
    int Set(const char* path, const qirString& value, int index = 0);
    int Set(const char* path, const char* value, int index = 0);
    int SetInt(const char* path, int value, int index = 0);
    int SetLong(const char* path, long value, int index = 0);
    int SetDouble(const char* path, double value, int index = 0);

    qirConfiguration* FirstChild() const { return static_cast<qirConfiguration*>(First()); }
    qirConfiguration* LastChild() const { return static_cast<qirConfiguration*>(Last()); }
    static qirConfiguration* NextChild(const qirConfiguration* c) { return static_cast<qirConfiguration*>(qirList::Next(c)); }
    static qirConfiguration* PrevChild(const qirConfiguration* c) { return static_cast<qirConfiguration*>(qirList::Prev(c)); }
    // The direct child of exactly this name (dots are not separators).
    qirConfiguration* Child(const char* name) const;

    qirString Name() const { return name_; }
    qirString Value(int index = 0) const { return values_.Get(index); }
    qirStringList* ValueList() { return &values_; }
    const qirStringList* ValueList() const { return &values_; }
    void* Origin() const { return origin_; }

private:
    qirConfiguration(const qirConfiguration&) = delete;
    qirConfiguration& operator=(const qirConfiguration&) = delete;
    int Parse();
    int SetAt(const char* path, size_t length, const qirString& value, int index);
    qirConfiguration* FindAt(const char* path, size_t length) const;
    qirConfiguration* ChildN(const char* name, size_t length) const;

    qirString name_;
    qirStringList values_;
    void* origin_ = nullptr; // not owned; recorded by a stream load
};

// The user's configuration, read at start-up and never written back.
extern qirConfiguration qirConfig;

// The short forms of a writer's calls: Begin with its values listed, and a
// Leaf, a node begun and ended at once.
template <class Writer>
class qirConfigurationCalls {
public:
    void Begin(const char* name, std::initializer_list<const char*> values = {})
    {
        static_cast<Writer*>(this)->Begin(name, values.begin(), values.size());
    }
    void Leaf(const char* name, std::initializer_list<const char*> values = {})
    {
        Begin(name, values);
        static_cast<Writer*>(this)->End();
    }
};

// A file in the syntax written as it is made, without a tree: Begin a node
// with its values, Begin its children, End it.  The text is what Write
// gives for the tree the same calls would build, for stores that write
// many new files of one shape (a message's summary when it is imported).
class qirConfigurationText : public qirConfigurationCalls<qirConfigurationText> {
public:
    using qirConfigurationCalls::Begin;
    void Begin(const char* name, const char* const* values, size_t count);
    void End();
    // Ends what is open and saves the text as qirConfiguration::Save does.
    int Save(const char* path, int direct = 0);

private:
    std::string text_;
    std::vector<int> open_; // per open node: its block's "{" written
};

// The calls of qirConfigurationText laid over a tree instead: a node begun
// at the top replaces the tree's node of its name; under the node named
// keyed, each child replaces its namesake and the other children stay.
class qirConfigurationOverlay : public qirConfigurationCalls<qirConfigurationOverlay> {
public:
    explicit qirConfigurationOverlay(qirConfiguration* tree, const char* keyed = "") : tree_(tree), keyed_(keyed) {}
    using qirConfigurationCalls::Begin;
    void Begin(const char* name, const char* const* values, size_t count);
    void End();

private:
    qirConfiguration* tree_; // not owned
    std::string keyed_;
    std::vector<qirConfiguration*> open_;
    int inKeyed_ = 0;
};

#endif
