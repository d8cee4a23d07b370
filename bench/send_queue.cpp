// Sending through the send queue: COUNT letters of a realistic mix are
// queued in a fresh queue directory under SCRATCH, then the delivery server
// (a forked process, as in the program) delivers them to aiosmtpd over one
// SMTP session.  Timed from the start of the server to the last letter
// accepted; compared with Python's smtplib sending the same texts over one
// connection, and with the floor: a client that pipelines every command
// and text without waiting for a reply, so that only the server's own work
// is left.  The three are run in turn, RUNS times, each in fresh
// directories, and the medians are reported.
//
//   bench_send_queue [COUNT [SCRATCH [RUNS]]]    (defaults 2000, /tmp, 5)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <arpa/inet.h>
#include <vector>

#include "qirAddress.h"
#include "qirBenchMedian.h"
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

typedef std::chrono::steady_clock Clock;

static double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

static std::string Text(unsigned* seed, size_t bytes) { return qirBenchWords(bytes, seed) + "\n.\n-- \nJoe\n"; }

// 70% short notes, 20% letters with a binary attachment, 10% longer
// texts with 8-bit characters.  With eml, the text the agent sends is also
// written there for the peers.
static void Compose(const std::string& dir, int i, unsigned* seed, const std::string& eml)
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
    if (!eml.empty()) {
        FILE* out = fopen(eml.c_str(), "w");
        m.ExportMIME(out, 0);
        fclose(out);
    }
}

static std::string MakeDir(const std::string& base, const char* prefix)
{
    std::string templ = base + "/" + prefix + ".XXXXXX";
    if (!mkdtemp(&templ[0])) {
        perror(templ.c_str());
        exit(1);
    }
    return templ;
}

static void RemoveDir(const std::string& dir)
{
    std::string command = "rm -rf '" + dir + "'";
    if (system(command.c_str()) != 0) fprintf(stderr, "cannot remove %s\n", dir.c_str());
}

struct Times {
    double queued = 0; // the queue agent storing every letter
    double sent = 0;   // server start to the last letter accepted
    double empty = 0;  // server start to the queue holding no entry
    double clean = 0;  // server start to no delivered entry left either
};

// The entries still to send, or with delivered also those sent and not yet
// removed.
static int QueueEntries(const std::string& queue, int delivered = 0)
{
    int n = 0;
    DIR* d = opendir(queue.c_str());
    while (dirent* entry = d ? readdir(d) : nullptr) {
        std::string e = entry->d_name;
        if ((e.compare(0, 4, "Msg_") == 0 && e.find(".LCK") == std::string::npos) ||
            (delivered && e.compare(0, 11, ".delivered-") == 0))
            ++n;
    }
    if (d) closedir(d);
    return n;
}

// One run of the program's road: queue every letter in fresh directories,
// then let the delivery process send them.
static Times RunQueue(const std::string& scratch, int count, const std::string& emlDir)
{
    Times t;
    std::string work = MakeDir(scratch, "qirbench");
    std::string drafts = work + "/drafts", queue = work + "/queue";
    mkdir(drafts.c_str(), 0700);
    mkdir(queue.c_str(), 0700);
    qirConfig.Set("QueueDir", queue.c_str());
    unsigned seed = 12345;
    auto start = Clock::now();
    for (int i = 0; i < count; ++i)
        Compose(drafts + "/Message" + std::to_string(i), i, &seed,
                emlDir.empty() ? "" : emlDir + "/" + std::to_string(100000 + i) + ".eml");
    t.queued = Since(start);

    qirSMTPSink sink;
    qirConfig.Set("SMTP.Port", sink.PortText().c_str());
    int stop[2];
    if (pipe(stop) != 0) exit(1);
    fcntl(stop[0], F_SETFL, O_NONBLOCK);
    fflush(nullptr);
    start = Clock::now();
    pid_t server = fork();
    if (server == 0) {
        close(stop[1]);
        qirLog = new qirError;
        qirLog->Open((work + "/QIR-server.log").c_str(), qirLogDebug, 0);
        qirServerInstance = new qirServer(stop[0]);
        int r = qirServerInstance->Run();
        delete qirServerInstance;
        delete qirLog;
        _exit(r);
    }
    while (!sink.Has(count)) usleep(200);
    t.sent = Since(start);
    while (QueueEntries(queue) > 0) usleep(1000);
    t.empty = Since(start);
    while (QueueEntries(queue, 1) > 0) usleep(1000);
    t.clean = Since(start);
    char byte = 1;
    if (write(stop[1], &byte, 1) != 1) perror("stop");
    waitpid(server, nullptr, 0);
    close(stop[0]);
    close(stop[1]);
    if (sink.Messages().size() != (size_t)count) fprintf(stderr, "the server got %zu letters\n", sink.Messages().size());
    RemoveDir(work);
    return t;
}

static double RunSmtplib(const std::string& emlDir)
{
    qirSMTPSink sink;
    std::string command = "/usr/bin/python3 " QIR_SOURCE_DIR "/bench/smtplib_peer.py " + sink.PortText() + " " + emlDir;
    double seconds = 0;
    FILE* p = popen(command.c_str(), "r");
    if (!p || fscanf(p, "%lf", &seconds) != 1) seconds = 0;
    if (p) pclose(p);
    return seconds;
}

