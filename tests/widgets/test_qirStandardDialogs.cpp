// The standard dialogs on a real X server: buttons, keys typed into the
// password dialog and the field editor, and the search dialog's memory.
#include <gtest/gtest.h>

#include "dialogTestSupport.h"

#include "qirChoiceDialog.h"
#include "qirFieldEditor.h"
#include "qirImagePath.h"
#include "qirMessageArea.h"
#include "qirMessageBox.h"
#include "qirPasswordDialog.h"
#include "qirQuestionDialog.h"
#include "qirSearchDialog.h"

#include <IV-look/kit.h>
#include <IV-look/telltale.h>
#include <InterViews/layout.h>
#include <OS/string.h>

#include <string>

namespace {

using dialogtest::ClickOn;
using dialogtest::posted;
using dialogtest::Type;

class StandardDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(qirx::Connection(), nullptr) << "no X display";
        dialogtest::SetUp();
    }
    void TearDown() override { dialogtest::TearDown(); }

    Session* session = qirgui::TheSession();  // before the kits
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    Style* style = qirgui::TheSession()->style();
};

template <class D>
bool Post(D* d, std::function<void(qirDialog*)> answer) {
    dialogtest::answer() = answer;
    Resource::ref(d);
    bool accepted = d->post_at(640, 512);
    EXPECT_NE(posted().xwin, 0u) << "dialog not mapped under its title";
    return accepted;
}

std::string FieldText(FieldEditor* f) {
    const String* s = f->text();
    return s ? std::string(s->string(), s->length()) : std::string();
}

TEST_F(StandardDialogTest, QuestionAnswersByButtonAndCloseCancels) {
    qirString l1("Delete the folder \"Drafts\" and every message in it?");
    qirString l2("This cannot be undone.");
    struct Case {
        const char* how;
        bool expected;
    } cases[] = {{"yes", true}, {"no", false}, {"close", false}};
    for (const Case& c : cases) {
        std::string title = qirgui::Title("Delete folder");
        qirQuestionDialog* d = new qirQuestionDialog(kit, lk, style, qirString(title.c_str()), &l1, &l2);
        EXPECT_TRUE(qirMessageArea::IconShown()) << "the warning picture is not shipped";
        std::string how = c.how;
        bool got = Post(d, [d, how](qirDialog*) {
            if (how == "yes") {
                qirgui::Shot("question");
                ClickOn(d->YesButton());
            } else if (how == "no")
                ClickOn(d->NoButton());
            else
                qirx::SendDelete(posted().xwin);
        });
        EXPECT_EQ(got, c.expected) << c.how;
        Resource::unref(d);
    }
}

TEST_F(StandardDialogTest, MessageBoxClosesOnReturnLineFeedAndButton) {
    qirString line("The folder list was saved.");
    for (KeySym key : {XK_Return, XK_Linefeed, XK_VoidSymbol}) {
        std::string title = qirgui::Title("Information");
        qirMessageBox* d = new qirMessageBox(kit, lk, style, qirString(title.c_str()),
                                             qirImagePath("info.tif"), &line);
        EXPECT_TRUE(qirMessageArea::IconShown());
        bool got = Post(d, [d, key](qirDialog*) {
            if (key == XK_VoidSymbol) {
                qirgui::Shot("message_box");
                ClickOn(d->OkButton());
            } else
                qirx::SendKey(posted().xwin, key);
        });
        EXPECT_TRUE(got) << XKeysymToString(key);
        Resource::unref(d);
    }
}

TEST_F(StandardDialogTest, MissingIconLeavesEmptyPlace) {
    qirString line("Still works.");
    std::string title = qirgui::Title("No picture");
    qirMessageBox* d = new qirMessageBox(kit, lk, style, qirString(title.c_str()),
                                         qirImagePath("no-such-picture.tif"), &line);
    EXPECT_FALSE(qirMessageArea::IconShown());
    EXPECT_TRUE(Post(d, [](qirDialog*) { qirgui::Pump(); qirx::SendKey(posted().xwin, XK_Return); }));
    Resource::unref(d);
}

