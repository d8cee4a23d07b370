// Sorting the loaded messages of a folder and keeping the list counters.
#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>
#include <random>
#include <string>
#include <vector>

#include "qirAddress.h"
#include "qirFolder.h"
#include "qirList.h"
#include "qirMsg.h"
#include "qirMsgCounts.h"
#include "qirMsgSort.h"
#include "qirScratchDir.h"

namespace {

// A message whose size is given, counting how often it is asked.
class SizedMsg : public qirMsg {
public:
    SizedMsg(const std::string& path, int size) : qirMsg(qirPath(path.c_str())), size_(size) {}
    int Size() override
    {
        sizeCalls++;
        return size_;
    }
    int size_;
    static int sizeCalls;
};
int SizedMsg::sizeCalls = 0;

struct Fixture {
    const char* subject; // null: none
    const char* name;    // null with mailbox null: no From address
    const char* mailbox;
    long date;
    int size;
};

class MsgSortTest : public ::testing::Test {
protected:
    ~MsgSortTest() override { list.Remove(nullptr); }

    SizedMsg* Add(const Fixture& f)
    {
        auto* m = new SizedMsg(dir.Path() + "/Message" + std::to_string(n++), f.size);
        if (f.subject) {
            qirString s(f.subject);
            m->SetSubject(&s);
        }
        if (f.name || f.mailbox) {
            qirAddress a(f.mailbox, f.name);
            m->AddFrom(&a);
        }
        m->SetDate(f.date);
        list.Append(m);
        return m;
    }
    std::vector<qirMsg*> Order() const
    {
        std::vector<qirMsg*> out;
        for (qirObject* o = list.First(); o; o = qirList::Next(o)) out.push_back(static_cast<qirMsg*>(o));
        return out;
    }
    std::string Subjects() const
    {
        std::string out;
        for (qirMsg* m : Order()) out += std::string(m->Subject() && m->Subject()->Data() ? m->Subject()->Data() : "-") + " ";
        return out;
    }
    // The order an exchange sort gives: move a successor in front whenever
    // Compare says so, until a pass moves nothing.
    static std::vector<qirMsg*> Exchange(std::vector<qirMsg*> v, int method)
    {
        for (int moved = 1; moved;) {
            moved = 0;
            for (size_t i = 0; i + 1 < v.size(); i++)
                if (qirMsgSort::Compare(method, v[i], v[i + 1]) > 0) {
                    std::swap(v[i], v[i + 1]);
                    moved = 1;
                }
        }
        return v;
    }

