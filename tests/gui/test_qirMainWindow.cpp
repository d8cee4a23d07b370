// The application object on a real X server: session start, the folder
// list, the folder actions and their dialogs, the file dialogs, the about
// box and the shut-down.
#include <gtest/gtest.h>

#include "qirAppTestSupport.h"

#include "qirAbout.h"
#include "qirChoiceDialog.h"
#include "qirChooseFolderDialog.h"
#include "qirFolderDialog.h"
#include "qirFolderListView.h"
#include "qirListBox.h"
#include "qirMessageBox.h"
#include "qirMsgList.h"
#include "qirQuestionDialog.h"

#ifndef RETSIGTYPE
#define RETSIGTYPE void
#endif
#include <Dispatch/dispatcher.h>
#include <Dispatch/iohandler.h>
#include <InterViews/session.h>
#include <InterViews/window.h>
#include <OS/string.h>

#include <dirent.h>
#include <unistd.h>

#include <vector>

using qirapp::Answer;

namespace {


std::vector<std::string> RowNames(qirFolderListView* view) {
    std::vector<std::string> names;
    for (int i = 0; i < view->Rows()->Count(); i++)
        names.push_back(static_cast<qirMsgList*>(view->Rows()->Item(i))->Name().Data());
    return names;
}

std::vector<std::string> ListNames(qirFolderList* list) {
    std::vector<std::string> names;
    for (qirFolder* f = list->First(); f; f = qirFolderList::Next(f))
        names.push_back(f->Name().Data());
    return names;
}

bool IsDir(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void SetField(FieldEditor* field, const char* text) { field->field(text); }

class QuitSoon : public IOHandler {
public:
    void timerExpired(long, long) override { Session::instance()->quit(); }
};

class MainWindowTest : public qirapp::AppTest {};

TEST_F(MainWindowTest, StartMakesIncomingOutgoingAndOrdersTheRows) {
    MakeFolder("Work", "Work");
    // A plain file where Incoming belongs is replaced by the directory.
    FILE* f = fopen((dir + "/Incoming.QIR").c_str(), "w");
    fclose(f);
    Start();
    EXPECT_TRUE(IsDir(dir + "/Incoming.QIR"));
    EXPECT_TRUE(IsDir(dir + "/Outgoing.QIR"));
    qirFolderListView* view = qirApp->FolderList();
    std::vector<std::string> rows = RowNames(view);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], "Incoming");
    EXPECT_EQ(rows[1], "Outgoing");
    EXPECT_EQ(ListNames(view), rows);
    EXPECT_EQ(view->Selected(), view->Rows()->Item(0));
    EXPECT_NE(Log().find("S QIR Startting"), std::string::npos);
    EXPECT_NE(qirApp->DefaultFace(), nullptr);

    // Deleting Incoming straight through the view selects Outgoing.
    qirFolder* in = view->Incoming();
    EXPECT_EQ(view->DeleteFolder(in), 0);
    EXPECT_FALSE(IsDir(dir + "/Incoming.QIR"));
    EXPECT_EQ(RowNames(view), (std::vector<std::string>{"Outgoing", "Work"}));
    EXPECT_EQ(view->Selected()->Name(), "Outgoing");
}

TEST_F(MainWindowTest, MainWindowMapsAndTakesNoCloseRequest) {
    Start();
    qirApp->MainWindow()->map();
    qirx::XWin w = qirgui::WaitWindow("Quorvane");
    ASSERT_NE(w, 0u);
    qirgui::Shot("main_window");
    qirx::SendDelete(w);
    qirgui::Pump();
    EXPECT_TRUE(qirApp->MainWindow()->is_mapped());
    EXPECT_FALSE(Session::instance()->done());
}

