// The real qir writing letters as a user does, against a real SMTP server
// (aiosmtpd): Compose from the main menu, the fields and the text typed with
// real keys, Send; what the server gets, what Outgoing keeps and shows, no
// draft left.  The same through the send queue and the delivery process;
// the external editor; a server that refuses and then recovers.
#include <gtest/gtest.h>

#include "qirAddress.h"
#include "qirMsg.h"
#include "qirMsgComponent.h"
#include "qirMsgMultipartComponent.h"

#include "qirWindowTest.h"
#include "qirSMTPSink.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

class ComposeEndToEnd : public qirWindowTest {
protected:
    void SetUp() override {
        qirWindowTest::SetUp();
        if (IsSkipped())
            return;
        if (!qirSMTPSink::Available())
            GTEST_SKIP() << "no aiosmtpd for /usr/bin/python3";
    }
    void TearDown() override {
        qir.Stop();
        delete sink;
        qirWindowTest::TearDown();
    }
    // A sink, and the user's configuration sending to it.
    void Serve(const std::string& config, const std::vector<std::string>& options = {}) {
        sink = new qirSMTPSink(options);
        ASSERT_TRUE(sink->Running());
        WriteConfig("DeliverAgent SMTP\nSMTP {\n    Host 127.0.0.1\n    Port " + sink->PortText() + "\n}\n" + config);
    }
    // Starts qir and opens a compose window from the main menu.
    unsigned long StartAndCompose() {
        Start({{"TZ", "UTC"}});
        mainWindow = MainWindow();
        EXPECT_NE(mainWindow, 0u) << LogTail();
        return mainWindow ? Compose() : 0;
    }
    unsigned long Compose() {
        EXPECT_TRUE(ChooseMenu(mainWindow, "Books", "Compose"));
        unsigned long w = WaitWindow("Compose letter");
        EXPECT_NE(w, 0u) << LogTail();
        return w;
    }
    // Clicks into the field labelled label and types text.
    void TypeField(unsigned long w, const char* label, const std::string& text) {
        qirDrawnLine l;
        ASSERT_TRUE(Find(w, label, &l)) << label;
        Click(w, l.x + 120, l.y - 4);
        Type(text);
    }
    bool Closed(int ms = 5000) {
        return WaitFor([&] { return Window("Compose letter") == 0; }, ms);
    }
    std::vector<std::string> OutgoingSubjects() {
        std::vector<std::string> out;
        for (const std::string& m : qirListDirectory(Dir() + "/Outgoing.QIR")) {
            qirMsg message{qirPath((Dir() + "/Outgoing.QIR/" + m).c_str())};
            out.push_back(message.Subject() && message.Subject()->Data() ? message.Subject()->Data() : "?");
        }
        return out;
    }
    int Quit() { return qirProgramTest::Quit(mainWindow); }
    // What Python's email parser makes of the letter in file (the n-th of
    // an mbox when n >= 0): tests/support/mime_parts.py.
    static std::string Parsed(const std::string& file, int n = -1) {
        return qirShell("/usr/bin/python3 " QIR_SOURCE_DIR "/tests/support/mime_parts.py '" + file + "'" +
                        (n >= 0 ? " " + std::to_string(n) : ""));
    }
    // The same for a letter the server received.
    std::string Parsed(const qirSinkMessage& letter) {
        std::string file = home + "/letter.eml";
        FILE* f = fopen(file.c_str(), "w");
        fwrite(letter.text.data(), 1, letter.text.size(), f);
        fclose(f);
        return Parsed(file);
    }
    // What the parser says of a letter of one plain text (JSON-escaped).
    static std::string PlainLetter(const std::string& json) {
        return "top text/plain disposition=None filename=None\n"
               "part text/plain disposition=None filename=None charset=iso-8859-1 text=\"" + json + "\"\n";
    }
    // Incoming holds one letter from Ann.
    void Original() {
        mkdir((Dir() + "/Incoming.QIR").c_str(), 0700);
        qirMsg original{qirPath((Dir() + "/Incoming.QIR/Message0").c_str())};
        qirAddress ann("ann@example.org", "Ann Example");
        original.AddFrom(&ann);
        qirString subject("Lunch on Friday");
        original.SetSubject(&subject);
        original.SetDate(1700000000);
        FILE* f = fopen(original.Body()->Path().Data(), "w");
        fputs("Shall we meet at noon?\nBring the figures.\n", f);
        fclose(f);
        ASSERT_EQ(original.Save(), 0);
    }
    qirSMTPSink* sink = nullptr;
    unsigned long mainWindow = 0;
};

