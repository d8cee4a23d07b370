#include "qirAddrBook.h"
#include "qirAddress.h"
#include "qirMsg.h"
#include "qirConfiguration.h"
#include "qirFilterList.h"
#include "qirFolder.h"
#include "qirLayout.h"
#include "qirMailcap.h"
#include "qirMsg.h"
#include "qirMsgComponent.h"
#include "qirStartup.h"
#include "qirError.h"
#include "qirLanguageGroup.h"
#include "qirProgress.h"
#include "qirStatus.h"
#include "qirUtilities.h"
#include "qirXFace.h"
#include "qirMsgList.h"

#include "qirMainWindow.h"
#include "qirDialog.h"

#include "FilterBookDock.h"
#include "MsgEdit.h"
#include "MsgEditDock.h"
#include "qirAbout.h"
#include "qirAddrBookWindow.h"
#include "qirAfterEvent.h"
#include "qirChildProcess.h"
#include "qirChoiceDialog.h"
#include "qirCloseHandler.h"
#include "qirFolderDialog.h"
#include "qirFolderListView.h"
#include "qirHelpManager.h"
#include "qirImagePath.h"
#include "qirListBox.h"
#include "qirLogWindow.h"
#include "qirMainMenu.h"
#include "qirMessageBox.h"
#include "qirMsgActions.h"
#include "qirMsgList.h"
#include "qirPrintJob.h"
#include "qirProgressIndicator.h"
#include "qirQuestionDialog.h"
#include "qirUiText.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include <IV-X11/Xlib.h>
#include <IV-look/dialogs.h>
#include <IV-look/fchooser.h>
#include <IV-look/field.h>
#include <IV-look/kit.h>
#include <IV-look/menu.h>
#include <InterViews/bitmap.h>
#include <InterViews/color.h>
#include <InterViews/display.h>
#include <InterViews/layout.h>
#include <InterViews/patch.h>
#include <InterViews/session.h>
#include <InterViews/stencil.h>
#include <InterViews/style.h>
#include <InterViews/window.h>
#include <OS/string.h>

qirMainWindow* qirApp = nullptr;

int (*qirMainWindow::ChooseFile)(const char*, const qirString&, const qirString&, const char*, Window*,
                                 qirString*) = qirMainWindow::PostFileChooser;

namespace {

const char* Str(const qirString& s) { return s.Data() ? s.Data() : ""; }

int IsDirectory(const qirString& path) {
    struct stat st;
    return stat(Str(path), &st) == 0 && S_ISDIR(st.st_mode);
}

int FileExists(const qirString& path) {
    struct stat st;
    return !path.IsEmpty() && stat(Str(path), &st) == 0;
}

// The directory part of a chosen path, "" when it has none.
qirString DirectoryOf(const qirString& path) {
    int slash = path.LastIndexOf('/');
    if (slash < 0)
        return qirString("");
    return slash == 0 ? qirString("/") : path.Left(slash);
}

// Writes a folder's display name, without a line feed.
int WriteName(const qirString& dir, const qirString& name) {
    qirString file = dir.Concat("/Name.txt");
    FILE* f = fopen(Str(file), "w");
    if (!f)
        return -1;
    int ok = fputs(Str(name), f) >= 0;
    return (fclose(f) == 0 && ok) ? 0 : -1;
}

void CopyIcon(const qirString& from, const qirString& to) {
    if (qirCopyFile(Str(from), Str(to)) != 0) {
        if (qirLog)
            qirLog->Report(qirLogError, "Can't copy %s -> %s\n", Str(from), Str(to));
        unlink(Str(to));
    }
}

// The display is gone: nothing may be drawn or asked any more, but the
// user's data is still saved before the process ends.  Called again from
// inside that save, it goes on where the save stood.
int DisplayLost(XDisplay*) {
    if (qirApp)
        qirApp->SaveForLostDisplay();
    _exit(1);
}

// A mail reference of a help page: a letter to its address (what follows
// a "?" is no part of the mailbox).
int ComposeFromHelp(const qirString& address) {
    MsgEditDock* dock = qirApp ? qirApp->NewComposeDock() : nullptr;
    if (!dock)
        return -1;
    int query = address.IndexOf('?');
    qirString mailbox = query < 0 ? address : address.Left(query);
    qirAddress to(mailbox.Data(), nullptr);
    if (dock->Message())
        dock->Message()->AddTo(&to);
    dock->open();
    return 0;
}

// A critical error ends the process once its box is closed: what the
// lost-display path saves is saved first.
void SaveBeforeCriticalEnd() {
    if (qirApp)
        qirApp->SaveBeforeEnd("A critical error ends the program: saving and ending");
}

}  // namespace

