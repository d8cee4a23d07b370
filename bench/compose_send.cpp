// The compose window under load, in the real application object on an X
// display:
//  - opening a reply with quoting of a message with a 1 MB text (the draft
//    made, the text quoted, the window built, mapped and drawn);
//  - the window's Send of a letter with a 1 MB text and 50 attachments of
//    20 MB in all, by SMTP to aiosmtpd (the text saved, the MIME export, the
//    transfer, the copy filed in Outgoing, the draft removed), against
//    Python's smtplib sending the very text aiosmtpd received over one
//    connection.
// Needs an X display:  DISPLAY=:N bench_compose_send [scratch directory]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "qirAddress.h"
#include "qirBenchText.h"
#include "qirConfiguration.h"
#include "qirError.h"
#include "qirLanguageGroup.h"
#include "qirMsg.h"
#include "qirMsgComponent.h"
#include "qirMsgMultipartComponent.h"
#include "qirSMTPSink.h"
#include "qirTestProgram.h"
#include "qirUtilities.h"

#include "qirMainWindow.h"

#include "MsgEdit.h"
#include "MsgEditDock.h"
#include "qirAfterEvent.h"
#include "qirFieldEditor.h"
#include "qirRTFPanel.h"

#include <InterViews/display.h>
#include <InterViews/event.h>
#include <InterViews/session.h>
#include <InterViews/window.h>
#include "qirBenchSession.h"

#undef Text

