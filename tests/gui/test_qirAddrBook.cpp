// The address book window and its entry dialog in the application on the
// test X server: the rows, adding, editing and removing entries with the
// alias kept unique, saving (also when it fails), and closing.
#include <gtest/gtest.h>

#include "qirAppTestSupport.h"

#include "MsgEdit.h"
#include "MsgEditDock.h"
#include "qirAddrBookWindow.h"
#include "qirAfterEvent.h"
#include "qirAddrEntryDialog.h"
#include "qirFieldEditor.h"
#include "qirListBox.h"
#include "qirUiText.h"

#include <IV-look/button.h>
#include <InterViews/telltale.h>
#include <InterViews/window.h>
#include <OS/string.h>

#include <unistd.h>

#include <vector>

using qirapp::Answer;

namespace {

std::string T(const qirString& s) { return s.Data() ? s.Data() : ""; }

std::string Text(qirFieldEditor* field) { return qirapp::FieldText(field); }

std::vector<std::string> Rows(qirAddrBookWindow* book) { return qirapp::MarkedRows(book->Rows()); }

// One record of the book's file.
std::string Record(const char* alias, const char* name, const char* org, const char* address, int kind = 0) {
    return std::string(alias) + "\n" + name + "\n" + org + "\n" + address + "\n" + std::to_string(kind) + " 0 0 0\n";
}

void Fill(qirAddrEntryDialog* d, const char* alias, const char* address, const char* name, const char* org) {
    d->AliasField()->field(alias);
    d->AddressField()->field(address);
    d->FullNameField()->field(name);
    d->OrganisationField()->field(org);
}

const std::string entryTitle = "Address book entry";

class AddrBookTest : public qirapp::AppTest {
protected:
    void WriteBook(const std::string& text) {
        FILE* f = fopen(Book().c_str(), "w");
        fputs(text.c_str(), f);
        fclose(f);
    }
    std::string Book() const { return dir + "/book"; }
    qirAddrBookWindow* Open() {
        EXPECT_EQ(qirApp->OpenAddressBook(), 0);
        qirAddrBookWindow* book = qirApp->AddressBookWindow();
        EXPECT_NE(qirgui::WaitWindow("Addres Book"), 0u);
        // Off the screen's corner, so that dialogs centred on it show whole.
        book->Unmap();
        qirgui::Pump();
        book->TheWindow()->place(300, 250);
        book->Show();
        EXPECT_NE(qirgui::WaitWindow("Addres Book"), 0u);
        return book;
    }
    // Answers the dialogs in turn; records their titles.
    void Script(std::vector<std::function<void(qirDialog*)>> steps) {
        steps_ = std::move(steps);
        titles.clear();
        Answer() = [this](qirDialog* d) {
            size_t i = titles.size();
            titles.push_back(T(d->title()));
            if (i < steps_.size())
                steps_[i](d);
            else
                d->dismiss(false);
        };
    }
    std::vector<std::string> titles;

private:
    std::vector<std::function<void(qirDialog*)>> steps_;
};

auto Ok = [](qirDialog* d) { d->dismiss(true); };

TEST_F(AddrBookTest, RowsShowAliasAndFullName) {
    WriteBook(Record("bob", "Bob Smith", "Acme", "bob@example.org") + Record("nameless", "", "", "n@example.org"));
    Start();
    qirAddrBookWindow* book = Open();
    EXPECT_EQ(Rows(book), (std::vector<std::string>{"bob : Bob Smith *", "nameless : "}));
    qirgui::Shot("address_book");
    // Opening again shows the same window; the window manager's close
    // request leaves it open.
    EXPECT_EQ(qirApp->OpenAddressBook(), 0);
    EXPECT_EQ(qirApp->AddressBookWindow(), book);
    qirx::SendDelete(qirx::FindWindow("Addres Book"));
    qirgui::Pump();
    EXPECT_NE(qirx::FindWindow("Addres Book"), 0u);

    // The close button: gone after the event, made again on the next open.
    book->Close();
    EXPECT_EQ(qirApp->AddressBookWindow(), nullptr);
    qirgui::Pump();
    EXPECT_EQ(qirx::FindWindow("Addres Book"), 0u);
    book = Open();
    EXPECT_EQ(Rows(book).size(), 2u);
}

TEST_F(AddrBookTest, AddSavesTheFiveLineRecordAndRefusesATakenAlias) {
    WriteBook(Record("bob", "Bob Smith", "", "bob@example.org"));
    Start();
    qirAddrBookWindow* book = Open();
    qirAddrEntryDialog* seen = nullptr;
    Script({[&](qirDialog* d) {
                qirAddrEntryDialog* e = static_cast<qirAddrEntryDialog*>(d);
                seen = e;
                EXPECT_EQ(Text(e->AliasField()), std::string(30, ' '));
                EXPECT_TRUE(e->KindButton(0)->state()->test(TelltaleState::is_chosen));
                Fill(e, "bob", "ann@example.org   ", "Doe, Ann  ", "Example Ltd");
                qirgui::Shot("address_entry_dialog");
                e->Ok();
            },
            Ok, // the error box
            [&](qirDialog* d) {
                qirAddrEntryDialog* e = static_cast<qirAddrEntryDialog*>(d);
                EXPECT_EQ(e, seen);
                // What was typed is still there, to be corrected.
                EXPECT_EQ(Text(e->FullNameField()), "Doe, Ann  ");
                e->AliasField()->field("ann");
                e->Ok();
            }});
    book->Add();
    EXPECT_EQ(titles, (std::vector<std::string>{entryTitle, "Error", entryTitle}));
    EXPECT_NE(Log().find("E " + std::string(qirUiText(310)) + "\n"), std::string::npos);
    EXPECT_EQ(Rows(book), (std::vector<std::string>{"bob : Bob Smith *", "ann : Doe, Ann"}));
    qirAddrBookEntry* ann = qirApp->Book()->Find("ann");
    ASSERT_NE(ann, nullptr);
    EXPECT_EQ(T(ann->Address()), "ann@example.org");
    // Not on disk until saved.
    EXPECT_EQ(qirReadFile(Book()), Record("bob", "Bob Smith", "", "bob@example.org"));
    book->Save();
    EXPECT_EQ(qirReadFile(Book()), Record("bob", "Bob Smith", "", "bob@example.org") +
                                       Record("ann", "Doe, Ann", "Example Ltd", "ann@example.org"));

    // Taken again and cancelled: nothing is added.
    Script({[](qirDialog* d) {
                Fill(static_cast<qirAddrEntryDialog*>(d), "ann", "x@example.org", "", "");
                static_cast<qirAddrEntryDialog*>(d)->Ok();
            },
            Ok, [](qirDialog* d) { static_cast<qirAddrEntryDialog*>(d)->Cancel(); }});
    book->Add();
    EXPECT_EQ(titles.size(), 3u);
    EXPECT_EQ(qirApp->Book()->Count(), 2);
    EXPECT_EQ(book->Rows()->Count(), 2);
}

// Editing keeps its own alias, refuses another entry's and line breaks;
// Cancel gives the entry back all five values.
TEST_F(AddrBookTest, EditRefusesAnotherEntrysAliasAndCancelRestores) {
    WriteBook(Record("bob", "Bob Smith", "Acme", "bob@example.org") + Record("odd", "Odd Kind", "", "o@x", 5));
    Start();
    qirAddrBookWindow* book = Open();
    Script({[](qirDialog* d) {
        qirAddrEntryDialog* e = static_cast<qirAddrEntryDialog*>(d);
        EXPECT_EQ(Text(e->AliasField()), "bob");
        e->FullNameField()->field("Robert Smith");
        e->Ok();
    }});
    book->Edit();
    EXPECT_EQ(Rows(book)[0], "bob : Robert Smith *");

    Script({[](qirDialog* d) {
                qirAddrEntryDialog* e = static_cast<qirAddrEntryDialog*>(d);
                e->AliasField()->field("odd\nbob");
                e->Ok(); // a line break: refused, still posted
                EXPECT_NE(e->window(), nullptr);
                Fill(e, "odd", "other@example.org", "Someone", "Elsewhere");
                e->KindButton(2)->state()->set(TelltaleState::is_chosen, true);
                e->Ok(); // another entry's alias
            },
            Ok, Ok, [](qirDialog* d) { static_cast<qirAddrEntryDialog*>(d)->Cancel(); }});
    book->Edit();
    EXPECT_EQ(titles, (std::vector<std::string>{entryTitle, "Warning", "Error", entryTitle}));
    qirAddrBookEntry* bob = qirApp->Book()->First();
    EXPECT_EQ(T(bob->Alias()), "bob");
    EXPECT_EQ(T(bob->Address()), "bob@example.org");
    EXPECT_EQ(T(bob->FullName()), "Robert Smith");
    EXPECT_EQ(T(bob->Organisation()), "Acme");
    EXPECT_EQ(bob->AddressKind(), 0);
    EXPECT_EQ(Rows(book)[0], "bob : Robert Smith *");

    // A kind the dialog does not know shows as Internet, and OK stores it.
    qirAddrBookItem* oddRow = static_cast<qirAddrBookItem*>(book->Rows()->Item(1));
    Script({[](qirDialog* d) {
        qirAddrEntryDialog* e = static_cast<qirAddrEntryDialog*>(d);
        EXPECT_TRUE(e->KindButton(0)->state()->test(TelltaleState::is_chosen));
        e->Ok();
    }});
    oddRow->activate(); // a double click
    EXPECT_EQ(oddRow->Entry()->AddressKind(), 0);
    // One kind at a time.
    Script({[](qirDialog* d) {
        qirAddrEntryDialog* e = static_cast<qirAddrEntryDialog*>(d);
        e->KindButton(2)->state()->set(TelltaleState::is_chosen, true);
        EXPECT_FALSE(e->KindButton(0)->state()->test(TelltaleState::is_chosen));
        e->Ok();
    }});
    oddRow->activate();
    EXPECT_EQ(oddRow->Entry()->AddressKind(), 2);
}

TEST_F(AddrBookTest, DeleteSelectsTheRowAtItsPlace) {
    WriteBook(Record("a", "A", "", "a@x") + Record("b", "B", "", "b@x") + Record("c", "C", "", "c@x"));
    Start();
    qirAddrBookWindow* book = Open();
    book->Rows()->UnselectAll();
    book->Rows()->Item(2)->toggle();
    Script({[](qirDialog* d) { d->dismiss(false); }});
    book->Delete();
    EXPECT_EQ(titles, std::vector<std::string>{"Confirm"});
    EXPECT_EQ(qirApp->Book()->Count(), 3);
    Script({Ok});
    book->Delete();
    EXPECT_EQ(Rows(book), (std::vector<std::string>{"a : A", "b : B *"}));
    Script({Ok});
    book->Rows()->UnselectAll();
    book->Rows()->Item(0)->toggle();
    book->Delete();
    EXPECT_EQ(Rows(book), std::vector<std::string>{"b : B *"});
    Script({Ok});
    book->Delete();
    EXPECT_TRUE(Rows(book).empty());
    EXPECT_EQ(qirApp->Book()->Count(), 0);
    // Nothing selected: nothing asked.
    Script({});
    book->Delete();
    EXPECT_TRUE(titles.empty());
    // The file changes only when saved.
    EXPECT_NE(qirReadFile(Book()).find("c@x"), std::string::npos);
}

// A save that fails says why and leaves everything as it was: the window,
// the entries, the file.
TEST_F(AddrBookTest, FailedSaveIsReportedAndKeepsTheChanges) {
    WriteBook(Record("bob", "Bob Smith", "", "bob@example.org"));
    Start();
    qirAddrBookWindow* book = Open();
    Script({[](qirDialog* d) {
        Fill(static_cast<qirAddrEntryDialog*>(d), "ann", "ann@example.org", "Ann", "");
        static_cast<qirAddrEntryDialog*>(d)->Ok();
    }});
    book->Add();
    // The file became a directory meanwhile: nothing can be renamed over it.
    unlink(Book().c_str());
    mkdir(Book().c_str(), 0700);
    mkdir((Book() + "/inside").c_str(), 0700);
    book->Save();
    EXPECT_EQ(titles, (std::vector<std::string>{entryTitle, "Error"}));
    EXPECT_NE(Log().find("E Can't save address book! Can't write address book <" + Book() + ">: "),
              std::string::npos)
        << Log();
    EXPECT_EQ(qirApp->AddressBookWindow(), book);
    EXPECT_EQ(qirApp->Book()->Count(), 2);
    rmdir((Book() + "/inside").c_str());
    rmdir(Book().c_str());
    book->Save();
    EXPECT_NE(qirReadFile(Book()).find("ann@example.org"), std::string::npos);
}

// An entry another window adds (the message view's senders) shows once
// the book is refreshed; the selected entry stays selected.
TEST_F(AddrBookTest, RefreshShowsEntriesAddedElsewhere) {
    WriteBook(Record("a", "A", "", "a@x") + Record("b", "B", "", "b@x"));
    Start();
    qirAddrBookWindow* book = Open();
    book->Rows()->UnselectAll();
    book->Rows()->Item(1)->toggle();
    qirAddrBookEntry* sender = new qirAddrBookEntry();
    sender->SetAlias("sender");
    sender->SetAddress("sender@example.org");
    qirApp->Book()->Append(sender);
    qirApp->RefreshAddressBook();
    EXPECT_EQ(Rows(book), (std::vector<std::string>{"a : A", "b : B *", "sender : "}));
    // Its row edits the entry itself.
    Script({[](qirDialog* d) {
        EXPECT_EQ(Text(static_cast<qirAddrEntryDialog*>(d)->AliasField()), "sender");
        d->dismiss(false);
    }});
    static_cast<qirAddrBookItem*>(book->Rows()->Item(2))->activate();
    EXPECT_EQ(titles, std::vector<std::string>{entryTitle});
}

// The hand-over between the compose windows and the book: the To, Cc and
// Bcc buttons fill the attached window only, the main menu's road detaches
// it, a compose window's own button attaches it again, and a closed compose
// window is never filled.
TEST_F(AddrBookTest, FieldButtonsFillOnlyTheAttachedComposeWindow) {
    WriteBook(Record("bob", "Bob Smith", "", "bob@example.org"));
    // The shipped settings the editor panel needs, under the test's folders.
    std::string folders = qirConfig.Get("FolderDir").Data();
    qirConfig.Load(QIR_BUILD_DATA "/QIR.cfg");
    qirConfig.Set("FolderDir", folders.c_str());
    qirConfig.Set("AddrBook", Book().c_str());
    Start();
    qirAddrBookWindow* book = Open();
    EXPECT_FALSE(book->IsAttached());
    book->To(); // no compose window: nothing, no crash

    MsgEditDock* dock = qirApp->NewComposeDock();
    ASSERT_NE(dock, nullptr);
    dock->open();
    MsgEdit* w = dock->ComposeWindow();
    ASSERT_NE(qirgui::WaitWindow("Compose letter"), 0u);
    EXPECT_EQ(book->Composer(), w);
    auto text = [](qirFieldEditor* f) {
        const String* s = f->text();
        return std::string(s->string(), s->length());
    };
    book->To();
    book->Bcc();
    EXPECT_EQ(text(w->ToField()), "Bob Smith <bob@example.org>");
    EXPECT_EQ(text(w->BccField()), "Bob Smith <bob@example.org>");

    qirApp->AddressBook(); // the main menu's road
    EXPECT_FALSE(book->IsAttached());
    book->Cc();
    EXPECT_EQ(text(w->CcField()), "");
    w->OpenAddressBook();
    EXPECT_EQ(book->Composer(), w);
    book->Cc();
    EXPECT_EQ(text(w->CcField()), "Bob Smith <bob@example.org>");

    book->Rows()->UnselectAll();
    book->Compose(); // nothing selected: no letter
    EXPECT_EQ(qirApp->ComposeDocks().Count(), 1);

    w->Discard();
    qirAfterEvent::RunPending();
    EXPECT_FALSE(book->IsAttached());
    book->To();
}

}  // namespace