// The floor: every command and text written at once by one thread while
// another reads the replies, so no round trip is waited for.
static double RunPipelined(const std::vector<std::string>& texts)
{
    qirSMTPSink sink;
    std::string stream = "HELO bench\r\n";
    for (const std::string& t : texts) {
        stream += "MAIL FROM:<joe@example.org>\r\nRCPT TO:<ann@example.org>\r\nRCPT TO:<bob@example.org>\r\nDATA\r\n";
        size_t at = 0;
        while (at < t.size()) {
            size_t nl = t.find('\n', at);
            if (nl == std::string::npos) nl = t.size();
            if (t[at] == '.') stream += '.';
            stream.append(t, at, nl - at);
            stream += "\r\n";
            at = nl + 1;
        }
        stream += ".\r\n";
    }
    stream += "QUIT\r\n";
    size_t replies = 1 + 1 + 5 * texts.size() + 1;

    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons((uint16_t)sink.Port());
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    auto start = Clock::now();
    if (connect(fd, (sockaddr*)&a, sizeof a) != 0) {
        perror("connect");
        return 0;
    }
    std::thread writer([&] {
        for (size_t at = 0; at < stream.size();) {
            ssize_t n = write(fd, stream.data() + at, stream.size() - at);
            if (n <= 0) return;
            at += (size_t)n;
        }
    });
    size_t seen = 0;
    std::string pending;
    char buffer[65536];
    while (seen < replies) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        pending.append(buffer, (size_t)n);
        size_t at = 0;
        for (size_t nl; (nl = pending.find('\n', at)) != std::string::npos; at = nl + 1)
            if (nl - at >= 4 && pending[at + 3] == ' ') ++seen;
        pending.erase(0, at);
    }
    double seconds = Since(start);
    writer.join();
    close(fd);
    if (seen < replies) fprintf(stderr, "pipelined client: %zu of %zu replies\n", seen, replies);
    return seconds;
}

int main(int argc, char** argv)
{
    int count = argc > 1 ? atoi(argv[1]) : 2000;
    std::string scratch = argc > 2 ? argv[2] : "/tmp";
    int runs = argc > 3 ? atoi(argv[3]) : 5;
    if (!qirSMTPSink::Available()) {
        fprintf(stderr, "aiosmtpd for /usr/bin/python3 is missing\n");
        return 1;
    }
    qirConfig.Set("DeliverAgent", "SMTP");
    qirConfig.Set("SMTP.Host", "127.0.0.1");
    qirConfig.Set("Default8BitEncoding", "quoted-printable");

    // The peers' texts: those the agent sends, made by a first queueing.
    std::string emlDir = MakeDir(scratch, "qirbench-eml");
    Times first = RunQueue(scratch, count, emlDir);
    std::vector<std::string> texts;
    long bytes = 0;
    for (const std::string& name : qirListDirectory(emlDir)) {
        texts.push_back(qirReadFile(emlDir + "/" + name));
        bytes += (long)texts.back().size();
    }
    printf("%d letters, %.1f MB of MIME text, scratch %s, %d runs (after one warm-up)\n", count, bytes / 1e6,
           scratch.c_str(), runs);
    (void)first;

    std::vector<double> queued, sent, empty, clean, peer, floor;
    for (int run = 0; run < runs; ++run) {
        // Taken in turn, the order changing, so the machine's load meets all alike.
        auto ours = [&] {
            Times t = RunQueue(scratch, count, "");
            queued.push_back(t.queued);
            sent.push_back(t.sent);
            empty.push_back(t.empty);
            clean.push_back(t.clean);
        };
        auto theirs = [&] { peer.push_back(RunSmtplib(emlDir)); };
        auto pipelined = [&] { floor.push_back(RunPipelined(texts)); };
        if (run % 2 == 0) {
            ours();
            theirs();
            pipelined();
        } else {
            pipelined();
            theirs();
            ours();
        }
        printf("run %d: qir %.3f s (queue empty %.3f s, clean %.3f s), smtplib %.3f s, pipelined %.3f s\n", run + 1,
               sent.back(), empty.back(), clean.back(), peer.back(), floor.back());
        fflush(stdout);
    }
    double q = qirMedian(sent), p = qirMedian(peer), f = qirMedian(floor);
    printf("\n| work | qir | peer | floor | qir / peer | qir / floor |\n|---|---|---|---|---|---|\n");
    printf("| send %d letters through the queue | %.2f s | smtplib %.2f s | pipelined %.2f s | %.2f | %.2f |\n", count,
           q, p, f, p > 0 ? q / p : 0, f > 0 ? q / f : 0);
    printf("medians: queueing %.2f s (%.0f letters/s); queue empty after %.2f s, sent entries removed after %.2f s; "
           "target qir / peer at most 1.5\n",
           qirMedian(queued), count / qirMedian(queued), qirMedian(empty), qirMedian(clean));
    RemoveDir(emlDir);
    return 0;
}
