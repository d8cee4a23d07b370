// Sending through the send queue: 500 messages of a realistic mix are
// queued, then the delivery server (a forked process, as in the program)
// delivers them to aiosmtpd over one SMTP session.  Timed from the start of
// the server's first scan to the last message accepted; compared with
// Python's smtplib sending the same texts over one connection.
//
//   bench_send_queue [count]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "qirAddress.h"
#include "qirBenchText.h"
#include "qirConfiguration.h"
#include "qirError.h"
#include "qirMsg.h"
#include "qirMsgComponent.h"
#include "qirMsgMultipartComponent.h"
#include "qirQueueAgent.h"
#include "qirSMTPSink.h"
#include "qirServer.h"
#include "qirTestProgram.h"
#include "qirUtilities.h"

static std::string Text(unsigned* seed, size_t bytes) { return qirBenchWords(bytes, seed) + "\n.\n-- \nJoe\n"; }

// 70% short notes, 20% letters with a binary attachment, 10% longer
// texts with 8-bit characters.
static void Compose(const std::string& dir, int i, unsigned* seed)
{
    qirMsg m(qirPath(dir.c_str()));
    int kind = i % 10;
    size_t size = kind < 7 ? 500 + rand_r(seed) % 3000 : 4000 + rand_r(seed) % 12000;
    std::string body = Text(seed, size);
    if (kind == 9) body += "Gr\xc3\xbc\xc3\x9f" "e aus K\xc3\xb6ln\n";
    FILE* f = fopen(m.Body()->Path().Text(), "w");
    fputs(body.c_str(), f);
    fclose(f);
    if (kind == 7 || kind == 8) {
        m.MakeMultipart();
        qirMsgMultipartComponent* multi = static_cast<qirMsgMultipartComponent*>(m.Body());
        qirContentType ct;
        ct.type = "application";
        ct.subtype = "octet-stream";
        ct.encoding = 0;
        ct.encodingName = "base64";
        ct.partName = "data.bin";
        qirPath p = qirMsgComponent::StoredPath(multi->Path().Text(), "data.bin", ct);
        FILE* a = fopen(p.Text(), "w");
        for (size_t k = 20000 + rand_r(seed) % 40000; k > 0; --k) fputc(rand_r(seed) & 0xff, a);
        fclose(a);
        multi->Append(new qirMsgComponent(p, ct));
    }
    qirAddress joe("joe@example.org", "Joe Bloggs"), ann("ann@example.org", "Ann"), bob("bob@example.org", nullptr);
    m.AddFrom(&joe);
    m.AddTo(&ann);
    m.AddBcc(&bob);
    qirString subject;
    subject.Format("Benchmark message %d", i);
    m.SetSubject(&subject);
    qirQueueAgent agent;
    if (m.Send(&agent) != 0) fprintf(stderr, "queueing %d failed\n", i);
    // The peer gets the very text the agent sends.
    FILE* out = fopen((dir + ".eml").c_str(), "w");
    m.ExportMIME(out, 0);
    fclose(out);
}

int main(int argc, char** argv)
{
    int count = argc > 1 ? atoi(argv[1]) : 500;
    if (!qirSMTPSink::Available()) {
        fprintf(stderr, "aiosmtpd for /usr/bin/python3 is missing\n");
        return 1;
    }
    std::string work = qirMakeTempDir("qirbench");
    std::string drafts = work + "/drafts", queue = work + "/queue";
    mkdir(drafts.c_str(), 0700);
    mkdir(queue.c_str(), 0700);
    qirConfig.Set("QueueDir", queue.c_str());
    qirConfig.Set("DeliverAgent", "SMTP");
    qirConfig.Set("SMTP.Host", "127.0.0.1");
    qirConfig.Set("Default8BitEncoding", "quoted-printable");
    unsigned seed = 12345;
    long bytes = 0;
    for (int i = 0; i < count; ++i) {
        std::string dir = drafts + "/Message" + std::to_string(i);
        Compose(dir, i, &seed);
        bytes += qirFileSize((dir + ".eml").c_str());
    }
    printf("%d messages queued, %.1f MB of MIME text\n", count, bytes / 1e6);

    double ours, theirs;
    {
        qirSMTPSink sink;
        qirConfig.Set("SMTP.Port", sink.PortText().c_str());
        int stop[2];
        if (pipe(stop) != 0) return 1;
        fcntl(stop[0], F_SETFL, O_NONBLOCK);
        fflush(nullptr);
        auto start = std::chrono::steady_clock::now();
        pid_t server = fork();
        if (server == 0) {
            close(stop[1]);
            qirLog = new qirError;
            qirLog->Open((work + "/QIR-server.log").c_str(), qirLogInfo, 0);
            qirServerInstance = new qirServer(stop[0]);
            int r = qirServerInstance->Run();
            delete qirServerInstance;
            delete qirLog;
            _exit(r);
        }
        while (!sink.Has(count)) usleep(500);
        ours = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        char byte = 1;
        if (write(stop[1], &byte, 1) != 1) perror("stop");
        waitpid(server, nullptr, 0);
    }
    {
        qirSMTPSink sink;
        std::string command = "/usr/bin/python3 " QIR_SOURCE_DIR "/bench/smtplib_peer.py " + sink.PortText() + " " +
                              drafts;
        FILE* p = popen(command.c_str(), "r");
        if (!p || fscanf(p, "%lf", &theirs) != 1) theirs = 0;
        if (p) pclose(p);
    }
    printf("queue + delivery server: %.3f s, %.0f messages/s\n", ours, count / ours);
    printf("smtplib, one connection: %.3f s, %.0f messages/s\n", theirs, theirs > 0 ? count / theirs : 0);
    printf("ratio: %.2f (target at most 1.5)\n", theirs > 0 ? ours / theirs : 0);
    qirRemoveTree(work);
    return 0;
}
