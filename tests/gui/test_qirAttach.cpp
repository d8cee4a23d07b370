// The attachment widgets of the message view and the compose window: items
// and their icons, saving a part (the proposed name, append, failures that
// keep the user's file), the row's mouse buttons, the viewer without a
// mailcap entry, and the dialog that picks a file, a type and an encoding.
#include <gtest/gtest.h>

#include "qirAppTestSupport.h"
#include "qirHostileNames.h"
#include "qirMailTestText.h"

#include "qirMsg.h"
#include "qirMsgComponent.h"
#include "qirMsgMultipartComponent.h"
#include "qirProcessId.h"

#include "AttachDialog.h"
#include "AttachIcon.h"
#include "AttachItem.h"
#include "qirChoiceDialog.h"
#include "qirFieldEditor.h"
#include "qirListBox.h"
#include "qirMarkedItem.h"

#include <IV-look/button.h>
#include <IV-look/kit.h>
#include <InterViews/layout.h>
#include <InterViews/telltale.h>
#include <InterViews/window.h>
#include <OS/string.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using qirapp::Answer;

namespace {

std::string S(const qirString& s) { return s.Data() ? s.Data() : ""; }

// The file chooser answers from a script and remembers what it proposed.
std::vector<std::string> proposals;
std::vector<std::string> answers;
int ScriptedChooser(const char*, const qirString&, const qirString& suggested, const char*, Window*, qirString* chosen)
{
    proposals.push_back(S(suggested));
    if (answers.empty()) return 0;
    *chosen = answers.front().c_str();
    answers.erase(answers.begin());
    return 1;
}

// Error boxes (reports at level 1) are counted and closed; every other
// dialog goes to the answer.
int errorBoxes = 0;
std::function<void(qirDialog*)> Answering(std::function<void(qirDialog*)> answer)
{
    return [answer](qirDialog* d) {
        if (d->title() == "Error") {
            errorBoxes++;
            d->dismiss(true);
        } else if (answer) {
            answer(d);
        } else {
            d->dismiss(false);
        }
    };
}

class AttachTest : public qirapp::AppTest {
protected:
    void SetUp() override
    {
        qirapp::AppTest::SetUp();
        saved = qirMainWindow::ChooseFile;
        qirMainWindow::ChooseFile = ScriptedChooser;
        proposals.clear();
        answers.clear();
        errorBoxes = 0;
        qirConfig.Set("Attachments", "text/plain", 0);
        qirConfig.Set("Attachments", "image/png", 1);
        qirConfig.Set("Attachments", "weird", 2);
        mailcap = home + "/mailcap";
        qirConfig.Set("Mailcap.MailcapFiles", mailcap.c_str());
        FILE* f = fopen(mailcap.c_str(), "w");
        fputs("image/png; true %s\n", f);
        fclose(f);
        Start();
        qirApp->SetLastDirectory(home.c_str());
        Answer() = Answering(nullptr);
    }
    void TearDown() override
    {
        qirMainWindow::ChooseFile = saved;
        qirapp::AppTest::TearDown();
    }
    // A message with one part per hostile name, each holding its own bytes,
    // then an image, a part of an unknown type and a nested multipart.
    std::unique_ptr<qirMsg> Message()
    {
        std::string text = "Subject: parts\nContent-Type: multipart/mixed; boundary=B\n\n";
        for (const char* n : qirHostilePartNames)
            text += std::string("--B\nContent-Type: application/octet-stream; name=\"") + n +
                    "\"\nContent-Disposition: attachment; filename=\"" + n + "\"\n\nbytes of " + n + "\n";
        text += "--B\nContent-Type: image/png; name=\"face.png\"\n\nPNG\n"
                "--B\nContent-Type: model/vrml\n\nVRML\n"
                "--B\nContent-Type: multipart/alternative; boundary=C\n\n--C\n\ninner\n--C--\n"
                "--B--\n";
        std::string path = dir + "/Message0";
        EXPECT_EQ(ImportMessage(path, text), 0);
        return std::unique_ptr<qirMsg>(new qirMsg(qirPath(path.c_str())));
    }
    std::vector<qirMsgComponent*> Parts(qirMsg* m)
    {
        std::vector<qirMsgComponent*> parts;
        auto* multi = static_cast<qirMsgMultipartComponent*>(m->Body());
        for (qirMsgComponent* p = multi->First(); p; p = qirMsgMultipartComponent::Next(p)) parts.push_back(p);
        return parts;
    }

