#include "qirAddrBook.h"
#include "qirAddress.h"
#include "qirCharacters.h"
#include "qirConfiguration.h"
#include "qirError.h"
#include "qirFilterList.h"
#include "qirFormat.h"
#include "qirHeaderFields.h"
#include "qirLayout.h"
#include "qirLock.h"
#include "qirMailcap.h"
#include "qirMsg.h"
#include "qirMsgComponent.h"
#include "qirMsgMultipartComponent.h"
#include "qirStartup.h"
#include "qirUtilities.h"

// What the title box shows, read before InterViews' headers rename the
// message's operations.
namespace {

qirString SubjectOf(const qirMsg* m) { return m->Subject() ? *m->Subject() : qirString(""); }

qirString SenderOf(const qirMsg* m) {
    const qirAddress* from = static_cast<const qirAddress*>(m->From() ? m->From()->First() : nullptr);
    return from ? from->Format() : qirString("");
}

}  // namespace

#include "qirPrintJob.h"

#include "qirMainWindow.h"
#include "qirUiText.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <strings.h>
#include <unistd.h>

#include <IV-look/kit.h>
#include <InterViews/background.h>
#include <InterViews/border.h>
#include <InterViews/canvas.h>
#include <InterViews/color.h>
#include <InterViews/label.h>
#include <InterViews/layout.h>
#include <InterViews/patch.h>
#include <InterViews/printer.h>
#include <InterViews/psfont.h>

namespace {

const float pageWidth = 500;
const float pageHeight = 720;
const float titleWidth = 452;
// A slot's height: the lines box's 620 points shared by its 62 slots.
// Font metrics are not used for it, as fonts disagree on their heights.
const float slotHeight = 10;

const char* Str(const qirString& s) { return s.Data() ? s.Data() : ""; }

// InterViews' PostScript font measures a string by the screen font behind
// it; its metrics are only asked per character.  Labels measure strings,
// and the printer spreads each string to the measured width, so a string
// is measured here as the sum of its characters.
class MetricFont : public PSFont {
public:
    MetricFont(const char* psname, Coord size, const char* name, float scale) : PSFont(psname, size, name, scale) {}
    Coord width(long c) const override { return PSFont::width(c); }
    Coord width(const char* s, int n) const override {
        Coord w = 0;
        for (int i = 0; i < n; i++)
            w += PSFont::width(static_cast<long>(static_cast<unsigned char>(s[i])));
        return w;
    }
};

const char* configuredFonts[] = {"FontHeaderHandler", "FontHeaderValue", "FontHeaderBody", "FontAttach"};

qirString Key(const char* name) { return qirConfig.Get((std::string("Printer.Fonts.") + name).c_str()); }

int Yes(const char* key) { return qirConfig.Get(key).EqualsIgnoreCase("yes"); }

// The name the printer writes for a font: its full name with blanks made
// dashes.  The fonts are defined again under that name, re-encoded.
std::string PrinterName(const PSFont* font) {
    std::string name = font->name() ? font->name() : "";
    for (char& c : name)
        if (c == ' ')
            c = '-';
    return name;
}

// Text in UTF-8 is printed in the Latin-1 the fonts are encoded in (a
// character beyond it prints as "?"); any other byte is taken as Latin-1.
std::string ToLatin1(const std::string& text) { return qirCharacters::Latin1(text); }

std::string ToLatin1(const qirString& text) { return ToLatin1(std::string(text.Data() ? text.Data() : "")); }

void AppendFile(std::string* text, const qirPath& path) {
    std::string contents;
    if (qirReadWholeFile(Str(path), &contents) == 0)
        *text += ToLatin1(contents);
}

}  // namespace

