// The filter book and its dialog in the application on the test X server:
// new, edit, remove, the dialog's checks and padding, saving (also when it
// fails), discarding, and what the book shows.
#include <gtest/gtest.h>

#include "qirFilterList.h"
#include "qirStatus.h"

// Read before InterViews' and Xlib's macros rename the words.
static std::string PatternOf(const qirFilter* f) {
    // Kept while it is read: Pattern() answers a copy.
    qirString p = f->Condition().Pattern().Pattern();
    return p.Data() ? p.Data() : "";
}
static int CaseOf(const qirFilter* f) { return f->Condition().Pattern().IsCaseSensitive(); }
static int StatusOf(const qirFilter* f) { return f->Status(); }

#include "qirAppTestSupport.h"

#include "FilterBookDock.h"
#include "qirFieldEditor.h"
#include "qirFilterBookWindow.h"
#include "qirFilterDialog.h"
#include "qirListBox.h"
#include "qirMarkedItem.h"
#include "qirQuestionDialog.h"

#include <IV-look/button.h>
#include <InterViews/telltale.h>
#include <OS/string.h>

#include <unistd.h>

#include <vector>

using qirapp::Answer;

namespace {

std::string T(const qirString& s) { return s.Data() ? s.Data() : ""; }

std::string Text(qirFieldEditor* field) { return qirapp::FieldText(field); }

int Chosen(Button* b) { return b->state()->test(TelltaleState::is_chosen) ? 1 : 0; }
void Set(Button* b, int on) { b->state()->set(TelltaleState::is_chosen, on != 0); }

std::vector<std::string> Rows(qirFilterBookWindow* book) { return qirapp::MarkedRows(book->Rows()); }

qirFilter* Filter(const char* name, int active, int fields, const char* pattern, int actions = 0,
                  const char* copy = "") {
    return new qirFilter(name, active, qirFilterCondition(fields, qirWildcard(pattern, 0), ""), actions, copy, "",
                         "");
}

class FilterBookTest : public qirapp::AppTest {
protected:
    // The book, moved off the screen's corner so that a dialog centred on
    // it is seen whole.
    qirFilterBookWindow* Open() {
        qirApp->OpenFilterBook();
        qirFilterBookWindow* book = qirApp->FilterBook()->BookWindow();
        EXPECT_NE(qirgui::WaitWindow("Filter Book"), 0u);
        book->Unmap();
        qirgui::Pump();
        book->TheWindow()->place(300, 250);
        book->Raise();
        EXPECT_NE(qirgui::WaitWindow("Filter Book"), 0u);
        return book;
    }
    // Fills the filter's own file before the session starts.
    void WriteFilters(std::initializer_list<qirFilter*> filters) {
        qirFilterList list;
        list.Load((dir + "/filter").c_str());
        for (qirFilter* f : filters)
            list.Append(f);
        ASSERT_EQ(list.Save(), 0);
    }
    std::string FilterFile() const { return qirReadFile(dir + "/filter"); }
};

TEST_F(FilterBookTest, NewFilterStartsFromTheDefaultsAndStoresTheFieldsTrimmed) {
    MakeFolder("Folder_3", "Reports");
    Start();
    qirFilterBookWindow* book = Open();
    EXPECT_TRUE(book->Rows()->Items().IsEmpty());
    std::string reply = dir + "/reply.txt";
    FILE* f = fopen(reply.c_str(), "w");
    fputs("Thanks.\n", f);
    fclose(f);

    Answer() = [&](qirDialog* d) {
        ASSERT_EQ(d->title(), "New filter");
        qirFilterDialog* fd = static_cast<qirFilterDialog*>(d);
        EXPECT_EQ(book->PostedDialog(), fd);
        EXPECT_EQ(Text(fd->NameField()), "Filter N0");
        EXPECT_EQ(Text(fd->PatternField()), "*QIR*");
        for (int i = 0; i < 5; i++)
            EXPECT_EQ(Chosen(fd->FieldBox(i)), i == 3) << i;
        for (int i = 0; i < 4; i++)
            EXPECT_EQ(Chosen(fd->ActionBox(i)), 0) << i;
        EXPECT_EQ(Chosen(fd->ActiveBox()), 1);
        EXPECT_EQ(Chosen(fd->CaseBox()), 0);
        EXPECT_EQ(Text(fd->OtherField()), std::string(30, ' '));
        EXPECT_EQ(fd->Folders()->Count(), 3); // Incoming, Outgoing, Reports

        fd->NameField()->field("Reports   \t");
        fd->PatternField()->field("*report*      ");
        Set(fd->FieldBox(4), 1);
        fd->OtherField()->field("x-mailer:  ");
        Set(fd->CaseBox(), 1);
        Set(fd->ActionBox(0), 1);
        Set(fd->ActionBox(1), 1);
        Set(fd->ActionBox(2), 1);
        fd->Folders()->Item(2)->toggle();
        fd->ReplyField()->field((reply + "      ").c_str());
        fd->ForwardField()->field("~/forward-to        ");
        qirgui::Shot("filter_dialog");
        fd->Ok();
    };
    book->NewFilter();
    ASSERT_EQ(qirApp->Filters()->Count(), 1);
    qirFilter* made = qirApp->Filters()->First();
    EXPECT_EQ(T(made->Name()), "Reports");
    EXPECT_EQ(PatternOf(made), "*report*");
    EXPECT_EQ(CaseOf(made), 1);
    EXPECT_EQ(made->Condition().Fields(), 8 | 16);
    EXPECT_EQ(T(made->Condition().OtherFieldName()), "x-mailer:");
    EXPECT_EQ(made->Actions(), 7);
    EXPECT_EQ(T(made->CopyPath()), "Folder_3.QIR");
    EXPECT_EQ(T(made->ReplyPath()), reply);
    // The address is held as a path: its "~" is expanded.
    EXPECT_EQ(T(made->ForwardAddress()), T(qirPath("~")) + "/forward-to");
    EXPECT_EQ(StatusOf(made), 0);
    EXPECT_EQ(Rows(book), std::vector<std::string>{"Reports *"});
    EXPECT_EQ(book->PostedDialog(), nullptr);

    // The dialog shows the filter again as it was stored.
    Answer() = [&](qirDialog* d) {
        qirFilterDialog* fd = static_cast<qirFilterDialog*>(d);
        EXPECT_EQ(Text(fd->NameField()), "Reports");
        EXPECT_EQ(Text(fd->OtherField()), "x-mailer:");
        EXPECT_EQ(fd->Folders()->FirstSelected(), fd->Folders()->Item(2));
        EXPECT_EQ(Chosen(fd->CaseBox()), 1);
        EXPECT_EQ(Chosen(fd->ActionBox(2)), 1);
        Set(fd->ActiveBox(), 0);
        fd->Ok();
    };
    book->Rows()->Item(0)->activate(); // a double click
    EXPECT_EQ(made->IsActive(), 0);
    EXPECT_EQ(Rows(book), std::vector<std::string>{"Reports(non active) *"});
    qirgui::Shot("filter_book");

    // Cancelled: nothing is added.
    Answer() = [](qirDialog* d) { static_cast<qirFilterDialog*>(d)->Cancel(); };
    book->NewFilter();
    EXPECT_EQ(qirApp->Filters()->Count(), 1);
    EXPECT_EQ(book->Rows()->Count(), 1);
}

// Each check keeps the dialog posted, names what is missing and leaves the
// filter as it was.
TEST_F(FilterBookTest, DialogRefusesWhatIsMissing) {
    Start();
    struct Case {
        const char* warning;
        std::function<void(qirFilterDialog*)> spoil;
    };
    const std::string missing = dir + "/no-such-file";
    const Case cases[] = {
        {"Filter Name may NOT be empty!", [](qirFilterDialog* d) { d->NameField()->field("  \t "); }},
        {"You should specify Special Field Name!", [](qirFilterDialog* d) { Set(d->FieldBox(4), 1); }},
        {"You should specify Regular Expressin Field!", [](qirFilterDialog* d) { d->PatternField()->field("   "); }},
        {"You should specify folder to copying!", [](qirFilterDialog* d) { Set(d->ActionBox(0), 1); }},
        {"You should specify correct filename for replying!",
         [&](qirFilterDialog* d) {
             Set(d->ActionBox(1), 1);
             d->ReplyField()->field(missing.c_str());
         }},
        {"You should specify correct filename for replying!",
         [&](qirFilterDialog* d) {
             Set(d->ActionBox(1), 1);
             d->ReplyField()->field(dir.c_str()); // a directory is no reply text
         }},
        {"You should specify addressee to forward!", [](qirFilterDialog* d) { Set(d->ActionBox(2), 1); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.warning);
        qirFilter* filter = Filter("Kept", 1, 8, "*x*");
        std::vector<std::string> titles;
        Answer() = [&](qirDialog* d) {
            titles.push_back(T(d->title()));
            if (d->title() == "Error") {
                d->dismiss(true);
                return;
            }
            qirFilterDialog* fd = static_cast<qirFilterDialog*>(d);
            c.spoil(fd);
            fd->Ok(); // refused: a warning, and still posted
            EXPECT_EQ(fd->window() != nullptr, true);
            fd->Cancel();
        };
        qirFilterDialog* d = new qirFilterDialog(filter);
        Resource::ref(d);
        EXPECT_FALSE(d->post_for(nullptr));
        Resource::unref(d);
        EXPECT_EQ(titles, (std::vector<std::string>{"New filter", "Error"}));
        EXPECT_NE(Log().find("E " + std::string(c.warning) + "\n"), std::string::npos);
        EXPECT_EQ(T(filter->Name()), "Kept");
        EXPECT_EQ(filter->Actions(), 0);
        EXPECT_EQ(filter->Condition().Fields(), 8);
        delete filter;
    }
}

TEST_F(FilterBookTest, NamesEditAndRemove) {
    WriteFilters({Filter("Filter N0", 1, 8, "*a*"), Filter("Filter N2", 0, 8, "*b*"), Filter("Third", 1, 8, "*c*")});
    Start();
    EXPECT_EQ(T(qirFilterBookWindow::NewFilterName(*qirApp->Filters())), "Filter N1");
    qirFilterBookWindow* book = Open();
    EXPECT_EQ(Rows(book), (std::vector<std::string>{"Filter N0 *", "Filter N2(non active)", "Third"}));

    // Edit wants exactly one selected row.
    book->Rows()->Item(1)->toggle();
    std::vector<std::string> titles;
    Answer() = [&](qirDialog* d) {
        titles.push_back(T(d->title()));
        d->dismiss(true);
    };
    book->EditFilter();
    EXPECT_EQ(titles, std::vector<std::string>{"Error"});
    EXPECT_NE(Log().find("E You should select exactly ONE filter to edit!"), std::string::npos);

    // Remove asks once per selected row; "no" keeps that one.  The row
    // that comes to the first removed one's place has its mark flipped:
    // the kept Filter N2 is no longer selected.
    titles.clear();
    std::vector<std::string> asked;
    Answer() = [&](qirDialog* d) {
        titles.push_back(T(d->title()));
        asked.push_back(asked.empty() ? "yes" : "no");
        d->dismiss(asked.size() == 1);
    };
    book->RemoveFilters();
    EXPECT_EQ(titles, (std::vector<std::string>{"You are going to remove filter", "You are going to remove filter"}));
    EXPECT_EQ(Rows(book), (std::vector<std::string>{"Filter N2(non active)", "Third"}));
    EXPECT_EQ(qirApp->Filters()->Count(), 2);
    EXPECT_EQ(T(qirApp->Filters()->First()->Name()), "Filter N2");

    // Removing the last row flips the new last one.
    book->Rows()->Item(1)->toggle();
    Answer() = [](qirDialog* d) { d->dismiss(true); };
    book->RemoveFilters();
    EXPECT_EQ(Rows(book), std::vector<std::string>{"Filter N2(non active) *"});
    // Nothing from the file is gone until the book is saved.
    EXPECT_NE(FilterFile().find("Third"), std::string::npos);
}

TEST_F(FilterBookTest, SaveDiscardAndAFailedSave) {
    WriteFilters({Filter("Saved", 1, 8, "*a*")});
    Start();
    qirFilterBookWindow* book = Open();
    int errorBoxes = 0;
    Answer() = [&](qirDialog* d) {
        if (d->title() == "Error") {
            errorBoxes++;
            d->dismiss(true);
        } else {
            static_cast<qirFilterDialog*>(d)->Ok();
        }
    };
    book->NewFilter();
    ASSERT_EQ(qirApp->Filters()->Count(), 2);

    // Discard and close: the list is the file's again, the lock taken anew.
    book->DiscardAndClose();
    EXPECT_FALSE(qirApp->FilterBook()->is_open());
    EXPECT_EQ(qirApp->Filters()->Count(), 1);
    EXPECT_TRUE(qirApp->Filters()->IsLocked());
    qirgui::Pump();
    EXPECT_EQ(qirx::FindWindow("Filter Book"), 0u);

    book = Open();
    EXPECT_EQ(Rows(book), std::vector<std::string>{"Saved *"});
    book->NewFilter();
    book->SaveAndClose();
    EXPECT_FALSE(qirApp->FilterBook()->is_open());
    // The engine reads back what the book saved.
    qirFilterList again;
    ASSERT_EQ(again.Load((dir + "/filter").c_str()), 0);
    ASSERT_EQ(again.Count(), 2);
    EXPECT_EQ(T(again.Last()->Name()), "Filter N0");
    EXPECT_EQ(PatternOf(again.Last()), "*QIR*");

    // Another QIR took the lock meanwhile: the failure is reported with
    // its reason, the book stays open and keeps its changes.
    book = Open();
    book->NewFilter();
    std::string lock = dir + "/filter.LOCK";
    unlink(lock.c_str());
    FILE* f = fopen(lock.c_str(), "w");
    fprintf(f, "%d\n", getppid());
    fclose(f);
    qirApp->Filters()->Reload(); // what a discard would do: the lock is lost
    ASSERT_FALSE(qirApp->Filters()->IsLocked());
    qirApp->Filters()->Append(Filter("Unsaved", 1, 8, "*u*"));
    std::string before = FilterFile();
    EXPECT_EQ(errorBoxes, 0);
    book->SaveAndClose();
    EXPECT_EQ(errorBoxes, 1);
    EXPECT_TRUE(qirApp->FilterBook()->is_open());
    EXPECT_EQ(FilterFile(), before);
    EXPECT_NE(Log().find("E Can't save filter file! Another QIR holds the lock of filter file <" + dir + "/filter>"),
              std::string::npos)
        << Log();
    EXPECT_EQ(T(qirApp->Filters()->Last()->Name()), "Unsaved");
    unlink(lock.c_str());
}

TEST_F(FilterBookTest, OpenTwiceAndTheWindowManagersCloseKeepOneBook) {
    Start();
    qirFilterBookWindow* book = Open();
    qirApp->OpenFilterBook();
    EXPECT_EQ(qirApp->FilterBook()->BookWindow(), book);
    qirx::SendDelete(qirx::FindWindow("Filter Book"));
    qirgui::Pump();
    EXPECT_TRUE(qirApp->FilterBook()->is_open());
    EXPECT_NE(qirx::FindWindow("Filter Book"), 0u);
}

}  // namespace