qirMainWindow::qirMainWindow() : lastDir_("~") {
    memset(faceRaster_, 0, sizeof faceRaster_);
}

qirMainWindow::~qirMainWindow() {
    // What the quit deletes is still here after the saves before an end
    // (SaveBeforeEnd), which leave it for the process's end.
    delete folders_;
    folders_ = nullptr;
    delete book_;
    book_ = nullptr;
    delete layout_;
    layout_ = nullptr;
    if (qirLog) {
        if (qirLog->IsOpen())
            qirLog->Close();
        delete qirLog;
        qirLog = nullptr;
    }
    if (qirProgressReporter == progress_)
        qirProgressReporter = nullptr;
    delete progress_;
    progress_ = nullptr;
    delete about_;
    about_ = nullptr;
    delete filterBook_;
    filterBook_ = nullptr;
    // The main window goes only now: the quit action runs inside its menu.
    delete window_;
    window_ = nullptr;
    Resource::unref(faceStencil_);
    Resource::unref(faceColor_);
    composeDocks_.Remove(nullptr);
    qirFreeArguments(args_, argCount_);
    delete[] argv_;
    if (ownSession_)
        delete session_;
}

int qirMainWindow::ParseOptions(int argc, char** argv) { return options_.Parse(argc, argv); }

int qirMainWindow::run(int argc, char** argv) {
    args_ = options_.SessionArguments(argc, argv, &argCount_);
    session_ = Session::instance();
    if (!session_) {
        // The session may take words out of the vector it is given.
        argv_ = new char*[argCount_ + 1];
        for (int i = 0; i < argCount_; i++)
            argv_[i] = args_[i];
        argv_[argCount_] = nullptr;
        int n = argCount_;
        session_ = new Session("QIR", n, argv_);
        ownSession_ = 1;
    }
    if (Start() != 0)
        return 1;
    XSetIOErrorHandler(DisplayLost);
    return session_->run_window(window_);
}

void qirMainWindow::LoadDefaultFace() {
    qirXFace face;
    qirString logo = qirImagePath("logo.pbm");
    if (face.ReadPBM(Str(logo)) == 0 && face.XbmBits())
        memcpy(faceRaster_, face.XbmBits(), 288);
    else
        memset(faceRaster_, 0, sizeof faceRaster_);
    Bitmap* bitmap = new Bitmap(faceRaster_, 48, 48);
    faceStencil_ = new Stencil(bitmap, faceColor_);
    Resource::ref(faceStencil_);
}

Glyph* qirMainWindow::FacePicture(const unsigned char* bits, const Color* fallback) {
    if (bits) {
        const Color* ink = qirApp && qirApp->faceColor_ ? qirApp->faceColor_ : fallback;
        return new Stencil(new Bitmap(bits, 48, 48), ink ? ink : WidgetKit::instance()->foreground());
    }
    if (qirApp && qirApp->faceStencil_)
        return qirApp->faceStencil_;
    return LayoutKit::instance()->fixed(nullptr, 48, 48);
}

