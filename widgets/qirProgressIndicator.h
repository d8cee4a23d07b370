// The progress reporter of the window process: a small window with the
// caller's text lines, a percentage or a count, and a bar.
#ifndef QIR_PROGRESS_INDICATOR_H
#define QIR_PROGRESS_INDICATOR_H

#include "qirProgress.h"
#include "qirTopWindow.h"

class Glyph;
class LayoutKit;
class TopLevelWindow;
class WidgetKit;
class qirRedrawPatch;

class qirProgressIndicator : public qirTopWindow, public qirProgress {
public:
    qirProgressIndicator();
    ~qirProgressIndicator() override;

    // Shows the window and waits (a bounded time) until it is drawn.  A
    // progress still shown is ended first.
    void Begin(uint32_t total, uint32_t current, int percentMode, qirList* lines) override;
    // Shows the new amount at once; an amount over the total shows nothing.
    void Set(uint32_t current) override;
    // Takes the window away.  Input that reached other windows while it was
    // shown is dropped.
    void End() override;

    // The window manager's close leaves the window open.
    int close_request() override { return 1; }

    // Handles pending window events (exposures, layout) of the whole
    // application, with the input events of every window dropped: the work
    // in progress runs inside an event handler, and no second mail check,
    // quit or close may start inside it.  Stops as soon as patch (if not
    // null) has been drawn, when nothing is pending, or after a short time.
    static void HandleEventsUntil(qirRedrawPatch* patch, bool waitForDraw = false);
    // Takes the input events (keys, buttons, motion, window-manager close
    // requests) queued for this client off the queue.
    static void DropPendingInput();

    TopLevelWindow* TheWindow() const { return window_; }
    qirRedrawPatch* Patch() const { return patch_; }
    // The percentage shown (percent mode), or -1 when nothing is shown.
    int Percent() const { return percent_; }
    // The progress line shown: "Progress: 66%" or "Progress:   640 of  1200".
    const char* ProgressLine() const { return line_; }
    // Points of the bar's width, for the percentage shown.
    static float BarWidth(int percent) { return percent * 4.0f; }

private:
    Glyph* ProgressGlyph();
    int PercentOf(uint32_t current) const;

    TopLevelWindow* window_ = nullptr;
    qirRedrawPatch* patch_ = nullptr;  // referenced while shown
    WidgetKit* kit_;
    LayoutKit* layout_;
    int percent_ = -1;
    uint32_t shownCurrent_ = 0; // the count shown, in count mode
    char line_[64] = "";
};

#endif
