// The about box and the controller that keeps at most one of it.
#ifndef QIR_ABOUT_H
#define QIR_ABOUT_H

#include "qirLauncher.h"
#include "qirString.h"
#include "qirTopWindow.h"

class Action;
class Raster;
class TopLevelWindow;
class Window;
class qirAboutWindow;

class qirAbout : public qirLauncher {
public:
    // parent leads the window group of the about window; not owned.
    explicit qirAbout(Window* parent);
    ~qirAbout() override;

    void open() override;
    void close() override;
    int is_open() override { return window_ != nullptr; }

    qirAboutWindow* AboutWindow() const { return window_; }
    // The picture shown; the shipped "about.tif" unless changed.
    qirString picture;

private:
    qirAboutWindow* window_ = nullptr;
    Window* parent_;
};

class qirAboutWindow : public qirTopWindow {
public:
    // Builds and maps the window.  A picture that cannot be read is
    // reported and leaves its place empty.
    qirAboutWindow(qirAbout* dock, Window* parent, const qirString& picture);
    ~qirAboutWindow() override;

    // Only the button closes the box.
    int close_request() override { return 1; }

    void Unmap();
    TopLevelWindow* TheWindow() const { return window_; }
    int PictureShown() const { return picture_ != nullptr; }

private:
    TopLevelWindow* window_;
    Raster* picture_;   // referenced, or null
    Action* close_;     // the button's action
};

#endif