int qirMainWindow::Start() {
    session_ = Session::instance();
    kit_ = WidgetKit::instance();
    dialogKit_ = DialogKit::instance();
    layoutKit_ = LayoutKit::instance();
    style_ = session_ ? session_->style() : nullptr;
    if (!session_ || !kit_ || !dialogKit_ || !layoutKit_ || !style_) {
        fprintf(stderr, "QIR: Can't initialise session!\n");
        return 1;
    }

    // Viewers and editors are reaped, and SIGTERM or SIGHUP quits with the
    // quit's saves, from the event loop.
    if (qirChildProcess::Install() != 0)
        fprintf(stderr, "QIR: can't watch child processes and signals\n");

    mailcap_.LoadConfigured();
    qirHelpManager::ComposeTo = ComposeFromHelp;

    qirString bookPath = qirConfig.Get("AddrBook");
    book_ = new qirAddrBook(bookPath);
    if (book_->Load() != 0) {
        fprintf(stderr, "Can't load address book: %s\n", Str(bookPath));
        delete book_;
        book_ = nullptr;
    }

    layout_ = new qirLayout(qirPath(qirConfig.Get("Layout")));

    faceColor_ = new Color(0.0, 0.0, 0.0, 1.0);
    Resource::ref(faceColor_);
    LoadDefaultFace();

    if (!qirConfig.Get("Debug.ProgressIndicator").EqualsIgnoreCase("Off")) {
        progress_ = new qirProgressIndicator();
        qirProgressReporter = progress_;
    }

    qirString folderDir = qirConfig.Get("FolderDir");
    for (const char* name : {"Incoming", "Outgoing"}) {
        qirString dir = folderDir.Concat("/").Concat(name).Concat(".QIR");
        if (!IsDirectory(dir)) {
            unlink(Str(dir));
            mkdir(Str(dir), 0700);
        }
    }

    folders_ = new qirFolderListView(qirDirectory(folderDir));
    folders_->Load();

    // From here on the log also shows itself: boxes for critical errors
    // and errors, and the panel when the configuration asks for it.
    qirLogWindow* log = new qirLogWindow(qirLog, &qirConfig, layout_, kit_, layoutKit_, style_);
    delete qirLog;
    qirLog = log;
    log->OnCritical(SaveBeforeCriticalEnd);

    String value;
    int titled = style_->find_attribute("name", value) || style_->find_attribute("title", value);

    LayoutKit* lk = layoutKit_;
    Glyph* menubar = qir_build_main_menubar(this, kit_, lk);
    for (int i = 0; i < 7; i++)
        log->AttachSwitch(i, logToggles_[i]);
    int limit = -1;
    if (qirConfig.GetInt("Debug.LogFileLimit", &limit) != 0)
        limit = -1;
    log->Open(Str(folderDir.Concat("/QIR.log")), qirLogDebug, limit);
    qirListBox* rows = folders_->Rows();
    folderPatch_ = new Patch(lk->hbox(rows, kit_->vscroll_bar(rows)));
    Coord height = session_->default_display()->height() * 0.75f;
    Glyph* area = lk->flexible(lk->natural_span_dimension(kit_->inset_frame(folderPatch_), Dimension_Y, height),
                               10000000, 10000000);
    PolyGlyph* box = lk->vbox(kit_->bright_inset_frame(menubar), area);
    if (Glyph* panel = log->PanelGlyph())
        box->append(lk->vcenter(lk->vfixed(kit_->inset_frame(panel), 100), 1.0));
    window_ = new ApplicationWindow(box);
    if (!titled)
        qir_set_window_style(window_, "Quorvane", style_);
    window_->wm_delete(new qirCloseHandler(this));
    qir_place_window(window_, dynamic_cast<Menu*>(menubar));

    qirString iconPath = qirImagePath("QIR.xbm");
    if (Bitmap* icon = Bitmap::open(Str(iconPath)))
        window_->icon_bitmap(icon);
    else
        fprintf(stderr, "Can't load bitmap %s\n", Str(iconPath));

    if (qirLog)
        qirLog->Write(qirLogStatistics, "QIR Startting");

    if (filters_.Load() != 0) {
        if (qirLog)
            qirLog->Write(qirLogWarning, "Can't load filter file!");
        filters_.Remove(nullptr);
    }

    qirString check = qirConfig.Get("CheckMailOnStartup");
    if (check.EqualsIgnoreCase("yes") || check.EqualsIgnoreCase("true"))
        CheckNewMail();
    return 0;
}

void qirMainWindow::Quit() {
    Shutdown();
    if (session_)
        session_->quit();
}