TEST_F(MainWindowTest, NewFolderTakesTheFirstFreeNumberAndItsName) {
    MakeFolder("Folder_0");
    MakeFolder("Folder_2");
    EXPECT_EQ(qirMainWindow::NewFolderPath(dir.c_str()), (dir + "/Folder_1.QIR").c_str());
    Start();
    qirApp->MainWindow()->map();
    qirgui::WaitWindow("Quorvane");
    std::string title;
    Answer() = [&](qirDialog* d) {
        title = d->title().Data();
        qirFolderDialog* fd = static_cast<qirFolderDialog*>(d);
        // Blank name, the default icon shown.
        const String* name = fd->NameField()->text();
        EXPECT_EQ(std::string(name->string(), name->length()), std::string(30, ' '));
        EXPECT_TRUE(fd->PreviewShown());
        // Typed among the field's blanks: they are no part of the name.
        SetField(fd->NameField(), "      Projects   ");
        qirgui::Shot("folder_dialog_new");
        fd->Ok(0);
    };
    int before = qirApp->FolderList()->Count();
    qirApp->NewFolder();
    EXPECT_EQ(title, "New folder");
    EXPECT_EQ(qirReadFile(dir + "/Folder_1.QIR/Name.txt"), "Projects");
    // No icon of its own: the folder shows the default one.
    EXPECT_NE(access((dir + "/Folder_1.QIR/Icon.tif").c_str(), F_OK), 0);
    EXPECT_EQ(qirApp->FolderList()->Count(), before + 1);
    EXPECT_EQ(RowNames(qirApp->FolderList()).back(), "Projects");
    qirFolderListView* view = qirApp->FolderList();
    qirMsgList* made = static_cast<qirMsgList*>(view->Rows()->Item(view->Rows()->Count() - 1));
    EXPECT_EQ(made->Icon(), "/usr/local/lib/QIR/Images/folder.tif");
    EXPECT_TRUE(made->IconShown());

    // Cancelled: nothing is made.
    Answer() = [](qirDialog* d) { static_cast<qirFolderDialog*>(d)->Cancel(0); };
    qirApp->NewFolder();
    EXPECT_FALSE(IsDir(dir + "/Folder_3.QIR"));
}

TEST_F(MainWindowTest, FolderDialogAsksAboutAMissingIconAndStaysOpenOnNo) {
    Start();
    int posts = 0;
    qirFolderDialog* folderDialog = nullptr;
    Answer() = [&](qirDialog* d) {
        posts++;
        if (posts == 1) {
            folderDialog = static_cast<qirFolderDialog*>(d);
            SetField(folderDialog->NameField(), "Odd");
            SetField(folderDialog->IconField(), "/nonexistent/icon.tif");
            // Return in the icon field refreshes the preview: an empty frame.
            folderDialog->UpdatePreview();
            EXPECT_TRUE(folderDialog->PreviewShown()); // the default icon
            folderDialog->Ok(0);                        // asks: answered no
            EXPECT_EQ(posts, 2);
            folderDialog->Ok(0);                        // asks again: yes
            return;
        }
        EXPECT_EQ(d->title(), "Warning");
        if (posts == 2)
            static_cast<qirQuestionDialog*>(d)->dismiss(false);
        else
            static_cast<qirQuestionDialog*>(d)->dismiss(true);
    };
    qirString name("");
    qirPath icon("");
    qirFolderDialog* d = new qirFolderDialog(&name, &icon, 0, 1);
    Resource::ref(d);
    EXPECT_TRUE(d->post_for(nullptr));
    Resource::unref(d);
    EXPECT_EQ(posts, 3);
    EXPECT_EQ(name, "Odd");
    EXPECT_EQ(icon, "/nonexistent/icon.tif");
}

TEST_F(MainWindowTest, PropertiesRenameAndReIcon) {
    MakeFolder("Work", "Work");
    Start();
    qirFolderListView* view = qirApp->FolderList();
    view->Rows()->UnselectAll();
    qirMsgList* work = static_cast<qirMsgList*>(view->Rows()->Item(2));
    work->toggle();
    std::string icon = std::string(QIR_BUILD_DATA) + "/QIR/Images/incoming.tif";
    Answer() = [&](qirDialog* d) {
        EXPECT_EQ(d->title(), "Rename Folder");
        qirFolderDialog* fd = static_cast<qirFolderDialog*>(d);
        SetField(fd->NameField(), "Jobs");
        SetField(fd->IconField(), icon.c_str());
        fd->UpdatePreview();
        qirgui::Shot("folder_dialog_properties");
        fd->Ok(0);
    };
    qirApp->FolderProperties();
    EXPECT_EQ(work->Name(), "Jobs");
    EXPECT_EQ(qirReadFile(dir + "/Work.QIR/Name.txt"), "Jobs");
    EXPECT_EQ(qirReadFile(dir + "/Work.QIR/Icon.tif"), qirReadFile(icon));
    EXPECT_EQ(work->Icon(), (dir + "/Work.QIR/Icon.tif").c_str());
    EXPECT_TRUE(work->IconShown());
}