    qirScratchDir dir;
    qirList list;
    int n = 0;
};

TEST_F(MsgSortTest, OrdersOfTheMethods)
{
    Add({"alpha", "Bob", "bob@x", 300, 30});
    Add({nullptr, nullptr, nullptr, 100, 10});
    Add({"Zeta", "", "ann@x", 200, 20});
    Add({"beta", "Al", nullptr, 100, 5});
    Add({"Alpha", "Cy", "cy@x", 50, 30});
    std::vector<qirMsg*> m = Order();

    struct Case {
        int method;
        std::vector<int> want;
    } cases[] = {
        {qirMsgSort::ByNothing, {0, 1, 2, 3, 4}},
        {qirMsgSort::Arrival, {0, 1, 2, 3, 4}},
        {qirMsgSort::ByDate, {4, 1, 3, 2, 0}},          // oldest first, ties in loaded order
        {qirMsgSort::BySize, {3, 1, 2, 0, 4}},
        {qirMsgSort::BySubject, {0, 1, 4, 2, 3}},       // no subject stays second; "Zeta" before "beta"
        {qirMsgSort::BySenderName, {0, 1, 2, 3, 4}},    // 1 and 2 have no name: each run stands
        {qirMsgSort::BySenderMailbox, {0, 1, 2, 3, 4}}, // likewise 1 and 3
        {99, {0, 1, 2, 3, 4}},
        {-1, {0, 1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        // Start from the loaded order each time.
        while (qirObject* o = list.First()) list.Unlink(o);
        for (qirMsg* p : m) list.Append(p);
        qirMsgSort::Sort(&list, c.method);
        std::vector<qirMsg*> want;
        for (int i : c.want) want.push_back(m[i]);
        EXPECT_EQ(Order(), want) << "method " << c.method << ": " << Subjects();
        EXPECT_EQ(Order(), Exchange(m, c.method)) << "method " << c.method;
    }

    // Sorting by nothing after a subject sort keeps the subject order.
    qirMsgSort::Sort(&list, qirMsgSort::BySubject);
    std::string bySubject = Subjects();
    qirMsgSort::Sort(&list, qirMsgSort::ByNothing);
    EXPECT_EQ(Subjects(), bySubject);
    EXPECT_EQ(bySubject, "alpha  Alpha Zeta beta ");
}

TEST_F(MsgSortTest, AgreesWithTheExchangeOrderAndReadsEachKeyOnce)
{
    std::mt19937 random(7);
    const char* words[] = {"", "a", "b", "B", "ab", "Re: a"};
    for (int i = 0; i < 120; i++) {
        const char* subject = words[random() % 6];
        const char* name = words[random() % 6];
        const char* mailbox = words[random() % 6];
        Add({random() % 5 ? subject : nullptr, name, random() % 4 ? mailbox : nullptr, long(random() % 8),
             int(random() % 8)});
    }
    std::vector<qirMsg*> loaded = Order();
    for (int method = 0; method < qirMsgSort::MethodCount; method++) {
        std::vector<qirMsg*> start = Order();
        SizedMsg::sizeCalls = 0;
        qirMsgSort::Sort(&list, method);
        if (method == qirMsgSort::BySize) EXPECT_EQ(SizedMsg::sizeCalls, int(loaded.size()));
        else EXPECT_EQ(SizedMsg::sizeCalls, 0);
        EXPECT_EQ(Order(), Exchange(start, method)) << "method " << method;
    }
    EXPECT_EQ(list.Count(), int(loaded.size()));
    EXPECT_EQ(qirMsgSort::Compare(qirMsgSort::ByDate, nullptr, loaded[0]), 0);
}

// Keys that agree in their first bytes, bytes above 127 and dates and
// sizes below zero order as the comparison says.
TEST_F(MsgSortTest, LongSharedPrefixesHighBytesAndNegativeNumbers)
{
    std::mt19937 random(11);
    const char* words[] = {"subject line one", "subject line", "subject line two", "subject lin\xe9",
                           "subject line one!", "subject", "\xe9t\xe9", "Subject line"};
    for (int i = 0; i < 80; i++)
        Add({words[random() % 8], words[random() % 8], words[random() % 8], long(random() % 9) - 5,
             int(random() % 5) - 2});
    for (int method = 0; method < qirMsgSort::MethodCount; method++) {
        std::vector<qirMsg*> start = Order();
        qirMsgSort::Sort(&list, method);
        EXPECT_EQ(Order(), Exchange(start, method)) << "method " << method;
    }
}

// A loaded folder is sorted through its own order of places: equal keys
// keep the list's order across sorts, copies in and purges, as in a list.
TEST_F(MsgSortTest, ALoadedFolderSortsAsAListDoes)
{
    std::string folderDir = dir.Path() + "/Work.QIR";
    ASSERT_EQ(mkdir(folderDir.c_str(), 0700), 0);
    std::mt19937 random(5);
    const char* words[] = {"", "a", "b", "B", "ab"};
    auto make = [&](const std::string& path, int i) {
        qirMsg m(qirPath(path.c_str()));
        qirString s(words[random() % 5]);
        m.SetSubject(&s);
        qirAddress a(words[random() % 5], words[random() % 5]);
        m.AddFrom(&a);
        m.SetDate(long(random() % 4));
        m.SetRead(i % 2);
        m.SetRemoved(i % 7 == 3);
        ASSERT_EQ(m.Save(), 0);
    };
    for (int i = 0; i < 60; i++) make(folderDir + "/Message" + std::to_string(i), i);
    qirFolder folder{qirPath(folderDir.c_str())};
    ASSERT_EQ(folder.Load(), 0);
    auto order = [&] {
        std::vector<qirMsg*> out;
        for (qirMsg* m = folder.First(); m; m = folder.Next(m)) out.push_back(m);
        return out;
    };
    auto sortAll = [&](const char* when) {
        for (int method : {5, 1, 3, 4, 6, 0, 1, 5}) {
            std::vector<qirMsg*> start = order();
            qirMsgSort::Sort(&folder, method);
            ASSERT_EQ(order(), Exchange(start, method)) << when << ", method " << method;
        }
    };
    sortAll("loaded");
    // Copies come last, whatever the order was; purged messages leave it.
    std::string other = dir.Path() + "/Other";
    make(other, 1);
    qirMsg copy(qirPath(other.c_str()));
    ASSERT_EQ(folder.CopyIn(&copy), 0);
    EXPECT_STREQ(order().back()->Path().Basename().Text(), "Message51");
    sortAll("after a copy and a purge");
    EXPECT_EQ(int(order().size()), 52); // 9 of the 60 were marked removed
}

TEST(MsgCounts, FollowRowsAsTheyComeChangeAndGo)
{
    struct Row {
        qirMsgCounts::Mark mark;
        int read = 0, deleted = 0, selected = 0, present = 0;
    };
    std::vector<Row> rows(50);
    qirMsgCounts counts;
    std::mt19937 random(3);
    for (int step = 0; step < 2000; step++) {
        Row& r = rows[random() % rows.size()];
        switch (random() % 5) {
        case 0:
            if (!r.present) {
                r.read = random() % 2;
                r.deleted = random() % 2;
                r.selected = 0;
                counts.Add(&r.mark, r.read, r.deleted);
                r.present = 1;
            }
            break;
        case 1:
            counts.Remove(&r.mark);
            counts.Remove(&r.mark); // twice is once
            r.present = 0;
            break;
        case 2:
            r.read = random() % 2;
            r.deleted = random() % 2;
            counts.Update(&r.mark, r.read, r.deleted); // a row not counted stays out
            break;
        default:
            r.selected = random() % 2;
            counts.UpdateSelected(&r.mark, r.selected);
            break;
        }
        int read = 0, deleted = 0, selected = 0, present = 0;
        for (const Row& x : rows)
            if (x.present) {
                present++;
                read += x.read;
                deleted += x.deleted;
                selected += x.selected;
            }
        ASSERT_EQ(counts.Rows(), present) << step;
        ASSERT_EQ(counts.Read(), read) << step;
        ASSERT_EQ(counts.Deleted(), deleted) << step;
        ASSERT_EQ(counts.Selected(), selected) << step;
    }
}

} // namespace