qirPrintJob::qirPrintJob(qirMsg* message, Patch* host, WidgetKit* kit, LayoutKit* layout)
    : qirObject(0), message_(message), kit_(kit), layout_(layout) {
    if (!getenv("PSFONTDIR")) {
        qirString dir = qirConfig.Get("Printer.Fonts.PsFontMetricsDir");
        if (dir.IsEmpty()) {
            qirLog->Write(qirLogError, "Can't find PostScript fonts");
            failures_++;
            return;
        }
        setenv("PSFONTDIR", Str(dir), 1);
    }
    footer_ = qirString("Printed from QIR version ").Concat(qirVersionNumber()).Concat("  at ")
                  .Concat(qirMsg::FormatDate(message, time(nullptr)));
    if (!message_ || !kit_ || !layout_ || SetUpFonts() != 0) {
        failures_ += failures_ ? 0 : 1;
        return;
    }
    black_ = new Color(0, 0, 0, 1);
    white_ = new Color(1, 1, 1, 1);
    grey_ = new Color(0.12, 0.12, 0.12, 1);
    for (Color* c : {black_, white_, grey_})
        Resource::ref(c);
    BuildPage();
    BuildText();
    BuildHeaderLines();
}

qirPrintJob::~qirPrintJob() {
    for (Glyph* g : headerLines_)
        Resource::unref(g);
    Resource::unref(titleLines_);
    Resource::unref(page_);
    const Resource* owned[] = {titleFont_, nameFont_, valueFont_, bodyFont_, attachFont_, footerFont_,
                               black_, white_, grey_};
    for (const Resource* r : owned)
        Resource::unref(r);
}

int qirPrintJob::SetUpFonts() {
    // Checked in this order; the title font is used as it is.
    struct Want {
        const char* key;
        const char* report;
        float size;
        const char* screen;
        float scale;
        PSFont** font;
    } wants[] = {
        {"FontHeaderHandler", configuredFonts[0], 10, "-*-*-*-*-*-*-10-*-*-*-*-*-*-*", 1, &nameFont_},
        {"FontHeaderValue", configuredFonts[1], 10, "-*-*-*-i-*-*-10-*-*-*-*-*-*-*", 1, &valueFont_},
        {"FontBody", configuredFonts[2], 10, "-*-*-medium-*-*-*-10-*-*-*-*-*-*-*", 1, &bodyFont_},
        {"FontAttach", configuredFonts[3], 10, "-*-*-*-*-*-*-10-*-*-*-*-*-*-*", 1, &attachFont_},
    };
    for (const Want& w : wants) {
        qirString name = Key(w.key);
        if (name.IsEmpty() || !PSFont::exists(Str(name))) {
            qirLog->Report(qirLogError, "Can't find PostScript font metrics for %s", w.report);
            failures_++;
            return -1;
        }
        *w.font = new MetricFont(Str(name), w.size, w.screen, w.scale);
        Resource::ref(*w.font);
    }
    // The title font is not tested by name: a title font without metrics
    // falls back to the header name font's face, never to nothing.
    qirString title = Key("FontTitle");
    if (title.IsEmpty() || !PSFont::exists(Str(title)))
        title = Key("FontHeaderHandler");
    titleFont_ = new MetricFont(Str(title), 20, "-*-*-*-*-*-*-*-*-*-*-*-*-*-*", 1.5);
    footerFont_ = new MetricFont(Str(Key("FontBody")), 7, "-*-*-*-*-*-*-*-*-*-*-*-*-*-*", 1);
    Resource::ref(titleFont_);
    Resource::ref(footerFont_);
    Coord w = bodyFont_->width('W');
    lineChars_ = w > 0 ? static_cast<int>(pageWidth / w) : 80;
    if (lineChars_ < 1)
        lineChars_ = 1;
    return 0;
}

// A title line in white in the title font, cut before the character that
// reaches the width of the box.
Glyph* qirPrintJob::TitleLine(const char* prefix, const qirString& value) {
    std::string text = ToLatin1(std::string(prefix) + (value.Data() ? value.Data() : ""));
    Coord width = 0;
    size_t keep = 0;
    for (; keep < text.size(); keep++) {
        width += titleFont_->width(static_cast<unsigned char>(text[keep]));
        if (width >= titleWidth)
            break;
    }
    return layout_->vfixed(new Label(text.substr(0, keep).c_str(), titleFont_, white_), 20);
}

