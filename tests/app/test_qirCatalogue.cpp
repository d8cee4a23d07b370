// Every catalogue number the program uses has its text in the shipped
// English catalogue, so that no "-????-" reaches the screen.
//
// The numbers are read from the program's sources (app/, widgets/, mail/,
// foundation/).  The scan reads these forms:
//   qirUiText(458), qirLanguage.Text(1000)    a literal number;
//   qirUiText(newFolder ? 600 : 443)          a choice, also nested;
//   qirUiText(textDate)                       a named constant of the file or
//       a header it includes (enumerator, const int, #define);
//   Item(menu, app, kit, lk, 450, ...)        a literal given to a function
//       whose parameter reaches qirUiText, through any chain of such
//       functions (menu and button helpers, "auto button = [&](int label)");
//   qirUiText(labels[i])                      with "labels[4] = {54, 53}"
//       in the same file;
//   qirUiText(n)                              inside "for (int n : {116, 111})"
//       or "for (int n = 702; n <= 705; n++)".
// Any other form says its numbers in a comment on its line or the line
// above, "// catalogue: 498-504"; without one the test fails, so that no
// number slips by.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "qirLanguageGroup.h"
#include "qirStatus.h"

namespace {

struct Source {
    std::string path; // relative to the source tree
    std::string text; // as written
    std::string code; // comments, strings and character literals blanked
};

// The code with comments and literals turned into blanks; line breaks
// stay, so offsets and line numbers are those of the text.
std::string Blanked(const std::string& t)
{
    std::string c = t;
    size_t i = 0, n = t.size();
    auto blank = [&](size_t from, size_t to) {
        for (size_t k = from; k < to && k < n; ++k)
            if (c[k] != '\n') c[k] = ' ';
    };
    while (i < n) {
        if (t.compare(i, 2, "//") == 0) {
            size_t e = t.find('\n', i);
            e = e == std::string::npos ? n : e;
            blank(i, e);
            i = e;
        } else if (t.compare(i, 2, "/*") == 0) {
            size_t e = t.find("*/", i + 2);
            e = e == std::string::npos ? n : e + 2;
            blank(i, e);
            i = e;
        } else if (t[i] == '"' || t[i] == '\'') {
            char q = t[i];
            size_t e = i + 1;
            while (e < n && t[e] != q && t[e] != '\n') e += t[e] == '\\' ? 2 : 1;
            blank(i, e + 1);
            i = e + 1;
        } else {
            ++i;
        }
    }
    return c;
}

int LineOf(const Source& s, size_t offset)
{
    return 1 + static_cast<int>(std::count(s.text.begin(), s.text.begin() + std::min(offset, s.text.size()), '\n'));
}

std::string Trim(const std::string& s)
{
    size_t a = s.find_first_not_of(" \t\n");
    if (a == std::string::npos) return "";
    size_t b = s.find_last_not_of(" \t\n");
    return s.substr(a, b - a + 1);
}

// The arguments of the parenthesis group opening at open, split at the
// commas of its own level; *close gets the offset of its ")".
std::vector<std::string> Arguments(const std::string& code, size_t open, size_t* close, bool angles = false)
{
    std::vector<std::string> args;
    std::string cur;
    int depth = 0;
    for (size_t i = open + 1; i < code.size(); ++i) {
        char ch = code[i];
        if (ch == '(' || ch == '[' || ch == '{' || (angles && ch == '<')) ++depth;
        if (ch == ')' || ch == ']' || ch == '}' || (angles && ch == '>')) {
            if (depth == 0 && ch == ')') {
                if (close) *close = i;
                if (!Trim(cur).empty() || !args.empty()) args.push_back(Trim(cur));
                return args;
            }
            --depth;
        }
        if (ch == ',' && depth == 0) {
            args.push_back(Trim(cur));
            cur.clear();
        } else {
            cur += ch;
        }
    }
    if (close) *close = std::string::npos;
    return args;
}

// The name a parameter declaration gives ("int text", "const char* name =
// 0"), or "" for anything else (a type alone, an expression).
std::string ParameterName(std::string p)
{
    size_t eq = p.find('=');
    if (eq != std::string::npos) p = p.substr(0, eq);
    p = Trim(p);
    static const std::regex declaration(
        R"(^(?:(?:const|unsigned|signed|struct|class|volatile)\s+)*[A-Za-z_][\w:]*(?:<[^<>]*>)?(?:\s*const)?)"
        R"((?:\s*[*&]+\s*|\s+)(?:const\s+)?([A-Za-z_]\w*)(?:\s*\[[^\]]*\])?$)");
    std::smatch m;
    return std::regex_match(p, m, declaration) ? m[1].str() : "";
}

bool IsDeclaration(const std::string& arg) { return !ParameterName(arg).empty(); }

struct Function {
    std::string name; // "" for a lambda
    std::vector<std::string> parameters;
    size_t open, close; // its body's braces
    bool local;         // static or in an unnamed namespace: called from its file only
};

bool IsKeyword(const std::string& w)
{
    static const std::set<std::string> k = {"if", "for", "while", "switch", "catch", "return", "sizeof", "do", "else"};
    return k.count(w) != 0;
}

// The functions of a file with their bodies, found from each "{".
std::vector<Function> Functions(const std::string& code)
{
    std::vector<Function> out;
    std::vector<size_t> stack;
    std::map<size_t, size_t> match;
    for (size_t i = 0; i < code.size(); ++i) {
        if (code[i] == '{') stack.push_back(i);
        if (code[i] == '}' && !stack.empty()) {
            match[stack.back()] = i;
            stack.pop_back();
        }
    }
    static const std::regex qualifiers(R"((\s|\bconst\b|\boverride\b|\bnoexcept\b|\bfinal\b|\bmutable\b)*$)");
    for (const auto& b : match) {
        size_t p = b.first;
        std::string name;
        size_t paramsOpen = std::string::npos;
        bool localName = false;
        for (int guard = 0; guard < 64; ++guard) {
            std::smatch m;
            std::string before = code.substr(p > 200 ? p - 200 : 0, p > 200 ? 200 : p);
            std::regex_search(before, m, qualifiers);
            size_t q = p - static_cast<size_t>(m.length(0));
            if (q == 0 || (code[q - 1] != ')' && code[q - 1] != '}')) break;
            // Back over the group to its opening bracket.
            char closeCh = code[q - 1], openCh = closeCh == ')' ? '(' : '{';
            int depth = 0;
            size_t o = q - 1;
            for (;; --o) {
                if (code[o] == closeCh) ++depth;
                if (code[o] == openCh && --depth == 0) break;
                if (o == 0) break;
            }
            size_t e = o;
            while (e > 0 && (code[e - 1] == ' ' || code[e - 1] == '\t' || code[e - 1] == '\n')) --e;
            size_t s = e;
            while (s > 0 && (isalnum(static_cast<unsigned char>(code[s - 1])) || code[s - 1] == '_')) --s;
            std::string word = code.substr(s, e - s);
            size_t k = s;
            while (k > 0 && (code[k - 1] == ' ' || code[k - 1] == '\t' || code[k - 1] == '\n')) --k;
            // A member initializer "x_(a)," or ": x_(a)": the function is further back.
            if (!word.empty() && k > 0 && (code[k - 1] == ',' || (code[k - 1] == ':' && (k < 2 || code[k - 2] != ':')))) {
                p = k - 1;
                continue;
            }
            bool lambda = false;
            if (openCh == '(' && word.empty() && e > 0 && code[e - 1] == ']') {
                // "auto name = [...](...) {": a helper of its function, known by the name.
                size_t l = code.rfind('[', e - 1);
                std::smatch m;
                std::string head = code.substr(l > 80 ? l - 80 : 0, l > 80 ? 80 : l);
                if (l != std::string::npos && std::regex_search(head, m, std::regex(R"(\b([A-Za-z_]\w*)\s*=\s*$)")))
                    word = m[1];
                lambda = true;
            }
            if (openCh == '(' && (word.empty() || !IsKeyword(word))) {
                name = word;
                paramsOpen = o;
            }
            if (lambda) localName = true;
            break;
        }
        if (paramsOpen == std::string::npos) continue;
        Function f;
        f.name = name;
        f.open = b.first;
        f.close = b.second;
        f.local = localName;
        for (const auto& outer : match) {
            if (outer.first >= b.first || outer.second <= b.first) continue;
            std::string head = code.substr(outer.first > 40 ? outer.first - 40 : 0, outer.first > 40 ? 40 : outer.first);
            if (std::regex_search(head, std::regex(R"(\bnamespace\s*$)"))) f.local = true;
        }
        size_t statement = code.find_last_of(";{}", paramsOpen);
        statement = statement == std::string::npos ? 0 : statement;
        if (std::regex_search(code.substr(statement, paramsOpen - statement), std::regex(R"(\bstatic\b)"))) f.local = true;
        for (const std::string& a : Arguments(code, paramsOpen, nullptr, true)) f.parameters.push_back(ParameterName(a));
        out.push_back(f);
    }
    return out;
}

std::set<int> NumbersIn(const std::string& list)
{
    std::set<int> out;
    static const std::regex item(R"((\d+)(\s*-\s*(\d+))?)");
    for (std::sregex_iterator it(list.begin(), list.end(), item), end; it != end; ++it) {
        int a = std::stoi((*it)[1]), b = (*it)[3].matched ? std::stoi((*it)[3]) : a;
        for (int n = a; n <= b && n - a < 1000; ++n) out.insert(n);
    }
    return out;
}

bool OnlyLiterals(const std::string& list) { return std::regex_match(list, std::regex(R"(\s*\d+(\s*,\s*\d+)*\s*,?\s*)")); }

struct Scan {
    std::vector<Source> files;
    std::map<int, std::string> numbers;    // number -> where it was first seen
    std::vector<std::string> unreadable;   // places whose number the scan cannot tell
    std::map<std::string, std::set<int>> helpers; // "file#name#index" -> its numbers
    std::set<std::string> resolving;