TEST_F(StandardDialogTest, ChoiceMakesTenButtonsAndAnswersTheIndex) {
    qirList lines, labels;
    lines.Append(new qirString("The message has attachments that cannot be sent as text."));
    lines.Append(new qirString("How shall they be sent?"));
    const char* names[] = {"MIME", "Uuencode", "Btoa", "Leave out", "4", "5", "6", "7", "8", "9", "10", "11"};
    for (const char* n : names)
        labels.Append(new qirString(n));
    std::string title = qirgui::Title("Attachments");
    qirChoiceDialog* d = new qirChoiceDialog(kit, lk, style, qirString(title.c_str()), lines, labels);
    EXPECT_EQ(d->ButtonCount(), 10);
    EXPECT_TRUE(Post(d, [d](qirDialog*) { ClickOn(d->ButtonAt(2)); }));
    EXPECT_EQ(d->Choice(), 2);
    Resource::unref(d);

    // A screenshot with a realistic row of buttons.
    qirList few;
    for (int i = 0; i < 4; i++)
        few.Append(new qirString(names[i]));
    d = new qirChoiceDialog(kit, lk, style, qirString(title.c_str()), lines, few);
    EXPECT_FALSE(Post(d, [](qirDialog*) {
        qirgui::Shot("choice");
        qirx::SendDelete(posted().xwin);
    }));
    Resource::unref(d);
    few.Remove(nullptr);
    lines.Remove(nullptr);
    labels.Remove(nullptr);
}

struct Key {
    KeySym sym;
    unsigned int state;
};

qirPasswordDialog* TypePassword(std::vector<Key> keys, bool* accepted) {
    qirPasswordDialog* d = new qirPasswordDialog(qirString("Password for alice on pop.example.org"),
                                                 qirgui::TheSession()->style(), WidgetKit::instance(),
                                                 LayoutKit::instance());
    *accepted = Post(d, [keys, d](qirDialog*) {
        for (const Key& k : keys) {
            if (k.sym == XK_VoidSymbol) {
                dialogtest::DeliverKeys(d);
                qirgui::Shot("password");
            }
            else
                qirx::SendKey(posted().xwin, k.sym, k.state);
        }
    });
    return d;
}

TEST_F(StandardDialogTest, PasswordTakesTheMappedCharacters) {
    struct Case {
        const char* what;
        std::vector<Key> keys;
        bool accepted;
        std::string password;
    } cases[] = {
        {"shift, backspace", {{XK_a, 0}, {XK_b, ShiftMask}, {XK_BackSpace, 0}, {XK_c, 0}, {XK_Return, 0}}, true, "ac"},
        {"shifted digit and capitals", {{XK_1, ShiftMask}, {XK_x, ShiftMask}, {XK_2, 0}, {XK_Return, 0}}, true, "!X2"},
        {"control keys type nothing", {{XK_a, ControlMask}, {XK_F1, 0}, {XK_Left, 0}, {XK_z, 0}, {XK_Return, 0}}, true, "z"},
        {"backspace at start", {{XK_BackSpace, 0}, {XK_q, 0}, {XK_KP_Enter, 0}}, true, "q"},
        {"escape", {{XK_s, 0}, {XK_Escape, 0}}, false, ""},
    };
    for (const Case& c : cases) {
        bool accepted = false;
        qirPasswordDialog* d = TypePassword(c.keys, &accepted);
        EXPECT_EQ(accepted, c.accepted) << c.what;
        EXPECT_STREQ(d->Password().Data(), c.password.c_str()) << c.what;
        Resource::unref(d);
    }
}

