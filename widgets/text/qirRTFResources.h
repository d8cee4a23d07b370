// The fonts and colours a document's runs point to, as the readers and
// writers need them.  The editor's display layer implements this from its
// font and colour tables; qirRTFStubResources stands in without a display.
#ifndef QIR_RTF_RESOURCES_H
#define QIR_RTF_RESOURCES_H

#include <deque>
#include <map>
#include <set>
#include <string>

#include "qirRTFStyle.h"

class qirRTFResources {
public:
    virtual ~qirRTFResources();
    // The font entry for style bits (underline ignored) and a size step.
    virtual const qirRTFEditorFont* Font(int bits, int step) = 0;
    // The colour of text without an x-color.  Never null: while the table
    // has no default yet, a real "#000000" entry is made and answered.
    virtual const qirRTFEditorColor* DefaultColor() = 0;
    // The entry of a colour name, made when the display knows the name;
    // DefaultColor for null or an unknown name.  Never null.
    virtual const qirRTFEditorColor* ColorByName(const char* name) = 0;
    // The name an entry was made from (written as the x-color parameter).
    virtual const char* ColorName(const qirRTFEditorColor* color) const = 0;
};

// Display-free resources for tests, benchmarks and fuzzing.  Known colour
// names are "#" and six hexadecimal digits and those given to Know; fonts
// are distinct tokens per style index and size step.  The answered
// pointers are opaque tokens, never to be dereferenced as fonts or colours.
class qirRTFStubResources : public qirRTFResources {
public:
    qirRTFStubResources();
    void Know(const char* name) { known_.insert(name); }
    // Number of colour entries made so far.
    int ColorCount() const { return static_cast<int>(colors_.size()); }

    const qirRTFEditorFont* Font(int bits, int step) override;
    const qirRTFEditorColor* DefaultColor() override;
    const qirRTFEditorColor* ColorByName(const char* name) override;
    const char* ColorName(const qirRTFEditorColor* color) const override;

private:
    const qirRTFEditorColor* Entry(const std::string& name);
    std::set<std::string> known_;
    std::deque<std::string> colors_;   // stable addresses are the entries
    std::map<std::string, const std::string*> byName_;
    const qirRTFEditorColor* default_ = nullptr;
    char fonts_[8][21] = {};
};

#endif
