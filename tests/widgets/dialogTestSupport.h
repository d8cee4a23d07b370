// Posting real dialogs in tests: a hook that runs once the dialog window
// has mapped, with the window found under its title.
#ifndef QIR_DIALOG_TEST_SUPPORT_H
#define QIR_DIALOG_TEST_SUPPORT_H

#include "qirGuiTest.h"

#include "qirDialog.h"
#include "qirLanguageGroup.h"

#include <IV-look/button.h>
#include <InterViews/canvas.h>

#include <functional>

namespace dialogtest {

struct Posted {
    qirx::XWin xwin = 0;
    int posts = 0;
};
inline Posted& posted() {
    static Posted p;
    return p;
}
inline std::function<void(qirDialog*)>& answer() {
    static std::function<void(qirDialog*)> f;
    return f;
}

inline void Hook(qirDialog* d) {
    posted().posts++;
    posted().xwin = qirgui::WaitWindow(d->title().Data());
    if (answer())
        answer()(d);
}

// Loads the shipped catalogue and installs the hook.
inline void SetUp() {
    qirgui::TheSession();
    static bool loaded = qirLanguage.Load(QIR_BUILD_DATA "/QIR/Languages/English") == 0;
    (void)loaded;
    posted() = Posted();
    answer() = nullptr;
    qirDialog::MappedHook = Hook;
}
inline void TearDown() {
    qirDialog::MappedHook = nullptr;
    answer() = nullptr;
}

// Clicks the centre of a handler (a button, a swatch) of the posted dialog.
template <class H>
inline void ClickOn(H* h) {
    int x, y;
    qirgui::Centre(h->canvas(), h->allocation(), &x, &y);
    qirx::Click(posted().xwin, x, y);
}

// The pixel at x, y of a window as 0xRRGGBB (the server is 24-bit TrueColor).
inline unsigned long Pixel(qirx::XWin w, int x, int y) {
    XImage* img = XGetImage(qirx::Connection(), w, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!img)
        return ~0ul;
    unsigned long p = XGetPixel(img, 0, 0) & 0xffffff;
    XDestroyImage(img);
    return p;
}

// Handles what was sent so far as the dialog's modal loop would (keys to
// its keystroke operation), before a screenshot pumps events itself.
inline void DeliverKeys(qirDialog* d) {
    XSync(qirx::Connection(), False);
    Event e;
    while (qirgui::TheSession()->read(0, 0, e))
        if (e.type() == Event::key)
            d->keystroke(e);
        else
            e.handle();
}

inline void Type(qirx::XWin w, const char* text) {
    for (const char* c = text; *c; c++) {
        KeySym sym = XStringToKeysym(std::string(1, *c).c_str());
        if (*c >= 'A' && *c <= 'Z')
            qirx::SendKey(w, XStringToKeysym(std::string(1, char(*c - 'A' + 'a')).c_str()), ShiftMask);
        else
            qirx::SendKey(w, sym);
    }
}

}  // namespace dialogtest

#endif