    void Add(const std::string& path, const std::string& text) { files.push_back({path, text, Blanked(text)}); }

    std::string Where(const Source& s, size_t offset) const { return s.path + ":" + std::to_string(LineOf(s, offset)); }

    // The numbers of a "// catalogue:" comment on the line of offset or the
    // line above.
    bool Annotation(const Source& s, size_t offset, std::set<int>* out) const
    {
        size_t lineStart = s.text.rfind('\n', offset);
        lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
        size_t prevStart = lineStart > 1 ? s.text.rfind('\n', lineStart - 2) : std::string::npos;
        prevStart = prevStart == std::string::npos ? 0 : prevStart + 1;
        size_t lineEnd = s.text.find('\n', offset);
        std::string lines = s.text.substr(prevStart, (lineEnd == std::string::npos ? s.text.size() : lineEnd) - prevStart);
        std::smatch m;
        if (!std::regex_search(lines, m, std::regex(R"(//\s*catalogue:\s*([\d\s,-]+))"))) return false;
        *out = NumbersIn(m[1]);
        return !out->empty();
    }

    const Function* Enclosing(const std::vector<Function>& fs, size_t offset, const std::string& parameter, size_t* index) const
    {
        const Function* best = nullptr;
        for (const Function& f : fs) {
            if (f.open >= offset || f.close <= offset) continue;
            auto at = std::find(f.parameters.begin(), f.parameters.end(), parameter);
            if (at == f.parameters.end()) continue;
            if (!best || f.open > best->open) {
                best = &f;
                *index = static_cast<size_t>(at - f.parameters.begin());
            }
        }
        return best;
    }

