// One message laid out on PostScript pages and handed to the print command.
//
// Every page has a title box (the sender's face, From and Subject), 62
// line slots and a footer with the version, the time of printing and the
// page number.  Page 1 begins with the header fields, then a rule; the
// text follows (the text part, then a line per attachment, text
// attachments too when asked).  Lines are cut at the width of the body
// font's "W", never word-wrapped.
#ifndef QIR_PRINT_JOB_H
#define QIR_PRINT_JOB_H

#include <string>
#include <vector>

#include "qirObject.h"
#include "qirString.h"

#include <InterViews/enter-scope.h>

class Color;
class Glyph;
class LayoutKit;
class Patch;
class PSFont;
class Printer;
class WidgetKit;
class qirMsg;

class qirPrintJob : public qirObject {
public:
    // Sets everything up and builds the text.  A missing font directory or
    // font is reported at level 1 and counted: the job then prints nothing.
    // host is the asking window's face patch; the pages are allocated on
    // the printer's own canvas, so that window is never disturbed.
    qirPrintJob(qirMsg* message, Patch* host, WidgetKit* kit, LayoutKit* layout);
    ~qirPrintJob() override;

    // Writes the pages into a fresh private file (mode 0600, in TMPDIR or
    // /tmp) and runs `Printer.Command` on it: 0, or nonzero when nothing was
    // printed (every failure is reported at level 1).  The file is removed
    // afterwards when `Printer.RemoveFileAfterPrinting` says "yes".
    virtual int Print();
    // The pages as PostScript into text: 0, or nonzero after a failed set-up.
    int WritePostScript(std::string* text);

    int Failures() const { return failures_; }
    int Pages() const { return pageNumber_ - 1; }
    // The print file of the last Print (it may have been removed since).
    const qirString& File() const { return file_; }

    static const int slots = 62;

private:
    qirPrintJob(const qirPrintJob&) = delete;
    qirPrintJob& operator=(const qirPrintJob&) = delete;

    int SetUpFonts();
    void BuildPage();
    void BuildText();
    void BuildHeaderLines();
    Glyph* TitleLine(const char* prefix, const qirString& value);
    void FillPage(int page);
    Glyph* NextTextLine();
    void DefineFonts(std::string* text) const;

    qirMsg* message_;
    WidgetKit* kit_;
    LayoutKit* layout_;
    PSFont* titleFont_ = nullptr;
    PSFont* nameFont_ = nullptr;
    PSFont* valueFont_ = nullptr;
    PSFont* bodyFont_ = nullptr;
    PSFont* attachFont_ = nullptr;
    PSFont* footerFont_ = nullptr;
    Color* black_ = nullptr;
    Color* white_ = nullptr;
    Color* grey_ = nullptr;
    Patch* page_ = nullptr;       // referenced
    Patch* pageLabel_ = nullptr;  // the "Page %d" panel
    Patch* title_ = nullptr;      // background and title lines
    Patch* lines_ = nullptr;      // the 62 slots of this page
    Glyph* titleLines_ = nullptr; // referenced: From and Subject
    std::vector<Glyph*> headerLines_; // referenced, taken by page 1 on
    size_t headerTaken_ = 0;
    std::string text_;
    size_t position_ = 0;
    int lineChars_ = 1;
    int pageNumber_ = 1;
    int inAttachment_ = 0;
    int failures_ = 0;
    qirString footer_;
    qirString file_;
};

#endif