void qirMainWindow::Shutdown() {
    if (shutDown_)
        return;
    shutDown_ = 1;
    if (qirLogWindow* log = qirLogWindow::Current())
        log->SaveShowSettings();
    if (window_ && window_->is_mapped())
        window_->unmap();
    if (about_)
        about_->close();
    qirHelp.Close();
    delete bookWindow_;
    bookWindow_ = nullptr;
    if (book_) {
        book_->Save();
        delete book_;
        book_ = nullptr;
    }
    if (folders_) {
        // Each folder closes its window and is flushed (Incoming's read
        // messages pass the filters first) while it is still listed: an end
        // that comes during the filters' question finds it there.
        for (qirFolder* f = folders_->First(); f; f = qirFolderList::Next(f))
            static_cast<qirMsgList*>(f)->CloseWindow();
        delete folders_;
        folders_ = nullptr;
    }
    delete filterBook_;
    filterBook_ = nullptr;
    filters_.Remove(nullptr);
    // Nothing typed is lost: each letter goes into its draft, which stays.
    // Deleting a controller ends its external editor.
    for (qirObject* o = composeDocks_.First(); o; o = qirList::Next(o))
        static_cast<MsgEditDock*>(o)->SaveDraft();
    composeDocks_.Remove(nullptr);
    composer_ = nullptr;
    delete layout_; // saves the layout file
    layout_ = nullptr;
    // Windows closed by their own actions just before the quit.
    qirAfterEvent::RunPending();
}

void qirMainWindow::SaveForLostDisplay() {
    // Nothing may be drawn any more: no box, no panel.
    if (qirLogWindow* log = qirLogWindow::Current())
        log->FileOnly();
    SaveBeforeEnd("The X display is gone: saving and ending");
}

void qirMainWindow::SaveBeforeEnd(const char* why) {
    ending_ = 1;
    if (endStep_ == 0 && qirLog)
        qirLog->Write(qirLogError, why);
    // The step under way when this is entered again is not tried twice.
    while (EndStep(endStep_++))
        ;
}

int qirMainWindow::EndStep(int n) {
    // The letters first: they hold what was typed and exists nowhere else.
    int docks = composeDocks_.Count();
    if (n < docks) {
        static_cast<MsgEditDock*>(composeDocks_.Nth(n))->SaveForLostDisplay();
        return 1;
    }
    n -= docks;
    int folders = folders_ ? folders_->Count() : 0;
    switch (n) {
    case 0:
        if (qirLogWindow* log = qirLogWindow::Current())
            log->SaveShowSettings();
        return 1;
    case 1:
        if (layout_)
            layout_->Save();
        return 1;
    case 2:
        if (book_)
            book_->Save();
        return 1;
    default:
        break;
    }
    n -= 3;
    if (n < folders) {
        static_cast<qirMsgList*>(static_cast<qirFolder*>(folders_->Nth(n)))->CloseForEnd();
        return 1;
    }
    n -= folders;
    if (n == 0) {
        // The folders' sort settings.
        if (layout_)
            layout_->Save();
        return 1;
    }
    if (n == 1) {
        // The process ends next: the file itself is trimmed and closed (the
        // log window's own Close would only let go of its panel).
        if (qirLog && qirLog->IsOpen())
            qirLog->qirError::Close();
        return 1;
    }
    return 0;
}

Style* qirMainWindow::WindowStyle() {
    if (qirApp && qirApp->style_)
        return qirApp->style_;
    return Session::instance() ? Session::instance()->style() : nullptr;
}

// ---------------------------------------------------------------- folders

Window* qirMainWindow::Parent(Window* given) const { return given ? given : window_; }

void qirMainWindow::Warn(const qirString& text) { qirMessageBox::Warn(window_, text); }

void qirMainWindow::OpenFolder() {
    if (qirMsgList* folder = folders_ ? folders_->Selected() : nullptr)
        folder->activate();
}

qirPath qirMainWindow::NewFolderPath(const qirString& folderDir) {
    for (int n = 0;; n++) {
        qirString path;
        path.Format("%s/Folder_%d.QIR", Str(folderDir), n);
        struct stat st;
        if (lstat(Str(path), &st) != 0)
            return qirPath(path);
    }
}

