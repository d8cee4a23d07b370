#include "qirLanguageGroup.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "qirConfiguration.h"
#include "qirStatus.h"

#ifndef QIR_DATA_PREFIX
#define QIR_DATA_PREFIX "/usr/local/lib"
#endif

qirLanguageGroup qirLanguage;

static const char qirMissingText[] = "-?\?\?\?-";

static void SkipLine(FILE* f)
{
    int c;
    while ((c = getc(f)) != EOF && c != '\n') {}
}

int qirLanguageEntry::Read(FILE* f)
{
    if (!f) return -1;
    while (true) {
        int c;
        do c = getc(f); while (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v');
        if (c == EOF) return -1;
        int negative = 0, digits = 0;
        long n = 0;
        if (c == '-' || c == '+') {
            negative = c == '-';
            c = getc(f);
        }
        while (c >= '0' && c <= '9') {
            // Saturates instead of overflowing on absurd numbers.
            if (n < INT_MAX) n = n * 10 + (c - '0');
            if (n > INT_MAX) n = INT_MAX;
            ++digits;
            c = getc(f);
        }
        if (!digits) {
            if (c != '\n' && c != EOF) SkipLine(f);
            if (c == EOF) return -1;
            continue;
        }
        number_ = static_cast<int>(negative ? -n : n);
        while (c == ' ' || c == '\t') c = getc(f);
        if (c == EOF) return -1; // a number without text at the very end is dropped
        std::string text;
        if (c == '\n') {
            // empty text
        } else if (c == '"') {
            while ((c = getc(f)) != EOF && c != '"' && c != '\n') {
                if (c != '\\') {
                    text.push_back(static_cast<char>(c));
                    continue;
                }
                c = getc(f);
                if (c == EOF) break;
                switch (c) {
                case 'b': text.push_back('\b'); break;
                case 'f': text.push_back('\f'); break;
                case 'n': text.push_back('\n'); break;
                case 'r': text.push_back('\r'); break;
                case 't': text.push_back('\t'); break;
                case 'v': text.push_back('\v'); break;
                case '\n': break; // joins the next line
                default: text.push_back(static_cast<char>(c));
                }
            }
            if (c == '"') SkipLine(f);
        } else {
            while (c != EOF && c != ' ' && c != '\n') {
                text.push_back(static_cast<char>(c));
                c = getc(f);
            }
            if (c == ' ') SkipLine(f);
        }
        text_ = text.c_str();
        return 0;
    }
}

qirLanguageGroup::~qirLanguageGroup() { ClearEntries(); }

void qirLanguageGroup::ClearEntries()
{
    for (int i = 0; i < count_; ++i) delete entries_[i];
    delete[] entries_;
    entries_ = nullptr;
    count_ = 0;
}

void qirLanguageGroup::Clear()
{
    ClearEntries();
    language_ = "";
}

int qirLanguageGroup::Load(const char* path)
{
    ClearEntries();
    FILE* f = path ? fopen(path, "r") : nullptr;
    if (!f) return qirCannotOpen;
    std::vector<qirLanguageEntry*> list;
    qirLanguageEntry entry;
    while (entry.Read(f) == 0) list.push_back(new qirLanguageEntry(entry.Number(), entry.Text()));
    fclose(f);
    std::stable_sort(list.begin(), list.end(),
                     [](const qirLanguageEntry* a, const qirLanguageEntry* b) { return a->Number() < b->Number(); });
    // Keep the last of equal numbers, as a later line overrides an earlier one.
    std::vector<qirLanguageEntry*> kept;
    for (size_t i = 0; i < list.size(); ++i) {
        if (i + 1 < list.size() && list[i + 1]->Number() == list[i]->Number())
            delete list[i];
        else
            kept.push_back(list[i]);
    }
    if (!kept.empty()) {
        entries_ = new qirLanguageEntry*[kept.size()];
        std::copy(kept.begin(), kept.end(), entries_);
        count_ = static_cast<int>(kept.size());
    }
    return qirOK;
}

const char* qirLanguageGroup::Text(int number) const
{
    int lo = 0, hi = count_ - 1;
    while (lo <= hi) {
        int mid = lo + (hi - lo) / 2;
        int n = entries_[mid]->Number();
        if (n == number) return entries_[mid]->Text();
        if (n < number)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return qirMissingText;
}

int qirLanguageGroup::Select(const char* language)
{
    qirConfiguration* languages = qirConfig.Find("LanguageGroup.Languages");
    if (!languages) return qirNotOpen;
    qirString name(language && *language ? language : "");
    if (name.IsEmpty()) name = qirConfig.Get("LanguageGroup.DefaultLanguage");
    if (name.IsEmpty()) return qirNotOpen;
    qirString file = languages->Get(name.Text());
    Clear();
    language_ = name;
    if (file.IsEmpty()) return qirCannotOpen;
    std::string path = file.Text();
    if (path[0] != '/') path = std::string(QIR_DATA_PREFIX) + "/" + path;
    return Load(path.c_str());
}
