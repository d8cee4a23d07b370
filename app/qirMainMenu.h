// The main window's menu bar: folders, books, log levels and help.
#ifndef QIR_MAIN_MENU_H
#define QIR_MAIN_MENU_H

#include <InterViews/enter-scope.h>

class Glyph;
class LayoutKit;
class WidgetKit;
class qirMainWindow;

// Every label is a catalogue text; plain items call the application's
// actions, the log level check items are handed to the application
// (qirMainWindow::SetLogToggle) for the log panel.
Glyph* qir_build_main_menubar(qirMainWindow* app, WidgetKit* kit, LayoutKit* layout);

#endif