void qirMainWindow::NewFolder() {
    if (!folders_)
        return;
    qirString name("");
    qirPath icon("");
    qirFolderDialog* dialog = new qirFolderDialog(&name, &icon, 0, 1);
    Resource::ref(dialog);
    bool accepted = dialog->post_for(window_);
    Resource::unref(dialog);
    if (!accepted)
        return;
    qirPath dir = NewFolderPath(qirConfig.Get("FolderDir"));
    if (mkdir(Str(dir), 0700) != 0) {
        if (qirLog)
            qirLog->Report(qirLogError, "Can't create folder dir: %s", Str(dir));
        return;
    }
    if (!name.IsEmpty() && WriteName(dir, name) != 0 && qirLog)
        qirLog->Report(qirLogError, "Can't write the name of folder %s", Str(dir));
    // The dialog shows the default icon for an empty one: that needs no copy.
    if (!icon.IsEmpty() && icon != qirImagePath("folder.tif"))
        CopyIcon(icon, dir.Concat("/Icon.tif"));
    folders_->Append(static_cast<qirFolder*>(folders_->CreateFolder(qirDirectory(dir))));
}

void qirMainWindow::FolderProperties() {
    qirMsgList* folder = folders_ ? folders_->Selected() : nullptr;
    if (!folder)
        return;
    qirString name = folder->Name();
    qirPath icon = folder->Icon();
    qirPath oldIcon = icon;
    qirFolderDialog* dialog = new qirFolderDialog(&name, &icon, folder->IsIncoming(), 0);
    Resource::ref(dialog);
    bool accepted = dialog->post_for(window_);
    Resource::unref(dialog);
    if (!accepted)
        return;
    qirString dir = qirFolderDirectory(folder) ? qirString(*qirFolderDirectory(folder)) : qirString("");
    if (name != folder->Name()) {
        folder->SetName(name);
        if (WriteName(dir, name) != 0 && qirLog)
            qirLog->Report(qirLogError, "Can't write the name of folder %s", Str(dir));
    }
    if (icon != oldIcon && FileExists(icon)) {
        qirPath target = dir.Concat("/Icon.tif");
        // Copy through a fresh file: the chosen icon may be the old one.
        if (icon != target) {
            unlink(Str(target));
            CopyIcon(icon, target);
        }
        folder->SetIcon(target);
    }
    folder->RefreshIcon();
}

void qirMainWindow::DeleteFolder() {
    qirMsgList* folder = folders_ ? folders_->Selected() : nullptr;
    if (!folder)
        return;
    if (folder->IsIncoming() || folder->IsOutgoing()) {
        Warn(qirUiText(635));
        return;
    }
    qirString l1(qirUiText(636)), l2(folder->Name()), l3(qirUiText(637));
    qirQuestionDialog* question = new qirQuestionDialog(kit_, layoutKit_, style_, "Confirm", &l1, &l2, &l3);
    Resource::ref(question);
    bool yes = question->post_for(window_);
    Resource::unref(question);
    if (!yes)
        return;
    if (folders_->DeleteFolder(folder) != 0 && qirLog)
        qirLog->Write(qirLogError, "Can't remove the whole folder directory");
    if (folderPatch_) {
        folderPatch_->reallocate();
        folderPatch_->redraw();
    }
}

// ---------------------------------------------------------------- file dialogs

int qirMainWindow::PostFileChooser(const char* title, const qirString& dir, const qirString& suggested,
                                   const char* acceptLabel, Window* parent, qirString* chosen) {
    Style* parentStyle = qirApp ? qirApp->AppStyle() : Session::instance()->style();
    Style* style = new Style(String("qirWindow"), parentStyle);
    style->attribute(String("name"), String(title), 0);
    style->attribute(String("open"), String(acceptLabel), 0);
    Resource::ref(style);
    FileChooser* chooser = DialogKit::instance()->file_chooser(String(Str(dir)), style);
    Resource::ref(chooser);
    if (!suggested.IsEmpty() && chooser->input_handler_count() > 0)
        if (FieldEditor* field = dynamic_cast<FieldEditor*>(chooser->input_handler(0)))
            field->field(Str(suggested));
    bool accepted = qir_post_dialog_for(chooser, parent);
    if (accepted) {
        const String* s = chooser->selected();
        *chosen = s ? qirString(s->string(), s->length()) : qirString("");
    }
    Resource::unref(chooser);
    Resource::unref(style);
    return accepted ? 1 : 0;
}