TEST_F(MainWindowTest, DeleteRefusesIncomingAndOutgoingAndAsksForOthers) {
    MakeFolder("Work", "Work");
    Start();
    qirApp->MainWindow()->map();
    qirgui::WaitWindow("Quorvane");
    qirFolderListView* view = qirApp->FolderList();
    std::vector<std::string> titles;
    Answer() = [&](qirDialog* d) {
        titles.push_back(d->title().Data());
        qirgui::Shot("delete_refused");
        d->dismiss(true);
    };
    qirApp->DeleteFolder(); // Incoming is selected
    EXPECT_EQ(titles, std::vector<std::string>{"Warning"});
    EXPECT_TRUE(IsDir(dir + "/Incoming.QIR"));
    EXPECT_EQ(view->Count(), 3);

    view->Rows()->UnselectAll();
    view->Rows()->Item(2)->toggle();
    titles.clear();
    Answer() = [&](qirDialog* d) {
        titles.push_back(d->title().Data());
        d->dismiss(false);
    };
    qirApp->DeleteFolder();
    EXPECT_TRUE(IsDir(dir + "/Work.QIR"));
    Answer() = [&](qirDialog* d) {
        titles.push_back(d->title().Data());
        qirgui::Shot("delete_confirm");
        d->dismiss(true);
    };
    qirApp->DeleteFolder();
    EXPECT_EQ(titles, (std::vector<std::string>{"Confirm", "Confirm"}));
    EXPECT_FALSE(IsDir(dir + "/Work.QIR"));
    EXPECT_EQ(RowNames(view), (std::vector<std::string>{"Incoming", "Outgoing"}));
    // The selection moved to the row before.
    EXPECT_EQ(view->Selected()->Name(), "Outgoing");
}

TEST_F(MainWindowTest, ChooseFolderListsTheFoldersInOrder) {
    MakeFolder("Work", "Work");
    Start();
    qirFolder* chosen = reinterpret_cast<qirFolder*>(1);
    Answer() = [&](qirDialog* d) {
        qirChooseFolderDialog* c = static_cast<qirChooseFolderDialog*>(d);
        EXPECT_EQ(c->Rows()->Count(), 3);
        c->Rows()->UnselectAll();
        c->Rows()->Item(2)->toggle();
        qirgui::Shot("choose_folder");
        c->Ok(0);
    };
    qirChooseFolderDialog* c = new qirChooseFolderDialog(&chosen);
    Resource::ref(c);
    EXPECT_TRUE(c->post_for(nullptr));
    EXPECT_EQ(chosen, qirApp->FolderList()->Nth(2));
    // The window manager's close answers false and no folder.
    Answer() = [&](qirDialog* d) {
        qirx::SendDelete(qirx::FindWindow(d->title().Data()));
        qirgui::Pump();
    };
    EXPECT_FALSE(c->post_for(nullptr));
    Resource::unref(c);
    qirChooseFolderDialog* again = new qirChooseFolderDialog(&chosen);
    Resource::ref(again);
    EXPECT_EQ(chosen, nullptr);
    Answer() = [&](qirDialog* d) { qirx::SendDelete(qirx::FindWindow(d->title().Data())); qirgui::Pump(); };
    EXPECT_FALSE(again->post_for(nullptr));
    EXPECT_EQ(chosen, nullptr);
    Resource::unref(again);
}

// Scripted answers of the file chooser: each call takes the next one.
std::vector<std::pair<int, std::string>> chooserAnswers;
std::vector<std::string> chooserDirs;
int ScriptedChooser(const char*, const qirString& dir, const qirString&, const char*, Window*, qirString* chosen) {
    chooserDirs.push_back(dir.Data());
    if (chooserAnswers.empty())
        return 0;
    auto a = chooserAnswers.front();
    chooserAnswers.erase(chooserAnswers.begin());
    *chosen = a.second.c_str();
    return a.first;
}

TEST_F(MainWindowTest, SaveAndOpenFileDialogs) {
    Start();
    auto saved = qirMainWindow::ChooseFile;
    qirMainWindow::ChooseFile = ScriptedChooser;
    std::string existing = home + "/letter.txt";
    FILE* f = fopen(existing.c_str(), "w");
    fclose(f);

    // Existing file: "append" answers it with the flag set.
    chooserAnswers = {{1, existing}};
    Answer() = [](qirDialog* d) {
        EXPECT_EQ(d->title(), "Confirm");
        qirgui::Shot("save_exists");
        static_cast<qirChoiceDialog*>(d)->choose(1);
    };
    qirString file("letter.txt");
    int append = 0;
    EXPECT_EQ(qirApp->SaveFileDialog(&file, &append, nullptr), 0);
    EXPECT_EQ(file, existing.c_str());
    EXPECT_EQ(append, 1);
    EXPECT_EQ(qirApp->LastDirectory(), home.c_str());
    EXPECT_NE(Log().find("I File chosen for saving: " + existing), std::string::npos);

    // "Choose again" shows the chooser again in the same directory; then a
    // name chosen without one, then cancel.
    chooserAnswers = {{1, existing}, {1, ""}, {0, ""}};
    chooserDirs.clear();
    Answer() = [](qirDialog* d) { static_cast<qirChoiceDialog*>(d)->choose(2); };
    file = "x";
    EXPECT_EQ(qirApp->SaveFileDialog(&file, &append, nullptr), 0);
    EXPECT_EQ(file, "");
    EXPECT_EQ(chooserDirs, std::vector<std::string>(3, home));

    // Open: a missing file asks; yes leaves the caller's name alone.
    chooserAnswers = {{1, home + "/missing"}};
    Answer() = [](qirDialog* d) {
        EXPECT_EQ(d->title(), "Warning");
        d->dismiss(true);
    };
    file = "kept";
    EXPECT_EQ(qirApp->OpenFileDialog(&file, nullptr), 0);
    EXPECT_EQ(file, "kept");
    // No: the chooser again, then an existing file.
    chooserAnswers = {{1, home + "/missing"}, {1, existing}};
    Answer() = [](qirDialog* d) { d->dismiss(false); };
    EXPECT_EQ(qirApp->OpenFileDialog(&file, nullptr), 0);
    EXPECT_EQ(file, existing.c_str());
    qirMainWindow::ChooseFile = saved;
}