void qirPrintJob::BuildPage() {
    LayoutKit* lk = layout_;
    titleLines_ = lk->vbox(lk->vglue(), TitleLine(" From: ", SenderOf(message_)), lk->vglue(),
                           TitleLine(" Subject: ", SubjectOf(message_)), lk->vglue());
    Resource::ref(titleLines_);

    Glyph* face = qirMainWindow::FacePicture(message_->XFaceBits(), black_);

    title_ = new Patch(new Background(lk->hnatural(titleLines_, 453), black_));
    Glyph* titleBox = new Border(lk->fixed(lk->hbox(lk->vcenter(face), lk->vcenter(title_)), pageWidth, 47), black_);
    pageLabel_ = new Patch(new Label("Page 100", valueFont_, black_));

    PolyGlyph* placeholder = lk->vbox(slots);
    std::string wide(lineChars_ + 1, 'W');
    for (int i = 0; i < slots; i++)
        placeholder->append(lk->vfixed(new Label(wide.c_str(), bodyFont_, black_), slotHeight));
    lines_ = new Patch(placeholder);

    Glyph* rule = new Border(lk->hglue(pageWidth, 0, 0), black_, 0.5);
    Glyph* footer = lk->hbox(new Label(Str(footer_), footerFont_, black_), lk->hglue(), pageLabel_);
    Glyph* column = lk->vbox(lk->hcenter(titleBox), lk->vspace(5), lk->vspace(15),
                             lk->hcenter(lk->vnatural(lk->hnatural(lines_, pageWidth), 620)), lk->vglue(),
                             lk->vspace(15), lk->hcenter(lk->hnatural(rule, pageWidth)),
                             lk->hcenter(lk->hnatural(footer, pageWidth)));
    page_ = new Patch(lk->hmargin(lk->natural(column, pageWidth, pageHeight), 25, 0, 0, 25, 0, 0));
    Resource::ref(page_);
}

void qirPrintJob::BuildText() {
    qirMsgComponent* body = message_->Body();
    if (!body)
        return;
    qirMsgMultipartComponent* multi = body->IsMultipart() ? static_cast<qirMsgMultipartComponent*>(body) : nullptr;
    qirMsgComponent* textPart = multi ? multi->First() : body;
    if (textPart && !textPart->IsMultipart()) {
        text_ += '\n';
        AppendFile(&text_, textPart->Path());
    }
    if (multi) {
        int attachments = Yes("Printer.PrintAttacments");
        for (qirMsgComponent* p = textPart ? qirMsgMultipartComponent::Next(textPart) : nullptr; p;
             p = qirMsgMultipartComponent::Next(p)) {
            qirContentType type(p->ContentType());
            if (type.header.IsEmpty())
                type.BuildHeader();
            text_ += '\n';
            text_ += ToLatin1(qirFillFormat(qirUiText(350), {Str(type.header), std::to_string(p->Size())}));
            if (attachments && p->IsText() && !p->IsMultipart()) {
                text_ += '\n';
                AppendFile(&text_, p->Path());
            }
        }
    }
    // A tab takes four blanks, in one pass over the text.
    if (text_.find('\t') != std::string::npos) {
        std::string expanded;
        expanded.reserve(text_.size() + 64);
        for (char c : text_)
            expanded += c == '\t' ? std::string("    ") : std::string(1, c);
        text_.swap(expanded);
    }
}