int qirMainWindow::SaveFileDialog(qirString* file, int* append, Window* parent) {
    Window* over = Parent(parent);
    qirString dir = lastDir_;
    qirString suggested = dir.Concat("/").Concat(*file);
    for (;;) {
        qirString chosen;
        if (!ChooseFile("Save file", dir, suggested, "Save", over, &chosen)) {
            *file = "";
            return 0;
        }
        if (chosen.IsEmpty())
            continue;
        if (qirLog) {
            qirString line;
            line.Format(qirUiText(120), Str(chosen));
            qirLog->Write(qirLogInfo, Str(line));
        }
        if (FileExists(chosen)) {
            qirList lines, labels;
            qirString* question = new qirString;
            question->Format(qirUiText(121), Str(chosen));
            lines.Append(question);
            lines.Append(new qirString(qirUiText(122)));
            for (int n : {116, 115, 111})
                labels.Append(new qirString(qirUiText(n)));
            qirChoiceDialog* choice = new qirChoiceDialog(kit_, layoutKit_, style_, "Confirm", lines, labels);
            Resource::ref(choice);
            bool answered = choice->post_for(over);
            int which = choice->Choice();
            Resource::unref(choice);
            lines.Remove(nullptr);
            labels.Remove(nullptr);
            if (!answered || which == 2 || which < 0) {
                suggested = chosen;
                continue;
            }
            *append = which == 1;
        }
        *file = chosen;
        qirString chosenDir = DirectoryOf(chosen);
        if (!chosenDir.IsEmpty())
            lastDir_ = chosenDir;
        return 0;
    }
}

int qirMainWindow::OpenFileDialog(qirString* file, Window* parent) {
    Window* over = Parent(parent);
    for (;;) {
        qirString chosen;
        if (!ChooseFile("Open file", lastDir_.Concat("/"), qirString(""), "Open", over, &chosen)) {
            *file = "";
            return 0;
        }
        if (chosen.IsEmpty())
            continue;
        qirString chosenDir = DirectoryOf(chosen);
        if (FileExists(chosen)) {
            *file = chosen;
            if (!chosenDir.IsEmpty())
                lastDir_ = chosenDir;
            return 0;
        }
        qirString line;
        line.Format(qirUiText(121), Str(chosen));
        qirQuestionDialog* question = new qirQuestionDialog(kit_, layoutKit_, style_, "Warning", &line);
        Resource::ref(question);
        bool yes = question->post_for(over);
        Resource::unref(question);
        if (!chosenDir.IsEmpty())
            lastDir_ = chosenDir;
        if (yes)
            return 0;
    }
}

// ---------------------------------------------------------------- menus

void qirMainWindow::HelpFolders() { ShowHelp("QIR folder list Help", "h_folders.rtf"); }

void qirMainWindow::HelpIndex() { ShowHelp("QIR Help Index", "index.rtf"); }

void qirMainWindow::ShowHelp(const char* title, const char* target) {
    qirHelp.Show(qirHelpReference(qirString(title), qirPath(target)));
}


int qirMainWindow::PrintMessage(qirMsg* message, Patch* host) {
    if (!message)
        return 1;
    qirPrintJob job(message, host, kit_, layoutKit_);
    return job.Print();
}

void qirMainWindow::About() {
    if (!about_)
        about_ = new qirAbout(window_);
    about_->open();
}

void qirMainWindow::Compose() {
    if (MsgEditDock* dock = NewComposeDock())
        dock->open();
}