    // "c ? a : b" split into its two results (either may be a choice again).
    static bool Choice(const std::string& e, std::string* yes, std::string* no)
    {
        int depth = 0, pending = 0;
        size_t q = std::string::npos;
        for (size_t i = 0; i < e.size(); ++i) {
            char ch = e[i];
            if (ch == '(' || ch == '[' || ch == '{') ++depth;
            if (ch == ')' || ch == ']' || ch == '}') --depth;
            if (depth != 0) continue;
            if (ch == '?') {
                if (q == std::string::npos) q = i;
                else ++pending;
            } else if (ch == ':' && q != std::string::npos && (i + 1 >= e.size() || e[i + 1] != ':') && (i == 0 || e[i - 1] != ':')) {
                if (pending > 0) {
                    --pending;
                    continue;
                }
                *yes = Trim(e.substr(q + 1, i - q - 1));
                *no = Trim(e.substr(i + 1));
                return true;
            }
        }
        return false;
    }

    // A named constant of s or of a header it includes: an enumerator, a
    // const or constexpr int, or a #define, given as a literal.
    bool Constant(const Source& s, const std::string& name, std::set<int>* out) const
    {
        std::vector<const Source*> where = {&s};
        for (const Source& h : files)
            if (&h != &s && s.text.find("#include \"" + h.path.substr(h.path.rfind('/') + 1) + "\"") != std::string::npos)
                where.push_back(&h);
        std::regex enums(R"(\benum\b[^{;]*\{([^}]*)\})");
        std::regex member("(?:^|[{,\\s])" + name + R"(\s*=\s*(\d+)\s*(?:,|$))");
        std::regex constant(R"((?:\bconst|\bconstexpr)\s+(?:int|long|unsigned)\s+)" + name + R"(\s*=\s*(\d+)\s*;)");
        std::regex define(R"(#\s*define\s+)" + name + R"(\s+(\d+)\s*\n)");
        std::smatch m;
        for (const Source* w : where) {
            for (std::sregex_iterator it(w->code.begin(), w->code.end(), enums), end; it != end; ++it) {
                std::string body = (*it)[1];
                if (std::regex_search(body, m, member)) {
                    out->insert(std::stoi(m[1]));
                    return true;
                }
            }
            if (std::regex_search(w->code, m, constant) || std::regex_search(w->code, m, define)) {
                out->insert(std::stoi(m[1]));
                return true;
            }
        }
        return false;
    }