// The header field lines of page 1: the name and as much of the value as
// fits, then the rest of the value on lines of its own.  They are slots
// like the text lines: a header longer than a page goes on to the next.
void qirPrintJob::BuildHeaderLines() {
    LayoutKit* lk = layout_;
    qirString mode = qirConfig.Get("ShowHeaderOrFields");
    bool all = mode.IsEmpty() || mode.EqualsIgnoreCase("Header");
    const qirConfiguration* shown = all ? nullptr : qirConfig.Find("HeaderShow");
    auto printed = [&](const char* name) {
        if (all)
            return true;
        std::string bare = name;
        if (!bare.empty() && bare.back() == ':')
            bare.pop_back();
        for (const qirConfiguration* c = shown ? shown->FirstChild() : nullptr; c; c = qirConfiguration::NextChild(c)) {
            qirString want = c->Value(0);
            if (want.EqualsIgnoreCase(name) || want.EqualsIgnoreCase(bare.c_str()))
                return true;
        }
        return false;
    };
    const qirHeaderFields* fields = message_->Fields();
    for (const qirObject* n = fields ? fields->First() : nullptr; n; n = qirList::Next(n)) {
        const qirPair* field = static_cast<const qirPair*>(n);
        const char* name = field->Key() && field->Key()->Data() ? field->Key()->Data() : "";
        if (!printed(name))
            continue;
        std::string value = ToLatin1(field->Value() ? *field->Value() : qirString(""));
        Coord used = nameFont_->width(name, static_cast<int>(strlen(name))) + valueFont_->width(' ');
        Glyph* lead = new Label(name, nameFont_, black_);
        size_t at = 0;
        do {
            size_t start = at;
            // Characters are taken while the width so far stays below the
            // page: the last one may cross it, as on the screen.
            while (at < value.size() && used < pageWidth)
                used += valueFont_->width(static_cast<unsigned char>(value[at++]));
            if (at == start && at < value.size())
                at++;
            Glyph* rest = new Label(value.substr(start, at - start).c_str(), valueFont_, black_);
            if (lead)
                rest = lk->hbox(lk->hspace(valueFont_->width(' ')), rest);
            Glyph* line = lk->vfixed(lead ? lk->hbox(lead, rest) : rest, slotHeight);
            Resource::ref(line);
            headerLines_.push_back(line);
            lead = nullptr;
            used = 0;
        } while (at < value.size());
    }
    Glyph* blank = lk->vfixed(new Label(" ", bodyFont_, black_), slotHeight);
    Glyph* rule = lk->vfixed(new Border(lk->hglue(pageWidth, 0, 0), black_, 0.5), 0.5);
    Glyph* separator = lk->vfixed(lk->vbox(lk->vglue(), lk->hnatural(rule, pageWidth), lk->vglue()), slotHeight);
    for (Glyph* g : {blank, separator}) {
        Resource::ref(g);
        headerLines_.push_back(g);
    }
}

// The next text line: up to a line's characters, cut at a newline; an
// empty line prints as one blank.  Lines between an attachment line and
// the next empty line are in the attachment font.
Glyph* qirPrintJob::NextTextLine() {
    size_t left = text_.size() - position_;
    size_t take = left < static_cast<size_t>(lineChars_) ? left : static_cast<size_t>(lineChars_);
    const char* at = text_.data() + position_;
    const char* newline = static_cast<const char*>(memchr(at, '\n', take));
    std::string line;
    if (newline == at) {
        line = " ";
        position_ += 1;
    } else if (newline) {
        line.assign(at, newline - at);
        position_ += newline - at + 1;
    } else {
        line.assign(at, take);
        position_ += take;
    }
    if (!inAttachment_ && line.compare(0, 15, "  [ Attachment:") == 0)
        inAttachment_ = 1;
    else if (inAttachment_ && line == " ")
        inAttachment_ = 0;
    return layout_->vfixed(new Label(line.c_str(), inAttachment_ ? attachFont_ : bodyFont_, black_), slotHeight);
}

void qirPrintJob::FillPage(int page) {
    LayoutKit* lk = layout_;
    char number[32];
    snprintf(number, sizeof number, "Page %d", page);
    pageLabel_->body(new Label(number, valueFont_, black_));
    if (page == 2)
        title_->body(new Background(lk->hnatural(titleLines_, 453), grey_));
    PolyGlyph* box = lk->vbox(slots);
    int filled = 0;
    for (; filled < slots && headerTaken_ < headerLines_.size(); filled++)
        box->append(headerLines_[headerTaken_++]);
    for (; filled < slots && position_ < text_.size(); filled++)
        box->append(NextTextLine());
    for (; filled < slots; filled++)
        box->append(lk->vfixed(new Label(" ", bodyFont_, black_), slotHeight));
    lines_->body(box);
}