namespace {

typedef std::chrono::steady_clock Clock;

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

void Pump(Session* s) {
    s->default_display()->sync();
    Event e;
    while (s->read(0, 0, e))
        e.handle();
    s->default_display()->flush();
}

std::string Words(size_t bytes, unsigned* seed) { return qirBenchWords(bytes, seed) + "\n"; }

void WriteFile(const std::string& path, const std::string& data) {
    FILE* f = fopen(path.c_str(), "w");
    if (!f || fwrite(data.data(), 1, data.size(), f) != data.size() || fclose(f) != 0) {
        perror(path.c_str());
        exit(1);
    }
}

MsgEdit* WindowOf(qirMainWindow* app) {
    qirObject* last = app->ComposeDocks().Last();
    return last ? static_cast<MsgEditDock*>(last)->ComposeWindow() : nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    Session* session = qirBenchSession();
    if (!qirSMTPSink::Available()) {
        fprintf(stderr, "aiosmtpd for /usr/bin/python3 is missing\n");
        return 1;
    }
    std::string work = argc > 1 ? std::string(argv[1]) + "/qir-bench-compose" : qirMakeTempDir("qir-bench-compose");
    mkdir(work.c_str(), 0700);
    std::string folders = work + "/Mail";
    mkdir(folders.c_str(), 0700);
    qirConfig.Load(QIR_BUILD_DATA "/QIR.cfg");
    qirConfig.Set("FolderDir", folders.c_str());
    qirConfig.Set("AddrBook", (folders + "/book").c_str());
    qirConfig.Set("Layout", (folders + "/layout").c_str());
    qirConfig.Set("Debug.ProgressIndicator", "Off");
    qirLanguage.Load(QIR_BUILD_DATA "/QIR/Languages/English");
    qirLog = new qirError();
    qirLog->Open((folders + "/QIR.log").c_str(), qirLogStatistics, -1);
    qirApp = new qirMainWindow();
    if (qirApp->Start() != 0)
        return 1;
    unsigned seed = 4711;

    // ---- A reply with quoting of a message with a 1 MB text.
    {
        qirMsg original(qirPath((work + "/Original").c_str()));
        qirAddress ann("ann@example.org", "Ann Example");
        original.AddFrom(&ann);
        qirString subject("A long report");
        original.SetSubject(&subject);
        WriteFile(original.Body()->Path().Data(), Words(1 << 20, &seed));
        original.Save();
        for (int round = 0; round < 3; round++) {
            auto t = Clock::now();
            qirApp->ComposeReply(&original, 1, nullptr);
            MsgEdit* w = WindowOf(qirApp);
            Pump(session);
            double ms = Ms(t);
            if (!w || !w->Panel() || w->Panel()->Editor()->Document().Length() < (1 << 20)) {
                fprintf(stderr, "no compose window with the quoted text\n");
                return 1;
            }
            printf("reply with quoting of a 1 MB message, window drawn: %7.1f ms%s\n", ms,
                   round ? "" : " (first window)");
            w->Discard();
            qirAfterEvent::RunPending();
            Pump(session);
        }
    }

    // ---- Send: 1 MB of text and 50 attachments of 20 MB in all.
    MsgEditDock* dock = qirApp->NewComposeDock();
    qirMsg* draft = dock->Message();
    WriteFile(draft->Body()->Path().Data(), Words(1 << 20, &seed));
    draft->MakeMultipart();
    qirMsgMultipartComponent* multi = static_cast<qirMsgMultipartComponent*>(draft->Body());
    std::string bytes(20 * 1024 * 1024 / 50, '\0');
    for (int i = 0; i < 50; i++) {
        for (char& c : bytes)
            c = static_cast<char>(rand_r(&seed) & 0xff);
        qirContentType ct;
        ct.type = "application";
        ct.subtype = "octet-stream";
        ct.SetEncoding("base64");
        ct.partName = ("part " + std::to_string(i) + ".bin").c_str();
        ct.BuildHeader();
        qirPath path = qirMsgComponent::StoredPath(multi->Path().Data(), ct.partName.Data(), ct);
        WriteFile(path.Data(), bytes);
        multi->Append(new qirMsgComponent(path, ct));
    }
    draft->SetModified();
    draft->Save();
    auto opened = Clock::now();
    dock->open();
    MsgEdit* w = dock->ComposeWindow();
    Pump(session);
    printf("open the letter (1 MB text, 50 attachments):     %7.1f ms\n", Ms(opened));
    w->ToField()->field("Ann <ann@example.org>, bob@example.org");
    w->SubjectField()->field("The figures");

    double ours = 0, exported = 0, theirs = 0;
    std::string peer = work + "/peer";
    mkdir(peer.c_str(), 0700);
    {
        qirSMTPSink sink;
        qirConfig.Set("DeliverAgent", "SMTP");
        qirConfig.Set("SMTP.Host", "127.0.0.1");
        qirConfig.Set("SMTP.Port", sink.PortText().c_str());
        auto t = Clock::now();
        w->Send();
        ours = Ms(t) / 1000;
        qirAfterEvent::RunPending();
        std::vector<qirSinkMessage> got = sink.WaitFor(1, 60);
        if (got.size() != 1 || qirApp->ComposeDocks().Count() != 0) {
            fprintf(stderr, "the letter was not sent\n");
            return 1;
        }
        exported = got[0].text.size() / 1e6;
        WriteFile(peer + "/letter.eml", got[0].text);
    }
    {
        qirSMTPSink sink;
        std::string command =
            "/usr/bin/python3 " QIR_SOURCE_DIR "/bench/smtplib_peer.py " + sink.PortText() + " " + peer;
        FILE* p = popen(command.c_str(), "r");
        if (!p || fscanf(p, "%lf", &theirs) != 1)
            theirs = 0;
        if (p)
            pclose(p);
    }
    printf("letter of %.1f MB of MIME text\n", exported);
    printf("compose window Send (save, export, SMTP, file in Outgoing): %.3f s\n", ours);
    printf("smtplib, one connection, the same text:                    %.3f s\n", theirs);
    printf("ratio: %.2f (target at most 1.5)\n", theirs > 0 ? ours / theirs : 0);

    qirApp->Shutdown();
    delete qirApp;
    qirApp = nullptr;
    qirRemoveDirectory(work.c_str(), 0);
    return 0;
}
