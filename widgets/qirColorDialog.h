// Picks the colour of the text typed next in the editor: 64 swatches, one
// of them pressed, and accept, default and cancel buttons.
#ifndef QIR_COLOR_DIALOG_H
#define QIR_COLOR_DIALOG_H

#include "qirDialog.h"

#include <InterViews/geometry.h>
#include <InterViews/input.h>

class Button;
class LayoutKit;
class WidgetKit;
class qirColorDialog;

// One swatch of the palette: a 32-point square of its colour, raised while
// not selected and sunk while selected.
class qirColorSwatch : public InputHandler {
public:
    qirColorSwatch(const char* name, qirColorDialog* dialog, WidgetKit* kit, LayoutKit* layout);
    ~qirColorSwatch() override;

    void draw(Canvas*, const Allocation&) const override;
    void undraw() override;
    // Selects the swatch.
    void press(const Event&) override;

    void Select();
    void Unselect();

    // "#rrggbb".
    const char* Name() const { return name_; }
    int IsSelected() const { return selected_; }

private:
    void ShowFrame();

    char name_[8];
    qirColorDialog* dialog_;  // not owned: the dialog holds the swatch
    WidgetKit* kit_;
    Glyph* patch_;            // referenced: the colour square
    mutable Canvas* canvas_ = nullptr;
    mutable Extension extension_;
    int selected_ = 0;
};

class qirColorDialog : public qirDialog {
public:
    enum { Rows = 8, Columns = 8, Swatches = Rows * Columns };

    // Selects the swatch named exactly initial ("#rrggbb"), else the first
    // (black).  initial may be null.
    explicit qirColorDialog(const char* initial);

    // The selected swatch's name, or null.
    const char* Selected() const;
    // 1 when the dialog was closed with the default button.
    int Default() const { return default_; }

    // Swatch number i = 8 * row + column.
    qirColorSwatch* Swatch(int i) const { return i >= 0 && i < Swatches ? swatch_[i] : nullptr; }
    qirColorSwatch* SelectedSwatch() const { return selected_; }
    Button* AcceptButton() const { return accept_; }
    Button* DefaultButton() const { return defaultButton_; }
    Button* CancelButton() const { return cancel_; }

    // The palette colour of row r and column c: "#rrggbb".
    static void PaletteName(int row, int column, char name[8]);

private:
    friend class qirColorSwatch;
    void Accept(int);
    void TakeDefault(int);
    void Cancel(int);

    qirColorSwatch* selected_ = nullptr;
    int default_ = 0;
    qirColorSwatch* swatch_[Swatches];
    Button* accept_;
    Button* defaultButton_;
    Button* cancel_;
};

#endif
