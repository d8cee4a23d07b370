// A message with a picture and one button.
#ifndef QIR_MESSAGE_BOX_H
#define QIR_MESSAGE_BOX_H

#include "qirDialog.h"

class Button;
class LayoutKit;
class WidgetKit;
class Window;

class qirMessageBox : public qirDialog {
public:
    // icon: the full path of a TIFF picture (see qirImagePath); one that
    // cannot be read leaves its place empty.  line1 is required, the others
    // may be null and are then left out.
    qirMessageBox(WidgetKit* kit, LayoutKit* layout, Style* parent, qirString title, qirString icon,
                  const qirString* line1, const qirString* line2 = nullptr,
                  const qirString* line3 = nullptr, const qirString* line4 = nullptr,
                  const qirString* line5 = nullptr, const qirString* line6 = nullptr,
                  const qirString* line7 = nullptr, const qirString* line8 = nullptr,
                  const qirString* line9 = nullptr, const qirString* line10 = nullptr);

    // Return or line feed closes the box as its button does.
    void keystroke(const Event&) override;

    Button* OkButton() const { return ok_; }

    // A user action refused (no selection, a rule of the window): the text
    // goes to the session log at level 2, then into a box titled "Warning"
    // with the warning picture, posted over `over` (not owned; null: the
    // screen's centre).
    static void Warn(Window* over, const qirString& text);

private:
    void Ok(int) { dismiss(true); }

    Button* ok_;
};

#endif
