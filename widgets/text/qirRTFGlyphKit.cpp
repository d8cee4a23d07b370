#include "qirRTFGlyphKit.h"

#include "qirRTFElement.h"

#include <algorithm>
#include <cctype>

qirRTFGlyphKit::~qirRTFGlyphKit() {}

qirRTFStubKit::qirRTFStubKit() {
    for (const char* n : {"black", "white", "red", "green", "blue", "navy"}) {
        names_.push_back(n);
        colors_[n] = &names_.back();
    }
}

const qirRTFFont* qirRTFStubKit::FindFont(int bits, int size) {
    int style = std::max(0, bits) & 7;
    int step = std::max(-5, std::min(size, 5));
    return reinterpret_cast<const qirRTFFont*>(&fonts_[style][step + 5]);
}

int qirRTFStubKit::Bits(const qirRTFFont* font) const {
    long at = reinterpret_cast<const char*>(font) - &fonts_[0][0];
    return static_cast<int>(at / kSteps);
}

int qirRTFStubKit::Size(const qirRTFFont* font) const {
    long at = reinterpret_cast<const char*>(font) - &fonts_[0][0];
    return static_cast<int>(at % kSteps) - 5;
}

const qirRTFColor* qirRTFStubKit::DefaultColor() { return FindColor("black"); }

const qirRTFColor* qirRTFStubKit::FindColor(const char* name) {
    ++lookups_;
    std::string n(name ? name : "");
    auto it = colors_.find(n);
    if (it != colors_.end())
        return reinterpret_cast<const qirRTFColor*>(it->second);
    bool hex = n.size() == 7 && n[0] == '#' &&
               std::all_of(n.begin() + 1, n.end(), [](char c) { return isxdigit(static_cast<unsigned char>(c)) != 0; });
    if (!hex)
        return DefaultColor();
    names_.push_back(n);
    colors_[n] = &names_.back();
    return reinterpret_cast<const qirRTFColor*>(&names_.back());
}

const char* qirRTFStubKit::ColorName(const qirRTFColor* color) const {
    return color ? reinterpret_cast<const std::string*>(color)->c_str() : "";
}

float qirRTFStubKit::Width(const qirRTFFont* font, int ch) {
    int bits = font ? Bits(font) : 0;
    int size = font ? Size(font) : 0;
    float base = 6;
    if (!(bits & 4)) {
        if (ch == 'i' || ch == 'l' || ch == '.' || ch == ',')
            base = 3;
        else if (ch == 'm' || ch == 'w' || ch == 'M' || ch == 'W')
            base = 9;
    }
    if (bits & 1)
        base += 1;
    return base + size;
}

void qirRTFStubKit::BeginLines() {
    lines.assign(1, std::string());
    runs.assign(1, std::vector<qirRTFRun>());
    ++layouts;
}

void qirRTFStubKit::AddRun(const qirRTFRun& run) {
    runs.back().push_back(run);
    std::string& text = lines.back();
    for (const qirRTFElement* e = run.first; e; e = static_cast<const qirRTFElement*>(e->Next())) {
        int t = e->type();
        if (t == qirRTFTextType) {
            const qirRTFGlyphElement* g = static_cast<const qirRTFGlyphElement*>(e);
            if (g->shown)
                text += g->ch == '\t' ? ' ' : static_cast<char>(g->ch);
        } else if (t == qirRTFSpaceType && static_cast<const qirRTFSpaceElement*>(e)->shown) {
            text += ' ';
        }
        if (e == run.last)
            break;
    }
}

void qirRTFStubKit::EndLine() {
    lines.emplace_back();
    runs.emplace_back();
}

void qirRTFStubKit::EndLines() {
    // A page with nothing laid out shows no line at all.
    if (lines.size() == 1 && lines[0].empty() && runs[0].empty()) {
        lines.clear();
        runs.clear();
    }
}
