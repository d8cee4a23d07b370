// The real qir taking the letters of a Latin-1 keyboard in the compose
// window: the test server's keyboard is given keys for é, ä, ß, ü (with
// Shift: É, Ä, ?, Ü) and the German key of + (with Shift: *), pressed as
// real keys through XTEST; the draft on
// disk holds them in the Latin-1 it declares, and the letter the SMTP
// server receives reads them back.  A reply quoting a letter written in
// UTF-8 reaches the server with the same letters.
#include <gtest/gtest.h>

#include "qirXTest.h"

#include "qirMailTestText.h"
#include "qirMsg.h"
#include "qirMsgComponent.h"
#include "qirSMTPSink.h"
#include "qirWindowTest.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Keys of the server's keyboard that hold no symbol, given a pair of
// symbols each while the test runs and emptied again afterwards.
class SpareKeys {
public:
    // Each key gets its symbols: plain and Shift, then the same with the
    // second group (Mode_switch, as AltGr on many keyboards).
    explicit SpareKeys(const std::vector<std::vector<KeySym>>& pairs) {
        Display* dpy = qirx::Connection();
        if (!dpy)
            return;
        int lo, hi, per;
        XDisplayKeycodes(dpy, &lo, &hi);
        KeySym* map = XGetKeyboardMapping(dpy, lo, hi - lo + 1, &per);
        for (int code = hi; code >= lo && codes_.size() < pairs.size(); code--) {
            bool empty = true;
            for (int i = 0; i < per; i++)
                empty = empty && map[(code - lo) * per + i] == NoSymbol;
            if (empty)
                codes_.push_back(code);
        }
        XFree(map);
        for (size_t i = 0; i < codes_.size(); i++) {
            KeySym syms[4] = {NoSymbol, NoSymbol, NoSymbol, NoSymbol};
            for (size_t k = 0; k < pairs[i].size() && k < 4; k++)
                syms[k] = pairs[i][k];
            XChangeKeyboardMapping(dpy, codes_[i], 4, syms, 1);
        }
        XSync(dpy, False);
    }
    ~SpareKeys() {
        Display* dpy = qirx::Connection();
        for (int code : codes_) {
            KeySym none[4] = {NoSymbol, NoSymbol, NoSymbol, NoSymbol};
            XChangeKeyboardMapping(dpy, code, 4, none, 1);
        }
        if (dpy)
            XSync(dpy, False);
    }
    size_t Count() const { return codes_.size(); }
    // Presses and lets go of the i-th key, with the j-th key (a modifier)
    // held when asked.
    void Press(size_t i, int held = -1) const {
        Display* dpy = qirx::Connection();
        if (held >= 0)
            XTestFakeKeyEvent(dpy, codes_[held], True, CurrentTime);
        XTestFakeKeyEvent(dpy, codes_[i], True, CurrentTime);
        XTestFakeKeyEvent(dpy, codes_[i], False, CurrentTime);
        if (held >= 0)
            XTestFakeKeyEvent(dpy, codes_[held], False, CurrentTime);
        XSync(dpy, False);
        usleep(30000);
    }

private:
    std::vector<int> codes_;
};

class Latin1TypingEndToEnd : public qirWindowTest {
protected:
    void TearDown() override {
        qir.Stop();
        delete sink;
        qirWindowTest::TearDown();
    }
    // What a receiving program reads of the letter's text.
    std::string Received(const qirSinkMessage& m) {
        std::string file = home + "/received";
        FILE* f = fopen(file.c_str(), "w");
        fwrite(m.text.data(), 1, m.text.size(), f);
        fclose(f);
        return qirShell("/usr/bin/python3 " QIR_SOURCE_DIR "/tests/support/mime_parts.py '" + file + "'");
    }
    qirSMTPSink* sink = nullptr;
};

