#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "qirAtomicFile.h"
#include "qirConfiguration.h"
#include "qirScratchDir.h"

namespace {

std::string T(const qirString& s) { return s.Text() ? s.Text() : "<null>"; }
// The syntax has one spelling for null and "", so trees compare them alike.
std::string V(const qirString& s) { return s.Text() ? s.Text() : ""; }

// Describes the first difference between two trees, or "" when equal.
std::string Diff(const qirConfiguration* a, const qirConfiguration* b, const std::string& where)
{
    if (V(a->Name()) != V(b->Name())) return where + ": name '" + V(a->Name()) + "' vs '" + V(b->Name()) + "'";
    std::string here = where + "/" + V(a->Name());
    if (a->ValueList()->Count() != b->ValueList()->Count())
        return here + ": " + std::to_string(a->ValueList()->Count()) + " values vs " +
               std::to_string(b->ValueList()->Count());
    for (int i = 0; i < a->ValueList()->Count(); ++i)
        if (V(a->Value(i)) != V(b->Value(i)))
            return here + ": value " + std::to_string(i) + " '" + V(a->Value(i)) + "' vs '" + V(b->Value(i)) + "'";
    const qirConfiguration *ca = a->FirstChild(), *cb = b->FirstChild();
    for (; ca && cb; ca = qirConfiguration::NextChild(ca), cb = qirConfiguration::NextChild(cb)) {
        std::string d = Diff(ca, cb, here);
        if (!d.empty()) return d;
    }
    if (ca || cb) return here + ": child count differs";
    return "";
}

qirConfiguration* AddNode(qirConfiguration* parent, const char* name, std::vector<const char*> values)
{
    qirConfiguration* c = new qirConfiguration(name);
    int i = 0;
    for (const char* v : values) c->ValueList()->Set(qirString(v), i++);
    parent->Append(c);
    return c;
}

// The tree's nodes given to a writer that builds no tree.
void Emit(qirConfigurationText* out, const qirConfiguration* node)
{
    for (const qirConfiguration* c = node->FirstChild(); c; c = qirConfiguration::NextChild(c)) {
        std::vector<const char*> values;
        for (qirString* v = c->ValueList()->First(); v; v = qirStringList::Next(v)) values.push_back(v->Text());
        out->Begin(c->Name().Text(), values.data(), values.size());
        Emit(out, c);
        out->End();
    }
}

// Saved, and read back into back: the first difference, or "".  The
// writer without a tree must write the very same file.
std::string SaveAndReload(const qirConfiguration& tree, qirConfiguration* back, const qirScratchDir& dir)
{
    std::string path = dir.File("rt.cfg");
    qirConfigurationText text;
    Emit(&text, &tree);
    if (text.Save(dir.File("text.cfg").c_str()) != 0) return "text save failed";
    if (tree.Save(path.c_str()) != 0) return "save failed";
    if (qirScratchDir::ReadFile(path) != qirScratchDir::ReadFile(dir.File("text.cfg"))) return "text differs";
    int r = back->Load(path.c_str());
    if (r != 0) return "load answered " + std::to_string(r);
    std::string d = Diff(&tree, back, "");
    if (!d.empty()) d += "\n--- file ---\n" + qirScratchDir::ReadFile(path).substr(0, 2000);
    return d;
}

// ------------------------------------------------------------------ round trip

const char* const kHostile[] = {
    "", " ", "  lead", "trail  ", "a b", "\t", "a\tb", ";", "a;b", "; not a comment", "\"", "\"quoted\"",
    "a\"b", "{", "}", "{}", "a{b", "x}", "\\{", "\\}", "\\", "\\\\", "a\\", "\\a", "\\n", "\n", "a\nb",
    "\r\n", "\r", "x.y", ".", "..", "end.", ".start", "a.b.c", "-", "#", "= ", "é ü", "\\ \\", "\"\\\"",
};

TEST(qirConfigurationRoundTrip, HostileNamesAndValues)
{
    qirScratchDir dir;
    qirConfiguration tree;
    // Every hostile text as a value at top level and inside nested blocks,
    // and as a name with and without values and children.
    qirConfiguration* values = AddNode(&tree, "Values", {});
    qirConfiguration* nested = AddNode(AddNode(&tree, "Outer", {"o"}), "Inner", {});
    int n = 0;
    for (const char* h : kHostile) {
        std::string key = "K" + std::to_string(n++);
        AddNode(values, key.c_str(), {h, "after", h});
        AddNode(nested, key.c_str(), {h});
        AddNode(&tree, key.c_str(), {h});
    }
    qirConfiguration* names = AddNode(&tree, "Names", {});
    for (const char* h : kHostile) {
        qirConfiguration* c = AddNode(names, h, {"v", h});
        AddNode(c, h, {});
    }
    std::string longValue(100000, 'x');
    longValue[5000] = ' ';
    AddNode(&tree, "Long", {longValue.c_str(), ""});
    AddNode(&tree, "Empty", {});
    AddNode(&tree, "EmptyValues", {"", nullptr, ""});

    qirConfiguration back;
    EXPECT_EQ(SaveAndReload(tree, &back, dir), "");
}

// Names are unique among siblings: the syntax addresses a node by its name,
// so two siblings of the same plain name are one node by design.
void RandomTree(std::mt19937& rng, qirConfiguration* node, int depth)
{
    static const char alphabet[] = "ab.{}\\\" \t;\n\rxyz09-";
    auto text = [&](int maxLen) {
        std::string s;
        int len = std::uniform_int_distribution<int>(0, maxLen)(rng);
        for (int i = 0; i < len; ++i) s += alphabet[std::uniform_int_distribution<int>(0, sizeof alphabet - 2)(rng)];
        return s;
    };
    int children = std::uniform_int_distribution<int>(0, depth > 0 ? 5 : 0)(rng);
    std::vector<std::string> used;
    for (int c = 0; c < children; ++c) {
        std::string name = text(6);
        if (std::find(used.begin(), used.end(), name) != used.end()) continue;
        used.push_back(name);
        qirConfiguration* child = new qirConfiguration(name.c_str());
        int values = std::uniform_int_distribution<int>(0, 4)(rng);
        for (int v = 0; v < values; ++v) child->ValueList()->Set(qirString(text(8).c_str()), v);
        node->Append(child);
        RandomTree(rng, child, depth - 1);
    }
}

TEST(qirConfigurationRoundTrip, RandomTrees)
{
    qirScratchDir dir;
    std::mt19937 rng(20240601);
    for (int round = 0; round < 300; ++round) {
        qirConfiguration tree, back;
        RandomTree(rng, &tree, 3);
        std::string d = SaveAndReload(tree, &back, dir);
        ASSERT_EQ(d, "") << "round " << round;
    }
}

TEST(qirConfigurationRoundTrip, LoadedFileSavesToTheSameTree)
{
    // A hand-written file with continuations, comments and dotted names.
    qirScratchDir dir;
    std::string path = dir.File("in.cfg");
    ASSERT_EQ(qirScratchDir::WriteFile(path, "A 1 2 \\\n  3 ; c\nX.Y q\nX { \n  Y z\n}\nX.Y r\n"), 0);
    qirConfiguration tree, back;
    ASSERT_EQ(tree.Load(path.c_str()), 0);
    EXPECT_EQ(SaveAndReload(tree, &back, dir), "");
}

// ------------------------------------------------------------------ reading

struct ReadCase {
    const char* file;
    const char* path;
    int index;
    const char* expected; // "<null>" for a missing value
};

TEST(qirConfigurationRead, Syntax)
{
    const ReadCase cases[] = {
        {"A one two\nA three\n", "A", 0, "three"},
        {"A one two\nA three\n", "A", 1, "two"},
        {"A one\n", "A", 1, "<null>"},
        {"A \"a b\" \"\"\n", "A", 0, "a b"},
        {"A \"a b\" \"\"\n", "A", 1, ""},
        {"A \"x;y\" ; comment\n", "A", 0, "x;y"},
        {"A b   ; c d\n", "A", 0, "b"},
        {"A b   ; c d\n", "A", 1, "<null>"},
        {"   \t A b\n", "A", 0, "b"},
        {"; only a comment\n\n\\\nA b\n", "A", 0, "b"},
        {"A 1 \\\n  2\n", "A", 1, "2"},
        {"A 1 \\\n\\\n  2\n", "A", 1, "2"},
        {"A a\\\n", "A", 0, "a\\"},
        {"A \\\\\n", "A", 0, "\\"},
        {"A \\n\\r\\q\n", "A", 0, "\n\rq"},
        {"A \\{ \\} x\\{y\\}\n", "A", 0, "{"},
        {"A \\{ \\} x\\{y\\}\n", "A", 1, "}"},
        {"A \\{ \\} x\\{y\\}\n", "A", 2, "x{y}"},
        {"A \"\\{\" \"a \\} b\"\n", "A", 1, "a } b"},
        {"A \"say \\\"hi\\\"\"\n", "A", 0, "say \"hi\""},
        {"A \"open\n", "A", 0, "open"},
        {"M {\n    F /x\n    L Yes\n}\n", "M.F", 0, "/x"},
        {"M {\n    F /x\n    L Yes\n}\n", "M.L", 0, "Yes"},
        {"M v {\n  N {\n    O deep\n  }\n}\n", "M.N.O", 0, "deep"},
        {"M v {\n  N {\n    O deep\n  }\n}\n", "M", 0, "v"},
        {"M {\n  F 1 }\nG 2\n", "G", 0, "2"},
        {"M {\n  F 1\n} G 2\n", "G", 0, "2"},
        {"M { F 1\n}\n", "M.F", 0, "1"},
        {"M {\n F 1\n}\nM.F 2\n", "M.F", 0, "2"},
        {"X.Y 1\n", "X.Y", 0, "<null>"},
        {"A 1\n}\nB 2\n", "B", 0, "<null>"},
        {"A 1\n}\nB 2\n", "A", 0, "1"},
        {"M {\n F 1\n", "M.F", 0, "1"},
        {"A a.", "A", 0, "a."},
        {"A.", "A", 0, "<null>"},
    };
    qirScratchDir dir;
    std::string path = dir.File("r.cfg");
    for (const ReadCase& c : cases) {
        ASSERT_EQ(qirScratchDir::WriteFile(path, c.file), 0);
        qirConfiguration tree;
        EXPECT_EQ(tree.Load(path.c_str()), 0) << c.file;
        EXPECT_EQ(T(tree.Get(c.path, c.index)), c.expected) << "file: " << c.file << " path: " << c.path;
    }
}

TEST(qirConfigurationRead, NodesMadeByNamesAndErrors)
{
    qirScratchDir dir;
    std::string path = dir.File("r.cfg");
    qirConfiguration tree;

    ASSERT_EQ(qirScratchDir::WriteFile(path, "Alone\nX.Y 1\n"), 0);
    ASSERT_EQ(tree.Load(path.c_str()), 0);
    ASSERT_NE(tree.Find("Alone"), nullptr);
    EXPECT_EQ(tree.Find("Alone")->ValueList()->Count(), 0);
    ASSERT_NE(tree.Child("X.Y"), nullptr);
    EXPECT_EQ(T(tree.Child("X.Y")->Value(0)), "1");

    // A brace as a name: syntax error, what came before stays.
    qirConfiguration bad;
    ASSERT_EQ(qirScratchDir::WriteFile(path, "A 1\n{ B\nC 2\n"), 0);
    EXPECT_EQ(bad.Load(path.c_str()), -1);
    EXPECT_EQ(T(bad.Get("A")), "1");
    EXPECT_EQ(bad.Find("C"), nullptr);

    qirConfiguration none;
    EXPECT_EQ(none.Load(dir.File("missing").c_str()), -7);
    EXPECT_EQ(none.FirstChild(), nullptr);
    EXPECT_EQ(none.Load(static_cast<const char*>(nullptr)), -7);

    // The shared tokenizer is free again after every load, failed or not.
    EXPECT_FALSE(qirTokenizerState.IsOpen());
    ASSERT_EQ(qirScratchDir::WriteFile(path, "Z 9\n"), 0);
    EXPECT_EQ(tree.Load(path.c_str()), 0);
    EXPECT_EQ(T(tree.Get("Z")), "9");
}

// A long block reads its names as a short one does: a name met again lays
// its values over the first node of that name (also one made before the
// load), a dotted path resolves through the block or else is one name, a
// block of a name met again adds to that node.
TEST(qirConfigurationRead, LongBlocksResolveNamesAsShortOnes)
{
    qirScratchDir dir;
    std::string path = dir.File("long.cfg");
    for (int size : {3, 200}) {
        SCOPED_TRACE(size);
        std::string text = "Block {\n";
        for (int i = 0; i < size; ++i) text += "  k" + std::to_string(i) + " v" + std::to_string(i) + " w\n";
        text += "  k1 again\n  k2.sub deep\n  k0 {\n    inner 1\n  }\n  k0.inner 2\n  before x\n  fresh y\n}\n";
        ASSERT_EQ(qirScratchDir::WriteFile(path, text), 0);
        qirConfiguration tree;
        tree.Set("Block.before", "old");
        ASSERT_EQ(tree.Load(path.c_str()), 0);
        qirConfiguration* block = tree.Child("Block");
        ASSERT_NE(block, nullptr);
        int children = 0;
        for (qirConfiguration* c = block->FirstChild(); c; c = qirConfiguration::NextChild(c)) ++children;
        EXPECT_EQ(children, size + 3); // "k2.sub", "before" and "fresh" besides the k's
        EXPECT_EQ(T(tree.Get("Block.k1")), "again");
        EXPECT_EQ(T(tree.Get("Block.k1", 1)), "w");
        ASSERT_NE(block->Child("k2.sub"), nullptr);
        EXPECT_EQ(T(block->Child("k2.sub")->Value(0)), "deep");
        EXPECT_EQ(T(tree.Get("Block.k0")), "v0");
        EXPECT_EQ(T(tree.Get("Block.k0.inner")), "2");
        EXPECT_EQ(T(tree.Get("Block.before")), "x");
        EXPECT_EQ(T(tree.Get("Block.fresh")), "y");
    }
}

TEST(qirConfigurationRead, LinesOfAnyLength)
{
    qirScratchDir dir;
    std::string path = dir.File("long.cfg");
    std::string value(50000, 'v');
    ASSERT_EQ(qirScratchDir::WriteFile(path, "Long " + value + " tail\nNext 1\n"), 0);
    qirConfiguration tree;
    ASSERT_EQ(tree.Load(path.c_str()), 0);
    EXPECT_EQ(T(tree.Get("Long")), value);
    EXPECT_EQ(T(tree.Get("Long", 1)), "tail");
    EXPECT_EQ(T(tree.Get("Next")), "1");
    EXPECT_EQ(tree.Find("vvvv"), nullptr);
}

TEST(qirConfigurationRead, NulBytesAreDroppedSoTokensReadAlikeTwice)
{
    // "E\0\." and "E" once named different nodes that wrote back alike.
    qirScratchDir dir;
    std::string path = dir.File("nul.cfg");
    static const char text[] = "E\0x 1\nE\0\\.\0\\. 2\n";
    ASSERT_EQ(qirScratchDir::WriteFile(path, std::string(text, sizeof text - 1)), 0);
    qirConfiguration tree;
    ASSERT_EQ(tree.Load(path.c_str()), 0);
    EXPECT_EQ(T(tree.Get("Ex")), "1");
    ASSERT_NE(tree.Child("E.."), nullptr);
    qirConfiguration back;
    EXPECT_EQ(SaveAndReload(tree, &back, dir), "");
}

TEST(qirConfigurationRead, StreamLoadProtectsItsNode)
{
    qirScratchDir dir;
    std::string path = dir.File("s.cfg");
    ASSERT_EQ(qirScratchDir::WriteFile(path, "K v\n"), 0);
    qirConfiguration root;
    qirConfiguration* group = AddNode(&root, "Group", {});
    FILE* f = fopen(path.c_str(), "r");
    ASSERT_NE(f, nullptr);
    int origin = 0;
    EXPECT_EQ(group->Load(f, &origin), 0);
    EXPECT_NE(fgetc(f), 'x'); // the stream stays open
    fclose(f);
    EXPECT_EQ(group->Origin(), &origin);
    EXPECT_EQ(T(root.Get("Group.K")), "v");
    EXPECT_EQ(root.Set("Group", "w"), -1);
    EXPECT_EQ(group->ValueList()->Count(), 0);
    EXPECT_EQ(root.Set("Group.K", "w"), 0); // only the loaded node itself
    EXPECT_EQ(group->Load(static_cast<FILE*>(nullptr), nullptr), -7);
}

// ------------------------------------------------------------------ writing

TEST(qirConfigurationWrite, LayoutOfBlocks)
{
    qirConfiguration tree;
    tree.Set("MailBox.FileName", "/var/mail/u");
    tree.Set("MailBox.LeaveInMailBox", "Yes");
    tree.Set("Top", "a b");
    tree.Set("Top", "", 2);
    tree.Set("Deep.Er.Est", "x");
    char* buf = nullptr;
    size_t len = 0;
    FILE* f = open_memstream(&buf, &len);
    ASSERT_EQ(tree.Write(f), 0);
    fclose(f);
    EXPECT_EQ(std::string(buf, len),
              "MailBox {\n"
              "    FileName /var/mail/u\n"
              "    LeaveInMailBox Yes\n"
              "}\n"
              "Top \"a b\" \"\" \"\"\n"
              "Deep {\n"
              "    Er {\n"
              "        Est x\n"
              "    }\n"
              "}\n"
              "\n");
    free(buf);
    EXPECT_EQ(tree.Write(nullptr), -7);
}

// ------------------------------------------------------------------ store

TEST(qirConfigurationStore, PathsAndSet)
{
    qirConfiguration tree;
    EXPECT_EQ(tree.Set("a.b.c", "v"), 0);
    ASSERT_NE(tree.Child("a"), nullptr);
    ASSERT_NE(tree.Child("a")->Child("b"), nullptr);
    ASSERT_NE(tree.Child("a")->Child("b")->Child("c"), nullptr);
    EXPECT_EQ(tree.Child("a")->ValueList()->Count(), 0);
    EXPECT_EQ(T(tree.Get("a.b.c")), "v");
    EXPECT_EQ(T(tree.Get("a.b.c.")), "v");
    EXPECT_EQ(T(tree.Get("A.b.c")), "<null>");
    EXPECT_EQ(T(tree.Get("a.b.c", 1)), "<null>");
    EXPECT_EQ(tree.Find(nullptr), nullptr);
    EXPECT_EQ(tree.Values("a.x"), nullptr);

    EXPECT_EQ(tree.Set("a.b.c", "third", 3), 0);
    EXPECT_EQ(T(tree.Get("a.b.c", 1)), "<null>");
    EXPECT_EQ(T(tree.Get("a.b.c", 3)), "third");
    EXPECT_EQ(tree.Values("a.b.c")->Count(), 4);

    EXPECT_EQ(tree.SetInt("n.i", -42), 0);
    EXPECT_EQ(tree.SetLong("n.l", 1234567890123L), 0);
    EXPECT_EQ(tree.SetDouble("n.d", 2.5), 0);
    EXPECT_EQ(T(tree.Get("n.i")), "-42");
    EXPECT_EQ(T(tree.Get("n.l")), "1234567890123");
    EXPECT_EQ(T(tree.Get("n.d")), "2.500000");

    qirConfiguration copy(&tree);
    EXPECT_EQ(Diff(&tree, &copy, ""), "");
    tree.Set("a.b.c", "changed");
    EXPECT_EQ(T(copy.Get("a.b.c")), "v");
}

struct NumberCase {
    const char* value; // null: key missing
    int status;
    long number;
};

TEST(qirConfigurationStore, NumericGetters)
{
    const NumberCase cases[] = {
        {nullptr, -6, 7}, {"", 0, 0},      {"12", 0, 12},   {"  -5", 0, -5}, {"+3", 0, 3},
        {"5 ", -9, 5},    {"abc", -9, 0},  {"7x", -9, 7},   {"99999999999999999999", -9, 0},
    };
    for (const NumberCase& c : cases) {
        qirConfiguration tree;
        if (c.value) tree.Set("K", c.value);
        int i = 7;
        long l = 7;
        EXPECT_EQ(tree.GetInt("K", &i), c.status) << (c.value ? c.value : "<missing>");
        EXPECT_EQ(tree.GetLong("K", &l), c.status) << (c.value ? c.value : "<missing>");
        if (c.number || c.status != -9) {
            EXPECT_EQ(i, c.number) << (c.value ? c.value : "<missing>");
            EXPECT_EQ(l, c.number) << (c.value ? c.value : "<missing>");
        }
    }
    qirConfiguration tree;
    tree.Set("I", "3000000000");
    int i = 0;
    EXPECT_EQ(tree.GetInt("I", &i), -9); // fits a long, not an int
    tree.Set("D", "1.25");
    tree.Set("D", "1.25x", 1);
    double d = 0;
    EXPECT_EQ(tree.GetDouble("D", &d), 0);
    EXPECT_DOUBLE_EQ(d, 1.25);
    EXPECT_EQ(tree.GetDouble("D", &d, 1), -9);
    EXPECT_EQ(tree.GetDouble("D", &d, 2), -6);
}

TEST(qirConfigurationStore, MergeKeepsValuesTheOtherLacks)
{
    qirConfiguration base, over;
    base.Set("A", "a0");
    base.Set("A", "a1", 1);
    base.Set("B.C", "c");
    over.Set("A", "new0");
    over.Set("A", "new2", 2);
    over.Set("N.M", "m");
    over.Values("N.M")->Set(qirString(), 0); // only null values: the node is still made
    AddNode(&over, "Dotted.Name", {"d"});
    EXPECT_EQ(base.Merge(&over), 0);
    EXPECT_EQ(T(base.Get("A")), "new0");
    EXPECT_EQ(T(base.Get("A", 1)), "a1");
    EXPECT_EQ(T(base.Get("A", 2)), "new2");
    EXPECT_EQ(T(base.Get("B.C")), "c");
    EXPECT_NE(base.Find("N.M"), nullptr);
    ASSERT_NE(base.Child("Dotted.Name"), nullptr);
    EXPECT_EQ(base.Find("Dotted"), nullptr);
}

// ------------------------------------------------------------------ files

TEST(qirConfigurationFile, UpdateFileLaysTheTreeOverTheFile)
{
    qirScratchDir dir;
    std::string path = dir.File("u.cfg");
    ASSERT_EQ(qirScratchDir::WriteFile(path, "OnlyInFile keep\nBoth old old1\nG {\n  X 1\n}\n"), 0);
    qirConfiguration tree;
    tree.Set("Both", "new");
    tree.Set("G.Y", "2");
    tree.Set("Fresh", "f");
    EXPECT_EQ(tree.UpdateFile(path.c_str()), 0);
    qirConfiguration back;
    ASSERT_EQ(back.Load(path.c_str()), 0);
    EXPECT_EQ(T(back.Get("OnlyInFile")), "keep");
    EXPECT_EQ(T(back.Get("Both")), "new");
    EXPECT_EQ(T(back.Get("Both", 1)), "old1");
    EXPECT_EQ(T(back.Get("G.X")), "1");
    EXPECT_EQ(T(back.Get("G.Y")), "2");
    EXPECT_EQ(T(back.Get("Fresh")), "f");

    // A missing file is simply written.
    std::string fresh = dir.File("new.cfg");
    EXPECT_EQ(tree.UpdateFile(fresh.c_str()), 0);
    qirConfiguration again;
    ASSERT_EQ(again.Load(fresh.c_str()), 0);
    EXPECT_EQ(Diff(&tree, &again, ""), "");
}

TEST(qirConfigurationFile, UpdateFileLeavesAnUnreadableFileAlone)
{
    qirScratchDir dir;
    std::string path = dir.File("bad.cfg");
    const std::string broken = "A 1\n{ oops\nB 2\n";
    ASSERT_EQ(qirScratchDir::WriteFile(path, broken), 0);
    qirConfiguration tree;
    tree.Set("A", "x");
    EXPECT_EQ(tree.UpdateFile(path.c_str()), -13);
    EXPECT_EQ(qirScratchDir::ReadFile(path), broken);

    if (geteuid() != 0) { // root reads anything
        std::string locked = dir.File("locked.cfg");
        ASSERT_EQ(qirScratchDir::WriteFile(locked, "K v\n"), 0);
        chmod(locked.c_str(), 0);
        EXPECT_EQ(tree.UpdateFile(locked.c_str()), -7);
        chmod(locked.c_str(), 0600);
        EXPECT_EQ(qirScratchDir::ReadFile(locked), "K v\n");
    }
}

TEST(qirConfigurationFile, FailedSaveKeepsTheOldFile)
{
    qirScratchDir dir;
    qirConfiguration tree;
    tree.Set("K", "v");

    EXPECT_EQ(tree.Save(dir.File("no/such/dir/x.cfg").c_str()), -7);
    EXPECT_EQ(tree.Save(nullptr), -7);

    // The rename fails: the target is a directory (which an update does not
    // even read as a file).
    std::string target = dir.File("target");
    ASSERT_EQ(mkdir(target.c_str(), 0700), 0);
    EXPECT_EQ(tree.Save(target.c_str()), -12);
    EXPECT_EQ(tree.UpdateFile(target.c_str()), -7);
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(dir.Entries().size(), 1u) << "a temporary file was left behind";
}

TEST(qirConfigurationFile, WriteErrorAnswers12AndKeepsTheOldFile)
{
    // Writes beyond a small file-size limit fail, as on a full disk; the
    // child process keeps the limit away from the test runner.
    qirScratchDir dir;
    std::string path = dir.File("big.cfg");
    const std::string old = "Old file\n";
    ASSERT_EQ(qirScratchDir::WriteFile(path, old), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit rl = {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &rl);
        qirConfiguration tree;
        tree.Set("Big", std::string(100000, 'b').c_str());
        int save = tree.Save(path.c_str());
        int update = tree.UpdateFile(path.c_str());
        _exit(save == -12 && update == -12 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(qirScratchDir::ReadFile(path), old);
    EXPECT_EQ(dir.Entries().size(), 1u) << "a temporary file was left behind";
}

TEST(qirAtomicFile, CommitReplacesAbortKeeps)
{
    qirScratchDir dir;
    std::string path = dir.File("f");
    ASSERT_EQ(qirScratchDir::WriteFile(path, "old"), 0);
    chmod(path.c_str(), 0640);
    {
        qirAtomicFile f(path.c_str());
        ASSERT_EQ(f.Open(), 0);
        fputs("new", f.Stream());
        EXPECT_EQ(qirScratchDir::ReadFile(path), "old");
        f.Abort();
        EXPECT_EQ(f.Commit(), -6);
    }
    EXPECT_EQ(qirScratchDir::ReadFile(path), "old");
    {
        qirAtomicFile f(path.c_str());
        ASSERT_EQ(f.Open(), 0);
        fputs("dropped", f.Stream());
    } // destroyed without commit
    EXPECT_EQ(qirScratchDir::ReadFile(path), "old");
    EXPECT_EQ(dir.Entries().size(), 1u);
    {
        qirAtomicFile f(path.c_str());
        ASSERT_EQ(f.Open(), 0);
        fputs("new", f.Stream());
        EXPECT_EQ(f.Commit(), 0);
    }
    EXPECT_EQ(qirScratchDir::ReadFile(path), "new");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(dir.Entries().size(), 1u);
}

} // namespace
