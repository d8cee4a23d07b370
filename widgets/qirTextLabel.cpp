#include "qirTextLabel.h"

#include "qirCharacters.h"

#include <IV-look/kit.h>
#include <InterViews/character.h>
#include <InterViews/font.h>
#include <InterViews/layout.h>
#include <InterViews/polyglyph.h>
#include <InterViews/session.h>

#include <cstring>
#include <map>
#include <string>

namespace {

// The name of the ISO 10646 font of the same face and size: the last two
// fields of an X font name replaced.  "" for a name that is none.
std::string WideName(const char* name) {
    std::string n = name ? name : "";
    int dashes = 0;
    size_t at = std::string::npos;
    for (size_t i = 0; i < n.size(); i++)
        if (n[i] == '-' && ++dashes == 13)
            at = i;
    if (dashes != 14 || at == std::string::npos)
        return "";
    return n.substr(0, at + 1) + "iso10646-1";
}

// The wide twin of a font, looked up once per font; null when the display
// has none.  Kept for the session.
const Font* WideFont(const Font* font) {
    // Never destroyed: the fonts in it are the session's.
    static std::map<const Font*, const Font*>& known = *new std::map<const Font*, const Font*>;
    auto found = known.find(font);
    if (found != known.end())
        return found->second;
    const Font* wide = nullptr;
    Display* display = Session::instance() ? Session::instance()->default_display() : nullptr;
    const char* candidates[] = {nullptr, "-misc-fixed-medium-r-semicondensed--13-*-*-*-*-*-iso10646-1"};
    std::string own = WideName(font ? font->name() : nullptr);
    candidates[0] = own.c_str();
    for (const char* name : candidates)
        if (!wide && display && *name && Font::exists(display, name)) {
            wide = new Font(name);
            Resource::ref(wide);
        }
    known[font] = wide;
    return wide;
}

}  // namespace

Glyph* qirTextLabel(WidgetKit* kit, const char* text) {
    if (!text)
        text = "";
    size_t n = strlen(text);
    if (qirCharacters::IsAscii(text, n))
        return kit->label(text);
    const Font* wide = WideFont(kit->font());
    LayoutKit* lk = LayoutKit::instance();
    PolyGlyph* box = lk->hbox();
    std::string ascii;
    auto flush = [&] {
        if (!ascii.empty())
            box->append(kit->label(ascii.c_str()));
        ascii.clear();
    };
    for (unsigned long c : qirCharacters::Decode(text, n)) {
        if (c < 0x80) {
            ascii += static_cast<char>(c);
        } else if (wide && c <= 0xFFFF) {
            flush();
            box->append(new Character(c, wide, kit->foreground()));
        } else {
            ascii += '?';
        }
    }
    flush();
    return box;
}