TEST_F(Latin1TypingEndToEnd, LettersTypedAreTheLettersStoredAndSent) {
    if (!qirSMTPSink::Available())
        GTEST_SKIP() << "no aiosmtpd for /usr/bin/python3";
    // Before the program starts, so that it reads the keyboard with them.
    enum { letters = 5, shiftKey = 5, altKey = 6, qKey = 7 };
    SpareKeys keys({{XK_eacute, XK_Eacute}, {XK_adiaeresis, XK_Adiaeresis}, {XK_ssharp, XK_question},
                    {XK_udiaeresis, XK_Udiaeresis}, {XK_plus, XK_asterisk}, {XK_Shift_L}, {XK_Mode_switch},
                    {XK_q, XK_Q, XK_at, XK_at}});
    ASSERT_EQ(keys.Count(), 8u);
    std::string refusing = home + "/refusing";
    fclose(fopen(refusing.c_str(), "w"));
    sink = new qirSMTPSink({"--refuse-while", refusing});
    ASSERT_TRUE(sink->Running());
    WriteConfig("DeliverAgent SMTP\nSMTP {\n    Host 127.0.0.1\n    Port " + sink->PortText() + "\n}\n");
    Start({{"TZ", "UTC"}});
    unsigned long main = MainWindow();
    ASSERT_NE(main, 0u) << LogTail();
    ASSERT_TRUE(ChooseMenu(main, "Books", "Compose"));
    unsigned long w = WaitWindow("Compose letter");
    ASSERT_NE(w, 0u) << LogTail();

    qirDrawnLine to;
    ASSERT_TRUE(Find(w, "To:", &to));
    Click(w, to.x + 120, to.y - 4);
    Type("ann@example.org");
    int x, y;
    ASSERT_TRUE(FindWord(w, "Attachments:", &x, &y));
    Click(w, 60, y - 35);
    Type("Typed:");
    Key("space");
    for (size_t i = 0; i < letters; i++)
        keys.Press(i);
    for (size_t i = 0; i < letters; i++)
        keys.Press(i, shiftKey);
    keys.Press(qKey);
    keys.Press(qKey, altKey);
    Key("space");
    Type("end.");
    const std::string typed = "Typed: \xe9\xe4\xdf\xfc+\xc9\xc4?\xdc*q@ end.";
    EXPECT_TRUE(WaitFor([&] { return Shows(w, "Typed:\xe9\xe4\xdf\xfc+\xc9\xc4?\xdc*q@end.", true); }, 5000))
        << "the editor shows what was typed";
    Shot("compose-latin1");

    // Send, refused: the draft stays, as typed.
    ASSERT_TRUE(ClickWord(w, "Send"));
    for (int box = 0; box < 2; box++) {
        unsigned long error = WaitWindow("Error", 10000);
        ASSERT_NE(error, 0u) << LogTail();
        ASSERT_TRUE(ClickWord(error, "OK"));
        ASSERT_TRUE(WaitFor([&] { return Window("Error") != error; }, 5000));
    }
    std::vector<std::string> drafts = qirListDirectory(Dir() + "/Drafts");
    ASSERT_EQ(drafts.size(), 1u);
    std::string draft = Dir() + "/Drafts/" + drafts[0] + "/Message";
    EXPECT_EQ(qirReadFile(draft + "/MsgBody.txt"), typed + "\n");
    qirMsg stored{qirPath(draft.c_str())};
    ASSERT_NE(stored.Body(), nullptr);
    EXPECT_STREQ(stored.Body()->ContentType().charset.Data(), "iso-8859-1");

    // Sent: the receiver reads the same letters.
    unlink(refusing.c_str());
    ASSERT_TRUE(ClickWord(w, "Send"));
    std::vector<qirSinkMessage> got = sink->WaitFor(1, 10);
    ASSERT_EQ(got.size(), 1u) << LogTail();
    std::string parsed = Received(got[0]);
    EXPECT_NE(parsed.find("text=\"Typed: \xc3\xa9\xc3\xa4\xc3\x9f\xc3\xbc+\xc3\x89\xc3\x84?\xc3\x9c*q@ end.\\n\""),
              std::string::npos)
        << parsed;
    EXPECT_EQ(Quit(main), 0) << LogTail();
}

TEST_F(Latin1TypingEndToEnd, AQuotedReplyToUtf8MailSendsItsLetters) {
    if (!qirSMTPSink::Available())
        GTEST_SKIP() << "no aiosmtpd for /usr/bin/python3";
    sink = new qirSMTPSink();
    ASSERT_TRUE(sink->Running());
    WriteConfig("DeliverAgent SMTP\nSMTP {\n    Host 127.0.0.1\n    Port " + sink->PortText() + "\n}\n");
    mkdir((Dir() + "/Incoming.QIR").c_str(), 0700);
    ASSERT_EQ(ImportMessage(Dir() + "/Incoming.QIR/Message0",
                            "From: Ann <ann@example.org>\nTo: me@example.org\nSubject: Gruss\n"
                            "Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: 8bit\n\n"
                            "Gr\xc3\xbc\xc3\x9f" "e aus M\xc3\xbcnchen\n"),
              0);
    unsigned long main = 0;
    unsigned long list = StartOnIncoming({{"TZ", "UTC"}}, &main);
    ASSERT_NE(list, 0u) << LogTail();
    ASSERT_TRUE(ClickWord(list, "Gruss"));
    ASSERT_TRUE(ChooseMenu(list, "Reply", "Reply with quoting"));
    unsigned long w = WaitWindow("Compose letter");
    ASSERT_NE(w, 0u) << LogTail();
    EXPECT_TRUE(WaitFor([&] { return Shows(w, "Gr\xfc\xdf" "eausM\xfcnchen", true); }, 5000))
        << "the quote shows its letters";
    ASSERT_TRUE(ClickWord(w, "Send"));
    std::vector<qirSinkMessage> got = sink->WaitFor(1, 10);
    ASSERT_EQ(got.size(), 1u) << LogTail();
    std::string parsed = Received(got[0]);
    EXPECT_NE(parsed.find("> Gr\xc3\xbc\xc3\x9f" "e aus M\xc3\xbcnchen"), std::string::npos) << parsed;
    EXPECT_EQ(Quit(main), 0) << LogTail();
}

}  // namespace