    int (*saved)(const char*, const qirString&, const qirString&, const char*, Window*, qirString*) = nullptr;
    std::string mailcap;
};

TEST_F(AttachTest, ItemsCopyThePartAndShareTheirTypeIcons)
{
    auto m = Message();
    std::vector<qirMsgComponent*> parts = Parts(m.get());
    AttachList list;
    for (qirMsgComponent* p : parts) list.Append(new AttachItem(*p, nullptr));
    AttachItem* first = list.First();
    EXPECT_EQ(S(first->Path()), S(parts[0]->Path()));
    EXPECT_EQ(S(first->ContentType().partName), qirHostilePartNames[0]);
    std::vector<AttachItem*> items;
    for (AttachItem* i = list.First(); i; i = AttachList::Next(i)) items.push_back(i);
    AttachItem* png = items[6];
    AttachItem* vrml = items[7];
    ASSERT_NE(png->TypeIcon(), nullptr);
    ASSERT_NE(vrml->TypeIcon(), nullptr);
    EXPECT_NE(png->TypeIcon(), vrml->TypeIcon());
    // One raster per icon file, however many rows show it.
    EXPECT_EQ(items[0]->TypeIcon(), vrml->TypeIcon());
    AttachItem again(*parts[6], nullptr);
    EXPECT_EQ(again.TypeIcon(), png->TypeIcon());

    EXPECT_EQ(S(png->Label()).rfind("image/png", 0), 0u);
    char small[12];
    png->Label(small, sizeof small);
    EXPECT_STREQ(small, "image/png  ");

    // A nested multipart is a directory on disk: its row tells the size of
    // its parts, not the directory's -1.
    AttachItem* nested = items.back();
    ASSERT_TRUE(parts.back()->IsMultipart());
    std::string label = S(nested->Label());
    EXPECT_EQ(label.substr(label.size() - 7), "(   " + std::to_string(parts.back()->Size()) + "B)") << label;
}

// The save proposes the name the part is stored under, never the name the
// mail gave, and appends when the user says so; the part's bytes arrive
// unchanged.
TEST_F(AttachTest, SavingProposesTheStoredNameAndAppendsWhenAsked)
{
    auto m = Message();
    std::vector<qirMsgComponent*> parts = Parts(m.get());
    for (size_t i = 0; i < sizeof qirHostilePartNames / sizeof *qirHostilePartNames; i++) {
        const char* name = qirHostilePartNames[i];
        SCOPED_TRACE(name);
        AttachItem item(*parts[i], nullptr);
        std::string target = home + "/saved" + std::to_string(i);
        proposals.clear();
        answers = {target};
        EXPECT_EQ(item.Save(), 0);
        ASSERT_EQ(proposals.size(), 1u);
        EXPECT_EQ(proposals[0], home + "/" + S(parts[i]->Path().Basename()));
        EXPECT_EQ(proposals[0].find(".."), std::string::npos);
        EXPECT_EQ(proposals[0].find('/', home.size() + 1), std::string::npos);
        EXPECT_EQ(qirReadFile(target), std::string("bytes of ") + name);
    }

    AttachItem item(*parts[0], nullptr);
    std::string target = home + "/saved0";
    std::string bytes = qirReadFile(target);
    // An existing file: append (choice 1), then overwrite (choice 0).
    for (int choice : {1, 0}) {
        answers = {target};
        Answer() = Answering([choice](qirDialog* d) { static_cast<qirChoiceDialog*>(d)->choose(choice); });
        EXPECT_EQ(item.Save(), 0);
        EXPECT_EQ(qirReadFile(target), choice == 1 ? bytes + bytes : bytes);
    }
    // Cancelled: nothing written, nothing reported.
    answers.clear();
    EXPECT_EQ(item.Save(), 0);
    EXPECT_EQ(Log().find("Error writing to file!"), std::string::npos);

    // A part that is no file (a nested multipart) fails without touching
    // the user's file.
    AttachItem nested(*parts.back(), nullptr);
    EXPECT_EQ(nested.SaveTo(target.c_str(), 0), -1);
    EXPECT_EQ(nested.SaveTo(target.c_str(), 1), -1);
    EXPECT_EQ(qirReadFile(target), bytes);
    EXPECT_NE(Log().find("Error writing to file!"), std::string::npos);
    EXPECT_EQ(errorBoxes, 2);
}

// The right button saves; the left and middle ones do nothing.  A double
// click on a type the mailcap files do not know reports and starts nothing.
TEST_F(AttachTest, RowSavesOnTheRightButtonAndViewsOnDoubleClick)
{
    auto m = Message();
    std::vector<qirMsgComponent*> parts = Parts(m.get());
    AttachItem item(*parts[7], nullptr); // model/vrml: no mailcap entry
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    AttachIcon* row = new AttachIcon(lk->fixed(kit->label(S(item.Label()).c_str()), 300, 20), &item);
    item.SetIconHandler(row);
    qirx::XWin xwin = 0;
    TopLevelWindow* w = qirgui::MapTitled(row, qirgui::Title("Attachment row"), &xwin);
    ASSERT_NE(xwin, 0u);
    item.SetWindow(w);
    qirx::Click(xwin, 20, 10, Button1);
    qirx::Click(xwin, 20, 10, Button2);
    qirgui::Pump();
    EXPECT_TRUE(proposals.empty());
    qirx::Click(xwin, 20, 10, Button3);
    qirgui::Pump();
    EXPECT_EQ(proposals.size(), 1u);

    int children = qirChildList.Count();
    qirx::Click(xwin, 20, 10, Button1, 0, 2000);
    qirx::Click(xwin, 20, 10, Button1, 0, 50);
    qirgui::Pump();
    EXPECT_NE(Log().find("No program for this type. Edit your mailcap file."), std::string::npos);
    EXPECT_EQ(errorBoxes, 1) << "no error box";
    EXPECT_EQ(qirChildList.Count(), children);
    w->unmap();
    delete w;
}

TEST_F(AttachTest, NewAttachmentDialogChecksTheFileAndTakesTheChoices)
{
    std::string file = home + "/notes.txt";
    FILE* f = fopen(file.c_str(), "w");
    fputs("notes", f);
    fclose(f);
    bool stayed = false;
    Answer() = Answering([&](qirDialog* d) {
        auto* a = static_cast<AttachDialog*>(d);
        qirgui::Shot("attach_dialog");
        EXPECT_TRUE(a->EncodingButton(0)->state()->test(TelltaleState::is_chosen));
        EXPECT_EQ(static_cast<qirMarkedItem*>(a->TypeList()->FirstSelected())->Label(), "text/plain");
        a->FileField()->field((home + "/missing.txt").c_str());
        a->Ok(0);
        stayed = a->window() != nullptr;
        a->FileField()->field((file + "  \t").c_str());
        a->EncodingButton(2)->state()->set(TelltaleState::is_chosen, true);
        a->TypeList()->Press(a->TypeList()->Item(1), 0);
        a->Ok(0);
    });
    // Over the main window on the screen, as the compose window posts it.
    qirApp->MainWindow()->map();
    qirgui::WaitWindow("Quorvane");
    AttachDialog* dialog = new AttachDialog();
    Resource::ref(dialog);
    ASSERT_TRUE(dialog->post_for(qirApp->MainWindow()));
    EXPECT_TRUE(stayed) << "a missing file keeps the dialog open";
    EXPECT_EQ(errorBoxes, 1);
    EXPECT_NE(Log().find("File " + home + "/missing.txt does not exists!"), std::string::npos);
    EXPECT_EQ(S(dialog->File()), file);
    const qirContentType& t = dialog->ContentType();
    EXPECT_EQ(S(t.type), "image");
    EXPECT_EQ(S(t.subtype), "png");
    EXPECT_EQ(t.encoding, 2);
    EXPECT_EQ(S(t.encodingName), "quoted-printable");
    EXPECT_EQ(S(t.partName), "notes.txt");
    Resource::unref(dialog);
}

// For a part of a letter: its type, and in the field the file it is stored
// in; an encoding the table does not know starts at base64; a type row
// without "/" is a type without subtype.
TEST_F(AttachTest, DialogForAPartShowsItsStoredFile)
{
    auto m = Message();
    std::vector<qirMsgComponent*> parts = Parts(m.get());
    qirMsgComponent* part = parts[0]; // named "../../.profile" by the mail
    part->ContentType().encodingName = "x-weird";
    std::string field;
    int chosen = -1;
    Answer() = Answering([&](qirDialog* d) {
        auto* a = static_cast<AttachDialog*>(d);
        const String* s = a->FileField()->text();
        field = s ? std::string(s->string(), s->length()) : "";
        for (int i = 0; i < AttachDialog::EncodingCount; i++)
            if (a->EncodingButton(i)->state()->test(TelltaleState::is_chosen)) chosen = i;
        a->TypeList()->Press(a->TypeList()->Item(2), 0);
        a->Ok(0);
    });
    AttachDialog* dialog = new AttachDialog(*part);
    Resource::ref(dialog);
    ASSERT_TRUE(dialog->post_for(qirApp->MainWindow()));
    EXPECT_EQ(field, S(part->Path()));
    EXPECT_EQ(chosen, 0);
    EXPECT_EQ(S(dialog->ContentType().type), "weird");
    EXPECT_EQ(S(dialog->ContentType().subtype), "");
    EXPECT_EQ(S(dialog->ContentType().partName), S(part->Path().Basename()));
    Resource::unref(dialog);

    // The same within a directory of the caller's; Cancel answers false.
    Answer() = Answering([&](qirDialog* d) {
        const String* s = static_cast<AttachDialog*>(d)->FileField()->text();
        field = s ? std::string(s->string(), s->length()) : "";
        static_cast<AttachDialog*>(d)->Cancel(0);
    });
    dialog = new AttachDialog(*part, "/elsewhere");
    Resource::ref(dialog);
    EXPECT_FALSE(dialog->post_for(qirApp->MainWindow()));
    EXPECT_EQ(field, "/elsewhere/" + S(part->Path().Basename()));
    Resource::unref(dialog);

    // Without an "Attachments" node the list is empty and it is reported.
    qirConfig.Remove(qirConfig.Find("Attachments"));
    Answer() = Answering([&](qirDialog* d) {
        EXPECT_EQ(static_cast<AttachDialog*>(d)->TypeList()->Count(), 0);
        static_cast<AttachDialog*>(d)->Cancel(0);
    });
    dialog = new AttachDialog();
    Resource::ref(dialog);
    dialog->post_for(qirApp->MainWindow());
    Resource::unref(dialog);
    EXPECT_NE(Log().find("No Attachments statement in config!"), std::string::npos);
}

} // namespace