    // The numbers an argument expression at offset of s can have.
    bool Resolve(const Source& s, size_t offset, const std::string& arg, std::set<int>* out)
    {
        std::smatch m;
        if (std::regex_match(arg, m, std::regex(R"(\d+)"))) {
            out->insert(std::stoi(arg));
            return true;
        }
        std::string yes, no;
        if (Choice(arg, &yes, &no)) {
            std::set<int> a, b;
            if (Resolve(s, offset, yes, &a) && Resolve(s, offset, no, &b)) {
                out->insert(a.begin(), a.end());
                out->insert(b.begin(), b.end());
                return true;
            }
            return Annotation(s, offset, out);
        }
        if (std::regex_match(arg, m, std::regex(R"([A-Za-z_]\w*)")) && Constant(s, arg, out)) return true;
        if (std::regex_match(arg, m, std::regex(R"(([A-Za-z_]\w*)\s*\[[^\]]*\])"))) {
            std::smatch d;
            std::regex array("\\b" + m[1].str() + R"(\s*\[[^\]]*\]\s*=\s*\{([^}]*)\})");
            if (std::regex_search(s.code, d, array) && OnlyLiterals(d[1])) {
                std::set<int> n = NumbersIn(d[1]);
                out->insert(n.begin(), n.end());
                return true;
            }
        }
        if (std::regex_match(arg, m, std::regex(R"([A-Za-z_]\w*)"))) {
            const std::string name = arg;
            std::string before = s.code.substr(0, offset);
            std::smatch d;
            // The nearest loop over it, when it is a loop's variable.
            std::regex listLoop(R"(for\s*\(\s*(?:const\s+)?(?:int|auto)\s*&?\s*)" + name + R"(\s*:\s*\{([^}]*)\}\s*\))");
            std::regex countLoop(R"(for\s*\(\s*int\s+)" + name + R"(\s*=\s*(\d+)\s*;\s*)" + name + R"(\s*(<=|<)\s*(\d+)\s*;)");
            std::smatch last;
            bool found = false;
            for (std::sregex_iterator it(before.begin(), before.end(), listLoop), end; it != end; ++it) {
                last = *it;
                found = true;
            }
            if (found && OnlyLiterals(last[1])) {
                std::set<int> n = NumbersIn(last[1]);
                out->insert(n.begin(), n.end());
                return true;
            }
            found = false;
            for (std::sregex_iterator it(before.begin(), before.end(), countLoop), end; it != end; ++it) {
                last = *it;
                found = true;
            }
            if (found) {
                int a = std::stoi(last[1]), b = std::stoi(last[3]) - (last[2] == "<" ? 1 : 0);
                for (int n = a; n <= b && n - a < 1000; ++n) out->insert(n);
                return true;
            }
            // A parameter: the numbers of every call of that function.
            size_t index = 0;
            const Function* f = Enclosing(FunctionsOf(s), offset, name, &index);
            if (f && !f->name.empty()) return Helper(s, *f, index, out);
        }
        return Annotation(s, offset, out);
    }

