// The application object on the test X server: a folder directory of the
// test's own, the shipped catalogue, and answers to posted dialogs.
#ifndef QIR_APP_TEST_SUPPORT_H
#define QIR_APP_TEST_SUPPORT_H

#include "qirAddrBook.h"
#include "qirConfiguration.h"
#include "qirFilterList.h"
#include "qirFolder.h"
#include "qirFolderList.h"
#include "qirLayout.h"
#include "qirLock.h"
#include "qirMailcap.h"
#include "qirStartup.h"
#include "qirError.h"
#include "qirLanguageGroup.h"
#include "qirTestProgram.h"

#include <sys/stat.h>

#include <functional>
#include <string>

#include "qirGuiTest.h"

#include "qirDialog.h"
#include "qirListBox.h"
#include "qirMainWindow.h"
#include "qirMarkedItem.h"

#include <IV-look/field.h>
#include <OS/string.h>

#include <vector>

#ifndef RETSIGTYPE
#define RETSIGTYPE void
#endif
#include <Dispatch/dispatcher.h>
#include <Dispatch/iohandler.h>

namespace qirapp {

// Answers each posted dialog in turn (after its window maps).
inline std::function<void(qirDialog*)>& Answer() {
    static std::function<void(qirDialog*)> f;
    return f;
}
// The answer runs from the dialog's own modal loop: a dismiss before the
// loop starts would be forgotten by it.
class Answerer : public IOHandler {
public:
    void timerExpired(long, long) override {
        qirDialog* d = dialog;
        qirx::XWin w = qirgui::WaitWindow(d->title().Data());
        if (Answer())
            Answer()(d);
        else
            d->dismiss(false);
        // The modal loop looks at its end only after an event: one that
        // means nothing wakes it.
        if (w)
            qirx::SendMotion(w, 1, 1, 0, qirx::NextTime(1));
        delete this;
    }
    qirDialog* dialog = nullptr;
};
inline void Hook(qirDialog* d) {
    Answerer* a = new Answerer; // one per post: posts nest
    a->dialog = d;
    Dispatcher::instance().startTimer(0, 1000, a);
}

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        qirgui::TheSession();
        home = qirMakeTempDir("qirapp");
        dir = home + "/.QIR";
        mkdir(dir.c_str(), 0700);
        qirConfig.Remove(nullptr);
        qirConfig.Set("FolderDir", dir.c_str());
        qirConfig.Set("AddrBook", (dir + "/book").c_str());
        qirConfig.Set("Layout", (dir + "/layout").c_str());
        qirLanguage.Load(QIR_BUILD_DATA "/QIR/Languages/English");
        qirLog = new qirError();
        qirLog->Open((dir + "/QIR.log").c_str(), 5, -1);
        qirDialog::MappedHook = Hook;
        Answer() = nullptr;
    }
    void TearDown() override {
        if (qirApp) {
            qirApp->Shutdown();
            delete qirApp; // closes and deletes the log
            qirApp = nullptr;
        }
        delete qirLog;
        qirLog = nullptr;
        qirDialog::MappedHook = nullptr;
        Answer() = nullptr;
        qirgui::Pump();
        qirRemoveTree(home);
    }
    void MakeFolder(const std::string& base, const char* name = nullptr) {
        std::string d = dir + "/" + base + ".QIR";
        mkdir(d.c_str(), 0700);
        if (name) {
            FILE* f = fopen((d + "/Name.txt").c_str(), "w");
            fputs(name, f);
            fclose(f);
        }
    }
    // Makes the application object and everything the session start makes.
    qirMainWindow* Start() {
        qirApp = new qirMainWindow();
        EXPECT_EQ(qirApp->Start(), 0);
        return qirApp;
    }
    std::string Log() const { return qirReadFile(dir + "/QIR.log"); }

    std::string home, dir;
};

// A field's whole text, padding included.
inline std::string FieldText(FieldEditor* field) {
    const String* s = field->text();
    return s ? std::string(s->string(), s->length()) : "";
}

// The rows of a list box of marked items: each label, " *" after a
// selected one.
inline std::vector<std::string> MarkedRows(qirListBox* rows) {
    std::vector<std::string> out;
    for (qirObject* n = rows->Items().First(); n; n = qirList::Next(n)) {
        qirMarkedItem* row = static_cast<qirMarkedItem*>(qirListItem::FromNode(n));
        const char* label = row->Label().Data();
        out.push_back(std::string(label ? label : "") + (row->Selected() ? " *" : ""));
    }
    return out;
}

}  // namespace qirapp

#endif