void qirPrintJob::DefineFonts(std::string* text) const {
    // Each font is defined again under the name the printer writes, with
    // the Latin-1 encoding: "é" prints as itself, and a font known by its
    // own name is never substituted.
    *text += "%%BeginSetup\n"
             "/qirLatin1 {\n"
             "    findfont dup length dict begin\n"
             "    { 1 index /FID ne { def } { pop pop } ifelse } forall\n"
             "    /Encoding ISOLatin1Encoding def\n"
             "    currentdict end definefont pop\n"
             "} bind def\n";
    const char* keys[] = {"FontHeaderHandler", "FontHeaderValue", "FontBody", "FontAttach", "FontTitle"};
    const PSFont* fonts[] = {nameFont_, valueFont_, bodyFont_, attachFont_, titleFont_};
    std::vector<std::string> done;
    for (int i = 0; i < 5; i++) {
        std::string alias = PrinterName(fonts[i]);
        std::string name = Str(i == 4 && !PSFont::exists(Str(Key(keys[4]))) ? Key(keys[0]) : Key(keys[i]));
        bool seen = false;
        for (const std::string& d : done)
            seen = seen || d == alias;
        if (seen || alias.empty() || name.empty())
            continue;
        done.push_back(alias);
        *text += "/" + alias + " /" + name + " qirLatin1\n";
    }
    *text += "%%EndSetup\n";
}

int qirPrintJob::WritePostScript(std::string* text) {
    if (failures_)
        return failures_;
    std::ostringstream out;
    Printer* printer = new Printer(&out);
    Requisition req;
    page_->request(req);
    const Requirement& rx = req.x_requirement();
    const Requirement& ry = req.y_requirement();
    Coord width = rx.natural(), height = ry.natural();
    // The page's lower left corner at the canvas's origin.
    Allocation a;
    a.allot(Dimension_X, Allotment(width * rx.alignment(), width, rx.alignment()));
    a.allot(Dimension_Y, Allotment(height * ry.alignment(), height, ry.alignment()));
    printer->resize(0, 0, width, height);
    printer->prolog("QIR");
    std::string setup;
    DefineFonts(&setup);
    out << setup;
    headerTaken_ = 0;
    position_ = 0;
    inAttachment_ = 0;
    for (pageNumber_ = 1; pageNumber_ == 1 || headerTaken_ < headerLines_.size() || position_ < text_.size();
         pageNumber_++) {
        char label[32];
        snprintf(label, sizeof label, "%d", pageNumber_);
        printer->page(label);
        FillPage(pageNumber_);
        Extension ext;
        page_->allocate(printer, a, ext);
        // Boxes draw only what is damaged: the whole page is.
        printer->damage_all();
        page_->print(printer, a);
    }
    printer->epilog();
    out.flush();
    delete printer;
    *text = out.str();
    return out.good() ? 0 : 1;
}

int qirPrintJob::Print() {
    if (failures_)
        return failures_;
    std::string postscript;
    if (WritePostScript(&postscript) != 0) {
        qirLog->Write(qirLogError, "Can't lay out the message for printing");
        return 1;
    }
    const char* tmp = getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/msg_XXXXXX.ps";
    std::vector<char> name(path.begin(), path.end());
    name.push_back('\0');
    int fd = mkstemps(name.data(), 3);
    if (fd < 0) {
        qirLog->Report(qirLogError, "Can't make the print file %s: %s", path.c_str(), strerror(errno));
        return 1;
    }
    file_ = name.data();
    size_t written = 0;
    while (written < postscript.size()) {
        ssize_t n = write(fd, postscript.data() + written, postscript.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += static_cast<size_t>(n);
    }
    int saved = written == postscript.size() ? 0 : errno ? errno : EIO;
    if (close(fd) != 0 && !saved)
        saved = errno;
    if (saved) {
        qirLog->Report(qirLogError, "Can't write the print file %s: %s", Str(file_), strerror(saved));
        unlink(Str(file_));
        return 1;
    }

    int result = 0;
    qirString format = qirConfig.Get("Printer.Command");
    if (format.IsEmpty() || qirFormatArgumentCount(Str(format)) != 1) {
        qirLog->Report(qirLogError, "The print command \"%s\" must name the file with one %%s", Str(format));
        result = 1;
    } else {
        std::string command = qirFillFormat(Str(format), {Str(qirShellQuote(Str(file_)))});
        int status = system(command.c_str());
        if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            qirLog->Report(qirLogError, "The print command failed (status %d): %s",
                           status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1, command.c_str());
            result = 1;
        }
    }
    if (Yes("Printer.RemoveFileAfterPrinting"))
        unlink(Str(file_));
    return result;
}