MsgEditDock* qirMainWindow::NewComposeDock() {
    qirPath path = DraftPath();
    if (path.IsEmpty()) {
        if (qirLog)
            qirLog->Report(qirLogError, "Can't make a draft for a new letter in <%s/Drafts>",
                           Str(qirConfig.Get("FolderDir")));
        return nullptr;
    }
    qirMsg* draft = new qirMsg(path);
    // The text part takes the configured type before anything (a quote)
    // is written into it.
    if (qirMsgComponent* body = draft->Body())
        if (!body->IsMultipart())
            body->ContentType() = MsgEdit::BodyType();
    if (draft->Save() != qirOK && qirLog)
        qirLog->Report(qirLogDebug, "Error(<%s>,%d) Error saving msg!\n", "qirMainWindow", __LINE__);
    MsgEditDock* dock = new MsgEditDock(draft, window_);
    composeDocks_.Append(dock);
    return dock;
}

void qirMainWindow::ComposeClosed(MsgEditDock* dock) {
    if (!dock || !composeDocks_.Unlink(dock))
        return;
    qirAfterEvent::Delete(dock);
}

void qirMainWindow::AttachComposer(MsgEdit* window) {
    composer_ = window;
    if (bookWindow_)
        bookWindow_->AttachComposer(window);
}

void qirMainWindow::DetachComposer(MsgEdit* window) {
    if (window && window != composer_)
        return;
    composer_ = nullptr;
    if (bookWindow_)
        bookWindow_->AttachComposer(nullptr);
}

// Drops a dock made for a letter that could not be prepared: its draft
// leaves the disk with it.
static void DropDock(qirList* docks, MsgEditDock* dock) {
    docks->Unlink(dock);
    qirMainWindow::RemoveDraft(dock->Message());
    delete dock;
}

void qirMainWindow::ComposeReply(const qirMsg* original, int quote, Window* over) {
    MsgEditDock* dock = original && qirMsgActions::ReadWhole(&original, 1, over) ? NewComposeDock() : nullptr;
    if (!dock)
        return;
    int status = dock->Message()->MakeReply(original, quote);
    if (status != qirOK) {
        if (qirLog)
            qirLog->Report(qirLogError, "Can't prepare the reply (%d)", status);
        DropDock(&composeDocks_, dock);
        return;
    }
    dock->open();
}

void qirMainWindow::ComposeForward(const qirMsg* original, Window* over) {
    MsgEditDock* dock = original && qirMsgActions::ReadWhole(&original, 1, over) ? NewComposeDock() : nullptr;
    if (!dock)
        return;
    int status = dock->Message()->MakeResend(original);
    if (status != qirOK) {
        if (qirLog)
            qirLog->Report(qirLogError, "Can't prepare the forwarded copy (%d)", status);
        DropDock(&composeDocks_, dock);
        return;
    }
    dock->open();
}

int qirMainWindow::OpenAddressBook() {
    if (!book_) {
        qirString path = qirConfig.Get("AddrBook");
        book_ = new qirAddrBook(path);
        int status = book_->Load();
        if (status != 0) {
            if (qirLog)
                qirLog->Report(qirLogError, "Can't load address book: %s\n", Str(path));
            delete book_;
            book_ = nullptr;
            return status;
        }
    }
    if (bookWindow_)
        bookWindow_->Show();
    else {
        bookWindow_ = new qirAddrBookWindow(book_);
        bookWindow_->AttachComposer(composer_);
    }
    return 0;
}

void qirMainWindow::AddressBook() {
    OpenAddressBook();
    DetachComposer();
}

void qirMainWindow::CloseAddressBook() { qirAfterEvent::Close(bookWindow_); }

void qirMainWindow::RefreshAddressBook() {
    if (bookWindow_)
        bookWindow_->Refresh();
}

void qirMainWindow::OpenFilterBook() {
    if (!filterBook_)
        filterBook_ = new FilterBookDock(&filters_, window_);
    filterBook_->open();
}

// ---------------------------------------------------------------- the process

int qir_window_session(int argc, char** argv) {
    qirApp = new qirMainWindow();
    int status = 0;
    if (qirApp->ParseOptions(argc, argv) == 0)
        status = qirApp->run(argc, argv);
    // Whatever ended the loop, the user's data is saved.
    qirApp->Shutdown();
    return status;
}
