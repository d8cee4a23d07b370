#include "qirRTFCommand.h"

#include <cstring>

namespace {

struct Keyword {
    const char* word;
    int code;
};

// In the order keywords are matched ("comment" before "ignore-me").
const Keyword kKeywords[] = {
    {"rtf-on", 1},        {"rtf-off", 2},         {"nl", 3},
    {"param", 4},         {"/param", 5},          {"comment", 6},
    {"/comment", 7},      {"ignore-me", 6},       {"/ignore-me", 7},
    {"bigger", 8},        {"/bigger", 9},         {"smaller", 10},
    {"/smaller", 11},     {"biggest", 12},        {"/biggest", 13},
    {"tinier", 14},       {"/tinier", 15},        {"bold", 16},
    {"/bold", 17},        {"italic", 18},         {"/italic", 19},
    {"fixed", 20},        {"/fixed", 21},         {"underline", 22},
    {"/underline", 23},   {"center", 24},         {"/center", 25},
    {"flushleft", 26},    {"/flushleft", 27},     {"flushright", 28},
    {"/flushright", 29},  {"flushboth", 30},      {"/flushboth", 31},
    {"nofill", 32},       {"/nofill", 33},        {"x-color", 34},
    {"/x-color", 35},     {"indent", 36},         {"/indent", 37},
    {"indentright", 38},  {"/indentright", 39},   {"excerpt", 40},
    {"/excerpt", 41},     {"href", 42},           {"/href", 43},
};

// Display names of the codes 0 to 43.
const char* const kNames[44] = {
    "NoCommand", "RTF-On",   "RTF-Off",  "NL",        "Param",      "/Param",      "Comment",
    "/Comment",  "Bigger",   "/Bigger",  "Smaller",   "/Smaller",   "Biggest",     "/Biggest",
    "Tinier",    "/Tinier",  "Bold",     "/Bold",     "Italic",     "/Italic",     "Fixed",
    "/Fixed",    "Underline", "/Underline", "Center", "/Center",    "FlushLeft",   "/FlushLeft",
    "FlushRight", "/FlushRight", "FlushBoth", "/FlushBoth", "Nofill", "/Nofill", "X-Color",
    "/X-Color",  "Indent",   "/Indent",  "IndentRight", "/IndentRight", "Excerpt", "/Excerpt",
    "HRef",      "/HRef",
};

}  // namespace

int qirRTFCommand::CodeOf(const char* keyword, int length) {
    if (!keyword || length < 0)
        return qirRTFUnknownCommand;
    for (const Keyword& k : kKeywords)
        if (static_cast<int>(strlen(k.word)) == length && memcmp(k.word, keyword, length) == 0)
            return k.code;
    return qirRTFUnknownCommand;
}

int qirRTFCommand::CodeOf(qirString keyword) {
    return CodeOf(keyword.Data() ? keyword.Data() : "", keyword.Length());
}

void qirRTFCommand::NameOf(int code, qirString& name) {
    name = code >= 0 && code < 44 ? kNames[code] : "UnknownCommand";
}

int qirRTFCommand::IsUnpaired(int code) {
    return code == qirRTFOn || code == qirRTFOff || code == qirRTFNewLine || code == qirRTFUnknownCommand;
}

// ------------------------------------------------------ qirRTFCommandStack

int qirRTFCommandStack::IsAlignment(int code) {
    return code == qirRTFCenter || code == qirRTFFlushLeft || code == qirRTFFlushRight ||
           code == qirRTFFlushBoth || code == qirRTFNofill;
}

static int SizeStep(int code) {
    if (code == qirRTFBigger || code == qirRTFSmaller + 1)
        return 1;
    if (code == qirRTFSmaller || code == qirRTFBigger + 1)
        return -1;
    return 0;
}

void qirRTFCommandStack::Push(int code) {
    Append(new qirRTFCommand(code));
    sizeLevel_ += SizeStep(code);
    if (IsAlignment(code))
        alignments_.push_back(code);
}

int qirRTFCommandStack::Pop(int code) {
    qirRTFCommand* top = static_cast<qirRTFCommand*>(Last());
    if (!top || top->code != code)
        return -11;
    sizeLevel_ -= SizeStep(code);
    if (IsAlignment(code))
        alignments_.pop_back();
    Detach(top);
    delete top;
    return 0;
}

int qirRTFCommandStack::TopCode() const {
    const qirRTFCommand* top = static_cast<const qirRTFCommand*>(Last());
    return top ? top->code : 0;
}

int qirRTFCommandStack::Alignment() const { return alignments_.empty() ? 0 : alignments_.back(); }

int qirRTFCommandStack::SizeLevel() const { return sizeLevel_; }

void qirRTFCommandStack::Clear() {
    Remove(nullptr);
    sizeLevel_ = 0;
    alignments_.clear();
}