TEST_F(ComposeEndToEnd, ComposeFromTheMenuTypeAndSend) {
    Serve("");
    unsigned long w = StartAndCompose();
    ASSERT_NE(w, 0u);
    TypeField(w, "To:", "ann@example.org, Bob Smith <bob@example.org>");
    TypeField(w, "Cc:", "cy@example.org");
    TypeField(w, "Bcc:", "hidden@example.org");
    TypeField(w, "Subject:", "Plans for Friday");
    // Accented text from a file (Latin-1, the shipped Body.Charset), then typed text.
    std::string greeting = home + "/greeting.txt";
    FILE* g = fopen(greeting.c_str(), "w");
    fputs("Gr\xfc\xdf" "e aus K\xf6ln, caf\xe9 am Stra\xdf" "enende.\n", g);
    fclose(g);
    ASSERT_TRUE(ChooseMenu(w, "Edit", "Insert plain text file..."));
    unsigned long open = 0;
    ASSERT_TRUE(WaitFor([&] { return (open = Window("Open file")) != 0; }, 5000));
    qirShell("xdotool mousemove --window " + std::to_string(open) + " 20 20 sleep 0.2 type --delay 10 '" + greeting + "'");
    qirShell("xdotool key Return");
    ASSERT_TRUE(WaitFor([&] { return Shows(w, "am Stra", true); }, 5000)) << LogTail();
    TypeText(w, "Dear all,\nsee you at noon.\n-- Joe");
    ASSERT_TRUE(WaitFor([&] { return Shows(w, "see you at noon.", true); }, 5000));
    // A binary file whose name holds blanks, through the attach dialog.
    std::string binary(5000, '\0');
    for (size_t i = 0; i < binary.size(); i++)
        binary[i] = static_cast<char>((i * 97 + 3) % 256);
    std::string file = home + "/agenda for friday.bin";
    FILE* f = fopen(file.c_str(), "w");
    fwrite(binary.data(), 1, binary.size(), f);
    fclose(f);
    ASSERT_TRUE(ClickWord(w, "Add...")) << "Add...";
    unsigned long dialog = WaitWindow("Attachments");
    ASSERT_NE(dialog, 0u);
    int x, y;
    ASSERT_TRUE(FindWord(dialog, "File:", &x, &y));
    // The field follows its label; typing starts at its left end.
    Click(dialog, x + 45, y - 4);
    Key("ctrl+a");
    Type(file);
    qirDrawnLine type;
    ASSERT_TRUE(Find(dialog, "application/octet-stream", &type));
    Click(dialog, type.x + 10, type.y - 4);
    Shot("attach-dialog");
    ASSERT_TRUE(ClickWord(dialog, "OK")) << "OK";
    ASSERT_TRUE(WaitFor([&] { return Shows(w, "agenda for friday.bin"); }, 5000))
        << LogTail();
    Shot("compose-with-attachment");
    ASSERT_TRUE(ClickWord(w, "Send")) << "Send";

    std::vector<qirSinkMessage> got = sink->WaitFor(1, 10);
    ASSERT_EQ(got.size(), 1u) << LogTail();
    EXPECT_EQ(got[0].recipients, (std::vector<std::string>{"ann@example.org", "bob@example.org", "cy@example.org",
                                                           "hidden@example.org"}));
    const std::string& text = got[0].text;
    EXPECT_NE(text.find("\nTo: ann@example.org, Bob Smith <bob@example.org>\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nCC: cy@example.org\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Subject: Plans for Friday\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("hidden@"), std::string::npos) << text;
    // The text and the file as the letter holds them: read back through the
    // engine's own import.
    std::string received = home + "/received.eml";
    FILE* out = fopen(received.c_str(), "w");
    fwrite(text.data(), 1, text.size(), out);
    fclose(out);
    FILE* in = fopen(received.c_str(), "r");
    qirMsg letter{qirPath((home + "/Received").c_str()), qirMsg::Blank{}};
    ASSERT_EQ(letter.ImportRFC822(in), 0);
    fclose(in);
    ASSERT_TRUE(letter.Body() && letter.Body()->IsMultipart()) << text;
    auto* parts = static_cast<qirMsgMultipartComponent*>(letter.Body());
    ASSERT_EQ(parts->Count(), 2);
    EXPECT_EQ(qirReadFile(parts->Part(0)->Path().Data()),
              "Gr\xfc\xdf" "e aus K\xf6ln, caf\xe9 am Stra\xdf" "enende.\nDear all,\nsee you at noon.\n-- Joe\n");
    EXPECT_EQ(std::string(parts->Part(1)->ContentType().partName.Data()), "agenda for friday.bin");
    EXPECT_EQ(qirReadFile(parts->Part(1)->Path().Data()), binary);
    // And as any other program reads it: the letter is no attachment, the
    // text decodes by its charset to what was written, the file keeps its
    // name and bytes.
    const std::string parsed =
        "top multipart/mixed disposition=None filename=None\n"
        "part text/plain disposition=None filename=None charset=iso-8859-1 text=\"Gr\xc3\xbc\xc3\x9f" "e aus "
        "K\xc3\xb6ln, caf\xc3\xa9 am Stra\xc3\x9f" "enende.\\nDear all,\\nsee you at noon.\\n-- Joe\\n\"\n"
        "part application/octet-stream disposition=attachment filename=agenda for friday.bin charset=None bytes=5000 "
        "sha1=" + qirShell("sha1sum '" + file + "'").substr(0, 40) + "\n";
    EXPECT_EQ(Parsed(received), parsed) << text;

    EXPECT_TRUE(Closed()) << LogTail();
    EXPECT_EQ(OutgoingSubjects(), (std::vector<std::string>{"Plans for Friday"}));
    EXPECT_TRUE(qirListDirectory(Dir() + "/Drafts").empty());
    unsigned long outgoing = OpenFolder(mainWindow, "Outgoing");
    ASSERT_NE(outgoing, 0u);
    EXPECT_TRUE(WaitFor([&] { return Shows(outgoing, "Plans for Friday"); }, 5000));
    // The kept copy exported as a mailbox reads the same.
    ASSERT_TRUE(ClickWord(outgoing, "Plans"));
    ASSERT_TRUE(ChooseMenu(outgoing, "Message", "Export..."));
    unsigned long save = 0;
    ASSERT_TRUE(WaitFor([&] { return (save = Window("Save file")) != 0; }, 5000));
    qirShell("xdotool mousemove --window " + std::to_string(save) + " 20 20 sleep 0.2 key Return");
    ASSERT_TRUE(WaitFor([&] { return LogTail().find("1 messages exported") != std::string::npos; }, 10000))
        << LogTail();
    EXPECT_EQ(Parsed(home + "/Outgoing", 0), parsed);
    EXPECT_EQ(Quit(), 0);
    usleep(300000);
    EXPECT_EQ(sink->Messages().size(), 1u);
}

// With the background delivery process the letter goes into the queue and
// from there to the server.
TEST_F(ComposeEndToEnd, ThroughTheSendQueueAndTheDeliveryProcess) {
    Serve("UseBackgroundDeliverAgent Yes\n");
    unsigned long w = StartAndCompose();
    ASSERT_NE(w, 0u);
    TypeField(w, "To:", "ann@example.org");
    TypeField(w, "Bcc:", "hidden@example.org");
    TypeField(w, "Subject:", "Queued");
    TypeText(w, "Through the queue.");
    ASSERT_TRUE(ClickWord(w, "Send")) << "Send";
    EXPECT_TRUE(Closed()) << LogTail();
    EXPECT_EQ(OutgoingSubjects(), (std::vector<std::string>{"Queued"}));
    std::vector<qirSinkMessage> got = sink->WaitFor(1, 20);
    ASSERT_EQ(got.size(), 1u) << LogTail() << qirReadFile(Dir() + "/QIR-server.log");
    EXPECT_EQ(got[0].recipients, (std::vector<std::string>{"ann@example.org", "hidden@example.org"}));
    EXPECT_EQ(got[0].text.find("hidden@"), std::string::npos);
    EXPECT_EQ(got[0].text.substr(got[0].text.find("\n\n") + 2), "Through the queue.\n");
    EXPECT_EQ(Parsed(got[0]), PlainLetter("Through the queue.\\n"));
    EXPECT_TRUE(qirListDirectory(Dir() + "/Drafts").empty());
    EXPECT_EQ(Quit(), 0);
}

// The user's editor (a script here) works on the text; the panel shows
// what it wrote and the letter carries it.  A window closed while its
// editor still runs leaves no process behind.
TEST_F(ComposeEndToEnd, TheExternalEditorsTextComesBackAndIsSent) {
    std::string editor = home + "/editor.sh", sleepy = home + "/sleepy.sh";
    FILE* f = fopen(editor.c_str(), "w");
    fputs("#!/bin/sh\nprintf 'Written by the editor\\n' >> \"$1\"\n", f);
    fclose(f);
    f = fopen(sleepy.c_str(), "w");
    fprintf(f, "#!/bin/sh\necho $$ > '%s/sleepy.pid'\nsleep 60 &\nwait\n", home.c_str());
    fclose(f);
    chmod(editor.c_str(), 0700);
    chmod(sleepy.c_str(), 0700);
    Serve("Editor {\n    Editor \"" + editor + "\"\n}\n");
    unsigned long w = StartAndCompose();
    ASSERT_NE(w, 0u);
    TypeText(w, "Typed first.");
    ASSERT_TRUE(WaitFor([&] { return Shows(w, "Typed first.", true); }, 5000));
    ASSERT_TRUE(ChooseMenu(w, "Edit", "Edit with external editor"));
    EXPECT_TRUE(WaitFor([&] { return Shows(w, "Written by the editor", true); }, 5000))
        << LogTail();
    TypeField(w, "To:", "ann@example.org");
    TypeField(w, "Subject:", "Edited");
    ASSERT_TRUE(ClickWord(w, "Send")) << "Send";
    std::vector<qirSinkMessage> got = sink->WaitFor(1, 10);
    ASSERT_EQ(got.size(), 1u) << LogTail();
    EXPECT_EQ(got[0].text.substr(got[0].text.find("\n\n") + 2), "Typed first.\nWritten by the editor\n");
    EXPECT_EQ(Parsed(got[0]), PlainLetter("Typed first.\\nWritten by the editor\\n"));
    ASSERT_TRUE(Closed());

    // Now an editor that does not end by itself: the window is thrown away.
    std::string cfg = qirReadFile(Dir() + "/user.cfg");
    EXPECT_EQ(Quit(), 0);
    f = fopen((Dir() + "/user.cfg").c_str(), "w");
    fputs(cfg.replace(cfg.find(editor), editor.size(), sleepy).c_str(), f);
    fclose(f);
    w = StartAndCompose();
    ASSERT_NE(w, 0u);
    ASSERT_TRUE(ChooseMenu(w, "Edit", "Edit with external editor"));
    int group = 0;
    ASSERT_TRUE(WaitFor([&] {
        std::string pid = qirReadFile(home + "/sleepy.pid");
        std::string stat = pid.empty() ? "" : qirReadFile("/proc/" + pid.substr(0, pid.size() - 1) + "/stat");
        size_t close = stat.rfind(')');
        char state;
        int ppid;
        return close != std::string::npos &&
               sscanf(stat.c_str() + close + 1, " %c %d %d", &state, &ppid, &group) == 3 && qirLiveInGroup(group) >= 2;
    }, 5000));
    ASSERT_TRUE(ClickWord(w, "Discard")) << "Discard";
    EXPECT_TRUE(Closed());
    EXPECT_TRUE(WaitFor([&] { return qirLiveInGroup(group) == 0; }, 5000)) << "the editor lives on";
    EXPECT_TRUE(qirListDirectory(Dir() + "/Drafts").empty());
    EXPECT_EQ(Quit(), 0);
}

// A server that refuses every recipient: the window, its text and its
// draft stay, Outgoing gets nothing; once the server takes mail again one
// Send delivers once.
TEST_F(ComposeEndToEnd, ARefusingServerKeepsTheLetterUntilItRecovers) {
    std::string refusing = home + "/refusing";
    fclose(fopen(refusing.c_str(), "w"));
    Serve("", {"--refuse-while", refusing});
    unsigned long w = StartAndCompose();
    ASSERT_NE(w, 0u);
    TypeField(w, "To:", "ann@example.org");
    TypeField(w, "Subject:", "Persistent");
    TypeText(w, "Try again.");
    ASSERT_TRUE(ClickWord(w, "Send")) << "Send";
    // The server's refusal, then the window's own word: each in an error
    // box the user closes.
    for (const char* said : {"550 5.7.1 <ann@example.org>: refused for now", "The letter was not sent"}) {
        unsigned long box = WaitWindow("Error", 10000);
        ASSERT_NE(box, 0u) << LogTail();
        EXPECT_TRUE(Shows(box, said)) << said;
        ASSERT_TRUE(ClickWord(box, "OK")) << "OK";
        ASSERT_TRUE(WaitFor([&] { return Window("Error") != box; }, 5000));
    }
    EXPECT_FALSE(Closed(500));
    ASSERT_EQ(qirListDirectory(Dir() + "/Drafts").size(), 1u);
    std::string draft = Dir() + "/Drafts/" + qirListDirectory(Dir() + "/Drafts")[0] + "/Message";
    EXPECT_EQ(qirReadFile(draft + "/MsgBody.txt"), "Try again.\n");
    EXPECT_TRUE(OutgoingSubjects().empty());
    EXPECT_TRUE(sink->Messages().empty());

    unlink(refusing.c_str());
    ASSERT_TRUE(ClickWord(w, "Send")) << "Send";
    std::vector<qirSinkMessage> got = sink->WaitFor(1, 10);
    ASSERT_EQ(got.size(), 1u) << LogTail();
    EXPECT_EQ(Parsed(got[0]), PlainLetter("Try again.\\n"));
    EXPECT_TRUE(Closed());
    EXPECT_EQ(OutgoingSubjects(), (std::vector<std::string>{"Persistent"}));
    EXPECT_EQ(Quit(), 0);
    EXPECT_EQ(sink->Messages().size(), 1u);
}

// A reply with quoting chosen from the list window of Incoming: the quoted
// text and "Re: ..." reach the server, sent back to the original's sender.
TEST_F(ComposeEndToEnd, AReplyWithQuotingFromTheListWindow) {
    Serve("");
    Original();
    unsigned long list = StartOnIncoming({{"TZ", "UTC"}}, &mainWindow);
    ASSERT_NE(list, 0u) << LogTail();
    ASSERT_TRUE(ClickWord(list, "Lunch"));
    ASSERT_TRUE(ChooseMenu(list, "Reply", "Reply with quoting"));
    unsigned long w = WaitWindow("Compose letter");
    ASSERT_NE(w, 0u) << LogTail();
    EXPECT_TRUE(WaitFor([&] { return Shows(w, "AE> Shall we meet at noon?", true); }, 5000));
    ASSERT_TRUE(ClickWord(w, "Send"));
    std::vector<qirSinkMessage> got = sink->WaitFor(1, 10);
    ASSERT_EQ(got.size(), 1u) << LogTail();
    EXPECT_EQ(got[0].recipients, (std::vector<std::string>{"ann@example.org"}));
    const std::string& text = got[0].text;
    EXPECT_NE(text.find("\nTo: Ann Example <ann@example.org>\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nSubject: Re: Lunch on Friday\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nAE> Shall we meet at noon?\nAE> Bring the figures.\n"), std::string::npos) << text;
    std::string parsed = Parsed(got[0]);
    EXPECT_EQ(parsed.find(PlainLetter("").substr(0, PlainLetter("").size() - 2)), 0u) << parsed;
    EXPECT_NE(parsed.find("AE> Shall we meet at noon?\\nAE> Bring the figures.\\n"), std::string::npos) << parsed;
    EXPECT_TRUE(Closed());
    EXPECT_EQ(Quit(), 0);
}

// A reply to a subject longer than a field editor holds: "Re: " and the
// whole subject, nothing else, go into the draft at a quit and to the
// server at a send.
TEST_F(ComposeEndToEnd, AReplyToAVeryLongSubjectKeepsItWhole) {
    Serve("");
    mkdir((Dir() + "/Incoming.QIR").c_str(), 0700);
    std::string subject = "Agenda";
    for (int i = 0; subject.size() < 1500; i++)
        subject += " item" + std::to_string(i);
    subject.resize(1500);
    ASSERT_NE(subject.back(), ' ');
    {
        qirMsg original{qirPath((Dir() + "/Incoming.QIR/Message0").c_str())};
        qirAddress ann("ann@example.org", "Ann Example");
        original.AddFrom(&ann);
        qirString s(subject.c_str());
        original.SetSubject(&s);
        original.SetDate(1700000000);
        FILE* f = fopen(original.Body()->Path().Data(), "w");
        fputs("A long list.\n", f);
        fclose(f);
        ASSERT_EQ(original.Save(), 0);
    }
    const std::string reply = "Re: " + subject;
    auto replyWindow = [&]() -> unsigned long {
        Start({{"TZ", "UTC"}});
        mainWindow = MainWindow();
        EXPECT_NE(mainWindow, 0u) << LogTail();
        unsigned long list = mainWindow ? OpenFolder(mainWindow, "Incoming") : 0;
        if (!list || !ClickWord(list, "Agenda") || !ChooseMenu(list, "Reply", "Reply"))
            return 0;
        return WaitWindow("Compose letter");
    };

    ASSERT_NE(replyWindow(), 0u) << LogTail();
    EXPECT_EQ(Quit(), 0) << LogTail();
    std::vector<std::string> drafts = qirListDirectory(Dir() + "/Drafts");
    ASSERT_EQ(drafts.size(), 1u);
    {
        // Each draft is a message in a directory of its own.
        qirMsg draft{qirPath((Dir() + "/Drafts/" + drafts[0] + "/Message").c_str())};
        ASSERT_NE(draft.Subject(), nullptr);
        EXPECT_EQ(std::string(draft.Subject()->Data() ? draft.Subject()->Data() : ""), reply);
    }

    unsigned long w = replyWindow();
    ASSERT_NE(w, 0u) << LogTail();
    Shot("compose-long-subject");
    ASSERT_TRUE(ClickWord(w, "Send"));
    std::vector<qirSinkMessage> got = sink->WaitFor(1, 10);
    ASSERT_EQ(got.size(), 1u) << LogTail();
    // The header as a reader sees it: continuation lines joined.
    std::string header = got[0].text.substr(0, got[0].text.find("\n\n") + 1), unfolded;
    for (size_t i = 0; i < header.size(); i++) {
        if (header[i] == '\n' && i + 1 < header.size() && (header[i + 1] == ' ' || header[i + 1] == '\t'))
            continue;
        unfolded += header[i];
    }
    EXPECT_NE(unfolded.find("\nSubject: " + reply + "\n"), std::string::npos) << header;
    EXPECT_TRUE(Closed());
    EXPECT_EQ(OutgoingSubjects(), (std::vector<std::string>{reply}));
    EXPECT_EQ(Quit(), 0);
}

// Forward from the list window's menu: the whole letter goes, resent, to
// the address typed.  The view's Reply button with
// Reply.UseQuottingInDefFunction "NO": a reply without the quoted text.
TEST_F(ComposeEndToEnd, ForwardFromTheListAndTheViewsReplyButton) {
    Serve("Reply {\n    UseQuottingInDefFunction NO\n}\n");
    Original();
    unsigned long list = StartOnIncoming({{"TZ", "UTC"}}, &mainWindow);
    ASSERT_NE(list, 0u) << LogTail();
    qirDrawnLine row{0, 0, ""};
    ASSERT_TRUE(WaitFor([&] {
        for (const qirDrawnLine& l : draw.Lines(list))
            if (l.text.find("Lunch on Friday") != std::string::npos) row = l;
        return !row.text.empty();
    }, 5000));
    ASSERT_TRUE(ClickWord(list, "Lunch"));
    ASSERT_TRUE(ChooseMenu(list, "Forward", "Forward"));
    unsigned long w = WaitWindow("Compose letter");
    ASSERT_NE(w, 0u) << LogTail();
    TypeField(w, "To:", "bob@example.org");
    ASSERT_TRUE(ClickWord(w, "Send"));
    std::vector<qirSinkMessage> got = sink->WaitFor(1, 10);
    ASSERT_EQ(got.size(), 1u) << LogTail();
    EXPECT_EQ(got[0].recipients, (std::vector<std::string>{"bob@example.org"}));
    EXPECT_NE(got[0].text.find("\nSubject: Lunch on Friday  (fwd)\n"), std::string::npos) << got[0].text;
    EXPECT_NE(got[0].text.find("\nShall we meet at noon?\nBring the figures.\n"), std::string::npos) << got[0].text;
    std::string parsed = Parsed(got[0]);
    EXPECT_EQ(parsed.find("top text/plain disposition=None filename=None\npart text/plain disposition=None"), 0u)
        << parsed;
    EXPECT_NE(parsed.find("text=\"Shall we meet at noon?\\nBring the figures.\\n\"\n"), std::string::npos) << parsed;
    EXPECT_TRUE(Closed());

    // The view's tool bar Reply, below its menu bar's Reply.
    unsigned long view = 0;
    for (int attempt = 0; attempt < 3 && !view; attempt++) {
        Clicks(list, row.x + 40, row.y - 4, 1, 2);
        view = WaitWindow("Message View", 3000);
    }
    ASSERT_NE(view, 0u) << LogTail();
    qirDrawnLine button{0, 0, ""};
    ASSERT_TRUE(WaitFor([&] {
        for (const qirDrawnLine& word : draw.Words(view))
            if (word.text == "Reply" && word.y > button.y) button = word;
        return button.y > 40;
    }, 5000)) << "no Reply button";
    Click(view, button.x + 3, button.y - 4);
    w = WaitWindow("Compose letter");
    ASSERT_NE(w, 0u) << LogTail();
    ASSERT_TRUE(ClickWord(w, "Send"));
    got = sink->WaitFor(2, 10);
    ASSERT_EQ(got.size(), 2u) << LogTail();
    EXPECT_EQ(got[1].recipients, (std::vector<std::string>{"ann@example.org"}));
    EXPECT_NE(got[1].text.find("\nSubject: Re: Lunch on Friday\n"), std::string::npos) << got[1].text;
    EXPECT_EQ(got[1].text.find("Shall we meet"), std::string::npos) << got[1].text;
    parsed = Parsed(got[1]);
    EXPECT_EQ(parsed.find(PlainLetter("").substr(0, PlainLetter("").size() - 2)), 0u) << parsed;
    EXPECT_TRUE(Closed());
    EXPECT_EQ(Quit(), 0);
}

}  // namespace