    std::map<std::string, std::vector<Function>> functions;
    const std::vector<Function>& FunctionsOf(const Source& s)
    {
        auto it = functions.find(s.path);
        if (it == functions.end()) it = functions.emplace(s.path, Functions(s.code)).first;
        return it->second;
    }

    // The files that may call a function defined in s: s itself, and the
    // includers of a header that declares it.
    std::vector<const Source*> Callers(const Source& s, const std::string& function) const
    {
        std::vector<const Source*> out = {&s};
        std::regex mention("\\b" + function + R"(\s*\()");
        std::vector<std::string> headers;
        for (const Source& h : files)
            if (h.path.size() > 2 && h.path.substr(h.path.size() - 2) == ".h" && std::regex_search(h.code, mention))
                headers.push_back(h.path.substr(h.path.rfind('/') + 1));
        for (const Source& c : files) {
            if (&c == &s) continue;
            for (const std::string& h : headers)
                if (c.text.find("#include \"" + h + "\"") != std::string::npos || c.path.find("/" + h) != std::string::npos) {
                    out.push_back(&c);
                    break;
                }
        }
        return out;
    }

    bool Helper(const Source& s, const Function& f, size_t index, std::set<int>* out)
    {
        const std::string& function = f.name;
        std::string key = s.path + "#" + function + "#" + std::to_string(index);
        auto known = helpers.find(key);
        if (known != helpers.end()) {
            out->insert(known->second.begin(), known->second.end());
            return true;
        }
        if (!resolving.insert(key).second) return true; // a cycle adds nothing new
        std::set<int> numbers;
        std::vector<const Source*> callers = f.local ? std::vector<const Source*>{&s} : Callers(s, function);
        for (const Source* c : callers) {
            std::regex call("\\b" + function + R"(\s*\()");
            for (std::sregex_iterator it(c->code.begin(), c->code.end(), call), end; it != end; ++it) {
                size_t at = static_cast<size_t>(it->position(0));
                size_t open = at + static_cast<size_t>(it->length(0)) - 1;
                std::vector<std::string> args = Arguments(c->code, open, nullptr);
                if (index < args.size() && IsDeclaration(args[index])) continue;
                if (index >= args.size()) {
                    // Elsewhere the name may be another function's.
                    if (f.local) unreadable.push_back(Where(*c, at) + ": " + function + "(...) without its catalogue argument");
                    continue;
                }
                Note(*c, at, function + "(" + args[index] + ")", args[index], &numbers);
            }
        }
        resolving.erase(key);
        helpers[key] = numbers;
        out->insert(numbers.begin(), numbers.end());
        return true;
    }