TEST_F(StandardDialogTest, PasswordHoldsLongPasswords) {
    std::vector<Key> keys;
    std::string expected;
    for (int i = 0; i < 300; i++) {
        keys.push_back({KeySym(XK_a + i % 26), 0});
        if (i < qirPasswordDialog::Capacity)
            expected += char('a' + i % 26);
        if (i == 11)
            keys.push_back({XK_VoidSymbol, 0});
    }
    keys.push_back({XK_Return, 0});
    bool accepted = false;
    qirPasswordDialog* d = TypePassword(keys, &accepted);
    EXPECT_TRUE(accepted);
    EXPECT_GE(qirPasswordDialog::Capacity, 128);
    EXPECT_EQ(std::string(d->Password().Data()), expected);
    Resource::unref(d);
}

TEST_F(StandardDialogTest, FieldEditorArrowsMoveByOneCharacter) {
    qirSearchDialog* d = new qirSearchDialog();
    Resource::ref(d);
    dialogtest::answer() = [](qirDialog*) {
        qirx::XWin w = posted().xwin;
        Type(w, "abc");
        qirx::SendKey(w, XK_Left);
        qirx::SendKey(w, XK_Left);
        Type(w, "X");
        qirx::SendKey(w, XK_Right);
        Type(w, "Y");
        qirx::SendKey(w, XK_Right);
        qirx::SendKey(w, XK_Right);  // already at the end
        Type(w, "Z");
        qirx::SendKey(w, XK_Return);
    };
    ASSERT_TRUE(d->post_for(nullptr));
    EXPECT_STREQ(d->Text().Data(), "aXbYcZ");

    // field() puts the insertion point at the start.
    d->Field()->field("tail");
    dialogtest::answer() = [](qirDialog*) {
        Type(posted().xwin, "Q");
        qirx::SendKey(posted().xwin, XK_Return);
    };
    ASSERT_TRUE(d->post_for(nullptr));
    EXPECT_STREQ(d->Text().Data(), "Qtail");
    Resource::unref(d);
}

TEST_F(StandardDialogTest, SearchCancelRestoresTheAcceptedSearch) {
    qirSearchDialog* d = new qirSearchDialog();
    Resource::ref(d);
    EXPECT_EQ(d->Backward(), 0);
    EXPECT_EQ(d->MatchCase(), 0);
    dialogtest::answer() = [d](qirDialog*) {
        Type(posted().xwin, "Invoice");
        ClickOn(d->MatchCaseBox());
        dialogtest::DeliverKeys(d);
        qirgui::Shot("search");
        ClickOn(d->SearchButton());
    };
    ASSERT_TRUE(d->post_for(nullptr));
    EXPECT_STREQ(d->Text().Data(), "Invoice");
    EXPECT_EQ(d->MatchCase(), 1);
    EXPECT_EQ(d->Backward(), 0);

    dialogtest::answer() = [d](qirDialog*) {
        d->Field()->field("other");
        ClickOn(d->MatchCaseBox());
        ClickOn(d->BackwardBox());
        ClickOn(d->CancelButton());
    };
    EXPECT_FALSE(d->post_for(nullptr));
    EXPECT_EQ(FieldText(d->Field()), "Invoice");
    EXPECT_TRUE(d->MatchCaseBox()->state()->test(TelltaleState::is_chosen));
    EXPECT_FALSE(d->BackwardBox()->state()->test(TelltaleState::is_chosen));
    EXPECT_STREQ(d->Text().Data(), "Invoice");

    // An accepted empty field is an empty search; a later cancel leaves the
    // field as it is.
    dialogtest::answer() = [d](qirDialog*) {
        d->Field()->field("");
        qirx::SendKey(posted().xwin, XK_Return);
    };
    ASSERT_TRUE(d->post_for(nullptr));
    EXPECT_STREQ(d->Text().Data(), "");
    dialogtest::answer() = [d](qirDialog*) {
        d->Field()->field("draft");
        ClickOn(d->CancelButton());
    };
    EXPECT_FALSE(d->post_for(nullptr));
    EXPECT_EQ(FieldText(d->Field()), "draft");

    // The window manager's close cancels without restoring anything.
    dialogtest::answer() = [](qirDialog*) { qirx::SendDelete(posted().xwin); };
    EXPECT_FALSE(d->post_for(nullptr));
    Resource::unref(d);
}

}  // namespace