class DismissChooser : public IOHandler {
public:
    void timerExpired(long, long) override {
        qirx::XWin w = qirx::FindWindow("Save file");
        if (!w && tries++ < 200) {
            Dispatcher::instance().startTimer(0, 10000, this);
            return;
        }
        found = w != 0;
        qirgui::Shot("file_chooser");
        if (w)
            qirx::SendDelete(w);
    }
    int tries = 0;
    bool found = false;
};

TEST_F(MainWindowTest, RealFileChooserIsTitledAndCancelsOnClose) {
    Start();
    qirApp->SetLastDirectory(home.c_str());
    DismissChooser dismiss;
    Dispatcher::instance().startTimer(0, 10000, &dismiss);
    qirString file("out.txt");
    int append = 0;
    EXPECT_EQ(qirApp->SaveFileDialog(&file, &append, nullptr), 0);
    EXPECT_TRUE(dismiss.found);
    EXPECT_EQ(file, "");
}

TEST_F(MainWindowTest, AboutBoxWithoutItsPictureStillOpensAndCloses) {
    Start();
    qirApp->MainWindow()->map();
    qirApp->About();
    qirAbout* dock = qirApp->AboutDock();
    ASSERT_TRUE(dock->is_open());
    ASSERT_NE(qirgui::WaitWindow("About"), 0u);
    EXPECT_TRUE(dock->AboutWindow()->PictureShown());
    qirgui::Shot("about_box");
    qirAboutWindow* first = dock->AboutWindow();
    qirApp->About(); // opening an open box does nothing
    EXPECT_EQ(dock->AboutWindow(), first);
    qirx::SendDelete(qirx::FindWindow("About"));
    qirgui::Pump();
    EXPECT_TRUE(dock->is_open());
    dock->close();
    EXPECT_FALSE(dock->is_open());

    dock->picture = "/nonexistent/about.tif";
    qirApp->About();
    ASSERT_TRUE(dock->is_open());
    EXPECT_FALSE(dock->AboutWindow()->PictureShown());
    EXPECT_NE(qirgui::WaitWindow("About"), 0u);
    qirgui::Shot("about_box_no_picture");
    EXPECT_NE(Log().find("W Open tiff image /nonexistent/about.tif failed"), std::string::npos);
    dock->close();
}

TEST_F(MainWindowTest, ShutdownSavesWhenTheLoopEndsByAnotherRoad) {
    MakeFolder("Work", "Work");
    // The loop ends without the quit action: the session is told to quit.
    QuitSoon quit;
    Dispatcher::instance().startTimer(0, 300000, &quit);
    char name[] = "qir";
    char* argv[] = {name, nullptr};
    int status = qir_window_session(1, argv);
    Session::instance()->unquit();
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(qirApp->IsShutDown());
    // The layout file and the address book were written.
    EXPECT_EQ(access((dir + "/layout").c_str(), F_OK), 0);
    EXPECT_EQ(access((dir + "/book").c_str(), F_OK), 0);
    EXPECT_EQ(qirApp->FolderList(), nullptr);
}

TEST_F(MainWindowTest, QuitSavesAndEndsTheLoop) {
    Start();
    qirApp->Quit();
    EXPECT_TRUE(Session::instance()->done());
    Session::instance()->unquit();
    EXPECT_EQ(access((dir + "/layout").c_str(), F_OK), 0);
    EXPECT_FALSE(qirApp->MainWindow()->is_mapped());
}

}  // namespace