    void Note(const Source& s, size_t at, const std::string& form, const std::string& arg, std::set<int>* into = nullptr)
    {
        std::set<int> n;
        if (!Resolve(s, at, arg, &n)) {
            unreadable.push_back(Where(s, at) + ": " + form);
            return;
        }
        for (int x : n) numbers.emplace(x, Where(s, at));
        if (into) into->insert(n.begin(), n.end());
    }

    void Run()
    {
        static const std::regex use(R"(\bqirUiText\b|\bqirLanguage\b)");
        static const std::regex member(R"(^qirLanguage\s*(\.|->)\s*(\w+)\s*\()");
        for (const Source& s : files) {
            for (std::sregex_iterator it(s.code.begin(), s.code.end(), use), end; it != end; ++it) {
                size_t at = static_cast<size_t>(it->position(0));
                std::string rest = s.code.substr(at, 80);
                std::smatch m;
                size_t open;
                if (it->str() == "qirUiText") {
                    open = s.code.find_first_not_of(" \t\n", at + 9);
                    if (open == std::string::npos || s.code[open] != '(') {
                        unreadable.push_back(Where(s, at) + ": qirUiText not called");
                        continue;
                    }
                } else if (std::regex_search(rest, m, member)) {
                    if (m[2] != "Text") continue; // Select, Load, Clear: no text
                    open = at + static_cast<size_t>(m.length(0)) - 1;
                } else {
                    unreadable.push_back(Where(s, at) + ": qirLanguage used but not through a call");
                    continue;
                }
                std::vector<std::string> args = Arguments(s.code, open, nullptr);
                if (args.size() == 1 && IsDeclaration(args[0])) continue;
                if (args.size() != 1) {
                    unreadable.push_back(Where(s, at) + ": " + it->str() + " call without one argument");
                    continue;
                }
                Note(s, at, it->str() + "(" + args[0] + ")", args[0]);
            }
        }
    }
};

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void AddTree(Scan* scan, const std::string& root, const std::string& dir)
{
    DIR* d = opendir((root + "/" + dir).c_str());
    if (!d) return;
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        if (n[0] == '.') continue;
        std::string rel = dir + "/" + n;
        struct stat st;
        if (stat((root + "/" + rel).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            AddTree(scan, root, rel);
        } else if ((n.size() > 4 && n.substr(n.size() - 4) == ".cpp") || (n.size() > 2 && n.substr(n.size() - 2) == ".h")) {
            // The catalogue itself and its one accessor are no users of it.
            if (n.rfind("qirLanguageGroup.", 0) == 0 || n.rfind("qirUiText.", 0) == 0) continue;
            scan->Add(rel, ReadText(root + "/" + rel));
        }
    }
}

std::string Numbers(const Scan& s)
{
    std::string out;
    for (const auto& n : s.numbers) out += (out.empty() ? "" : " ") + std::to_string(n.first);
    return out;
}

TEST(Catalogue, TheScanReadsEveryFormItNamesAndRefusesTheRest)
{
    const struct {
        const char* code;
        const char* numbers;
        int unreadable;
    } cases[] = {
        {"void f() { kit->label(qirUiText(458)); x = qirLanguage.Text(1000); }", "458 1000", 0},
        {"void f(int n) { g(qirUiText(n ? 600 : 443)); }", "443 600", 0},
        // Named constants of the file, also in nested choices.
        {"enum { textRead = 205, textUnread = 206 };\nconst int textGone = 207;\n"
         "void f(int d, int r) { qirLanguage.Text(d ? textGone : r ? textRead : textUnread); }",
         "205 206 207", 0},
        // Helpers, two deep, called with literals; their declaration is no call.
        {"Glyph* Label(Kit* kit, int text);\n"
         "Glyph* Label(Kit* kit, int text) { return kit->label(qirUiText(text)); }\n"
         "void Item(Menu* m, int text, Member f) { m->append(Label(kit, text)); }\n"
         "void Build() { Item(menu, 441, &A::New); Item(menu, 442, &A::Open); Label(kit, 440); }",
         "440 441 442", 0},
        // A helper lambda known by its name.
        {"void f() { auto button = [&](int label, int x) { return qirUiText(label); }; button(210, 1); button(211, 2); }",
         "210 211", 0},
        {"Item::Item(int label, int code) : x_(label), y_{code} { l = qirUiText(label); }\n"
         "void g() { new Item(700, 3); }",
         "700", 0},
        {"static const int labels[4] = {54, 53, 52, 51};\nvoid f() { for (int i = 0; i < 4; i++) qirUiText(labels[i]); }",
         "51 52 53 54", 0},
        {"void f() { for (int n : {116, 115, 111}) qirUiText(n); for (int k = 702; k <= 705; k++) qirUiText(k); }",
         "111 115 116 702 703 704 705", 0},
        {"void f() {\n    // catalogue: 498-500, 504\n    Show(qirUiText(498 + i));\n}", "498 499 500 504", 0},
        {"void f(int c) { Show(qirLanguage.Text(first + c)); } // catalogue: 402-403", "402 403", 0},
        // Comments and strings are no code.
        {"// qirUiText(5)\nconst char* s = \"qirUiText(6)\";", "", 0},
        // What the scan cannot tell fails.
        {"void f() { Show(qirUiText(498 + i)); }", "", 1},
        {"void f() { int n = Pick(); Show(qirUiText(n)); }", "", 1},
        {"void f() { auto t = &qirUiText; qirLanguageGroup& g = qirLanguage; }", "", 2},
        {"void Label(int text) { qirUiText(text); }\nvoid g() { int v = 3; Label(v); }", "", 1},
    };
    for (const auto& c : cases) {
        Scan s;
        s.Add("app/x.cpp", c.code);
        s.Run();
        EXPECT_EQ(Numbers(s), c.numbers) << c.code;
        std::string why;
        for (const std::string& u : s.unreadable) why += "\n  " + u;
        EXPECT_EQ(static_cast<int>(s.unreadable.size()), c.unreadable) << c.code << why;
    }
}

TEST(Catalogue, EveryNumberTheProgramUsesHasItsEnglishText)
{
    Scan scan;
    for (const char* dir : {"app", "widgets", "mail", "foundation"}) AddTree(&scan, QIR_SOURCE_DIR, dir);
    scan.Run();
    std::string unreadable;
    for (const std::string& u : scan.unreadable) unreadable += "\n  " + u;
    EXPECT_TRUE(scan.unreadable.empty()) << "catalogue numbers the scan cannot read; write them as literals or put "
                                            "\"// catalogue: N-M\" on the line:"
                                         << unreadable;
    // The scan sees each road: a literal, a menu helper, a table, a comment.
    for (int anchor : {110, 441, 903, 51, 498, 1000})
        EXPECT_TRUE(scan.numbers.count(anchor)) << anchor << " not found: the scan lost a form";

    qirLanguageGroup english;
    ASSERT_EQ(english.Load(QIR_SOURCE_DIR "/share/QIR/Languages/English"), qirOK);
    std::string missing;
    for (const auto& n : scan.numbers)
        if (std::string(english.Text(n.first)) == "-?\?\?\?-") missing += "\n  " + std::to_string(n.first) + " (" + n.second + ")";
    EXPECT_TRUE(missing.empty()) << "used but not in share/QIR/Languages/English:" << missing;
}

} // namespace
