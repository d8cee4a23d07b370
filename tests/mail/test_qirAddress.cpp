#include <gtest/gtest.h>

#include <string>

#include "qirAddress.h"

namespace {

std::string T(const qirString& s) { return s.Text() ? s.Text() : "<null>"; }

struct FormatCase {
    const char* mailbox;
    const char* fullName;
    const char* header;
    const char* enriched;
};

TEST(qirAddress, FormatsForHeadersAndEnrichedText)
{
    const FormatCase cases[] = {
        {"a@b.org", nullptr, "a@b.org", "a@b.org"},
        {"a@b.org", "", "a@b.org", "a@b.org"},
        {"", "John", "", ""},
        {nullptr, "John", "", ""},
        {"a@b.org", "John Doe", "John Doe <a@b.org>", "John Doe <<a@b.org>"},
        {"a@b.org", "Doe, John", "\"Doe, John\" <a@b.org>", "Doe, John <<a@b.org>"},
        {"a@b.org", "J. Doe", "\"J. Doe\" <a@b.org>", "J. Doe <<a@b.org>"},
        {"a@b.org", "Say \"hi\"", "\"Say \\\"hi\\\"\" <a@b.org>", "Say \"hi\" <<a@b.org>"},
        {"a@b.org", "back\\slash", "\"back\\\\slash\" <a@b.org>", "back\\slash <<a@b.org>"},
        {"a@b.org", "Smith (Work)", "\"Smith (Work)\" <a@b.org>", "Smith (Work) <<a@b.org>"},
        // A line break from hostile mail must not start a header or a line.
        {"a@b.org", "Evil\r\nBcc: x@y", "\"Evil  Bcc: x@y\" <a@b.org>", "Evil  Bcc: x@y <<a@b.org>"},
        {"a@b.org\nX-Y: z", "N", "N <a@b.org X-Y: z>", "N <<a@b.org X-Y: z>"},
        // "<" in enriched text starts a command unless doubled.
        {"a@b.org", "<bold>Boss", "\"<bold>Boss\" <a@b.org>", "<<bold>Boss <<a@b.org>"},
        {"<x>@b.org", nullptr, "<x>@b.org", "<<x>@b.org"},
    };
    for (const FormatCase& c : cases) {
        qirAddress a(c.mailbox, c.fullName);
        EXPECT_EQ(T(a.Format()), c.header) << c.fullName;
        EXPECT_EQ(T(a.FormatEnriched()), c.enriched) << c.fullName;
    }
}

TEST(qirAddress, CopiesKeepOrDropEmptyStrings)
{
    qirAddress a("a@b.org", "");
    EXPECT_EQ(T(a.FullName()), "");
    qirAddress copy(a);
    EXPECT_EQ(T(copy.Mailbox()), "a@b.org");
    EXPECT_EQ(copy.FullName().Text(), nullptr);
    qirAddress exact(&a);
    EXPECT_EQ(T(exact.FullName()), "");
    qirAddress none(static_cast<const char*>(nullptr), nullptr);
    EXPECT_EQ(none.Mailbox().Text(), nullptr);
    qirAddress assigned("x", "y");
    assigned = a;
    EXPECT_EQ(T(assigned.FullName()), "");
    EXPECT_EQ(T(assigned.Mailbox()), "a@b.org");
}

struct FidoCase {
    const char* fido;
    const char* user;
    const char* fullName;
    int result;
    const char* mailbox; // "<null>" when unchanged from null
};

TEST(qirAddress, FidoNetAddressesBecomeGatewayMailboxes)
{
    const FidoCase cases[] = {
        {"2:250/1.5", "Joe", nullptr, 0, "\"Joe\"@p5.f1.n250.z2.fidonet.org"},
        {"2:250/1", "Joe", nullptr, 0, "Joe@f1.n250.z2.fidonet.org"},
        {"2:250/1.0", "Joe", nullptr, 0, "Joe@f1.n250.z2.fidonet.org"},
        {"2:250/1.", "Joe", nullptr, 0, "Joe@f1.n250.z2.fidonet.org"},
        {"2:250/1", nullptr, "Jane", 0, "Jane@f1.n250.z2.fidonet.org"},
        {"2:250/1", "", "", 0, "root@f1.n250.z2.fidonet.org"},
        {"2:250/1", nullptr, nullptr, 0, "root@f1.n250.z2.fidonet.org"},
        // A node address whose user part is no atom is quoted, not broken.
        {"2:250/1", "Joe Bloggs", nullptr, 0, "\"Joe Bloggs\"@f1.n250.z2.fidonet.org"},
        {"2:250/1.3", "a\"b", nullptr, 0, "\"a\\\"b\"@p3.f1.n250.z2.fidonet.org"},
        {"2:250", "Joe", nullptr, -1, "<null>"},
        {"2/250:1", "Joe", nullptr, -1, "<null>"},
        {"99999999999:250/1", "Joe", nullptr, -1, "<null>"},
        {nullptr, "Joe", nullptr, -6, "<null>"},
    };
    for (const FidoCase& c : cases) {
        qirAddress a(nullptr, c.fullName);
        EXPECT_EQ(a.FromFidoNet(c.fido, c.user), c.result) << (c.fido ? c.fido : "null");
        EXPECT_EQ(T(a.Mailbox()), c.mailbox) << (c.fido ? c.fido : "null");
        EXPECT_EQ(T(a.FullName()), c.fullName ? c.fullName : "<null>");
        EXPECT_EQ(qirAddress::IsFidoNet(c.fido), c.result);
    }
}

TEST(qirAddress, CompuServeIdsBecomeGatewayMailboxes)
{
    struct {
        const char* id;
        int result;
        const char* mailbox;
    } cases[] = {
        {"71234,567", 0, "71234.567@compuserve.com"},
        {" 71234, 567", 0, "71234.567@compuserve.com"},
        {"71234", -1, "old@x"},
        {"71234,", -1, "old@x"},
        {"71234.567", -1, "old@x"},
        {nullptr, -6, "old@x"},
    };
    for (const auto& c : cases) {
        qirAddress a("old@x", "Name");
        EXPECT_EQ(a.FromCompuServe(c.id), c.result) << (c.id ? c.id : "null");
        EXPECT_EQ(T(a.Mailbox()), c.mailbox);
        EXPECT_EQ(qirAddress::IsCompuServe(c.id), c.result);
    }
}

} // namespace
