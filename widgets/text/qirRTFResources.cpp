#include "qirRTFResources.h"

#include <algorithm>
#include <cctype>
#include <cstring>

qirRTFResources::~qirRTFResources() {}

qirRTFStubResources::qirRTFStubResources() {
    for (const char* n : {"black", "white", "red", "green", "blue", "yellow", "navy"})
        known_.insert(n);
}

const qirRTFEditorFont* qirRTFStubResources::Font(int bits, int step) {
    int style = std::max(0, bits) & 7;
    step = std::max(-10, std::min(step, 10));
    return reinterpret_cast<const qirRTFEditorFont*>(&fonts_[style][step + 10]);
}

const qirRTFEditorColor* qirRTFStubResources::Entry(const std::string& name) {
    auto it = byName_.find(name);
    if (it == byName_.end()) {
        colors_.push_back(name);
        it = byName_.emplace(name, &colors_.back()).first;
    }
    return reinterpret_cast<const qirRTFEditorColor*>(it->second);
}

const qirRTFEditorColor* qirRTFStubResources::DefaultColor() {
    if (!default_)
        default_ = Entry("#000000");
    return default_;
}

const qirRTFEditorColor* qirRTFStubResources::ColorByName(const char* name) {
    if (!name)
        return DefaultColor();
    std::string n(name);
    if (byName_.count(n))
        return Entry(n);
    bool hex = n.size() == 7 && n[0] == '#' &&
               std::all_of(n.begin() + 1, n.end(), [](char c) { return isxdigit(static_cast<unsigned char>(c)) != 0; });
    if (hex || known_.count(n))
        return Entry(n);
    return DefaultColor();
}

const char* qirRTFStubResources::ColorName(const qirRTFEditorColor* color) const {
    if (!color)
        return nullptr;
    return reinterpret_cast<const std::string*>(color)->c_str();
}
