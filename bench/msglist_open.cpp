// A folder of COUNT messages in its message list window, against nmh's scan
// of the same messages.  The messages are short mail of the usual kinds
// (plain, quoted-printable, multipart with a small attachment), imported as
// a fetch stores them, under every other number so that the first open
// renumbers every directory; the same texts are written as an MH folder.
//
// Figures, each the median of RUNS paired runs (the window's steps, then
// scan of the same folder, in turn, so that the machine's load meets both
// alike): open to the drawn list, a sort by each method, a close with
// nothing changed, a close after 100 messages were marked read, scan; once:
// the first open (renumbering), and the resident memory the open window
// takes.  Needs an X display:
//   DISPLAY=:N bench_msglist_open COUNT SCRATCH [RUNS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "qirBenchMedian.h"
#include "qirConfiguration.h"
#include "qirLanguageGroup.h"
#include "qirResident.h"
#include "qirMsgListItem.h"
#include "qirMsgSort.h"

#include "qirListBox.h"
#include "qirMsgList.h"

#include <InterViews/display.h>
#include <InterViews/event.h>
#include <InterViews/session.h>
#include "qirBenchSession.h"

static double Now()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// Handles every pending event and waits until the server has drawn.
static void Pump(Session* s)
{
    Event e;
    do {
        s->default_display()->sync();
        while (s->read(0, 0, e)) e.handle();
        s->default_display()->flush();
        s->default_display()->sync();
    } while (s->pending());
}

// ---------------------------------------------------------------- messages

static const char* const words[] = {"mail", "folder", "message", "meeting", "report", "budget", "release",
                                    "server", "client", "patch", "review", "tomorrow", "schedule", "thanks",
                                    "regards", "question", "answer", "draft", "update", "invoice", "travel"};
static const char* const names[] = {"Alice Example", "Bob Smith", "Carol Jones", "Dave O'Brien", "Eve Miller",
                                    "Frank Li", "Grace Hopper", "Heidi Klum"};
static const char* const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

static std::string Text(std::mt19937& rng, size_t size)
{
    std::string out, line;
    while (out.size() + line.size() < size) {
        line += words[rng() % (sizeof words / sizeof *words)];
        if (line.size() > 60) {
            out += line + "\n";
            line.clear();
        } else {
            line += ' ';
        }
    }
    return out + line + "\n";
}

static std::string Person(std::mt19937& rng)
{
    const char* n = names[rng() % (sizeof names / sizeof *names)];
    std::string first(n, strchr(n, ' '));
    for (char& c : first) c = (char)tolower((unsigned char)c);
    return "\"" + std::string(n) + "\" <" + first + std::to_string(rng() % 97) + "@example.org>";
}

static std::string Base64(const std::string& data)
{
    static const char table[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t column = 0;
    for (size_t i = 0; i < data.size(); i += 3) {
        unsigned v = (unsigned char)data[i] << 16;
        if (i + 1 < data.size()) v |= (unsigned char)data[i + 1] << 8;
        if (i + 2 < data.size()) v |= (unsigned char)data[i + 2];
        out += table[(v >> 18) & 63];
        out += table[(v >> 12) & 63];
        out += i + 1 < data.size() ? table[(v >> 6) & 63] : '=';
        out += i + 2 < data.size() ? table[v & 63] : '=';
        if ((column += 4) >= 76) {
            out += '\n';
            column = 0;
        }
    }
    return out + "\n";
}

// One message of the mix, deterministic in i.
static std::string Message(int i)
{
    std::mt19937 rng(i * 7919u + 17);
    std::string h;
    h += "Return-Path: <sender" + std::to_string(i) + "@example.org>\n";
    h += "Received: from mx" + std::to_string(i % 7) + ".example.org (mx.example.org [192.0.2." +
         std::to_string(i % 250) + "])\n\tby mail.example.net with ESMTP id " + std::to_string(100000 + i) +
         ";\n\tFri, 4 May 2001 14:05:44 -0400\n";
    h += "Message-ID: <" + std::to_string(i) + "." + std::to_string(rng()) + "@example.org>\n";
    h += "From: " + Person(rng) + "\n";
    h += "To: " + Person(rng);
    for (unsigned k = rng() % 3; k > 0; --k) h += ",\n\t" + Person(rng);
    h += "\n";
    if (rng() % 2) h += "Cc: " + Person(rng) + "\n";
    h += std::string("Subject: ") + words[rng() % 21] + " " + words[rng() % 21] + " " + std::to_string(i) + "\n";
    char date[64];
    snprintf(date, sizeof date, "Date: %s, %u %s 2023 %02u:%02u:%02u +0200\n", days[rng() % 7],
             unsigned(1 + rng() % 28), months[rng() % 12], unsigned(rng() % 24), unsigned(rng() % 60),
             unsigned(rng() % 60));
    h += date;
    h += "MIME-Version: 1.0\n";
    unsigned kind = rng() % 10;
    if (kind < 5)
        return h + "Content-Type: text/plain; charset=us-ascii\nContent-Transfer-Encoding: 7bit\n\n" +
               Text(rng, 300 + rng() % 2500);
    if (kind < 7)
        return h + "Content-Type: text/plain; charset=iso-8859-1\nContent-Transfer-Encoding: quoted-printable\n\n" +
               Text(rng, 300 + rng() % 2500) + "Gr=FC=DFe\n";
    std::string b = "=_boundary_" + std::to_string(i);
    std::string data;
    for (unsigned n = 200 + rng() % 3000; n > 0; --n) data += (char)(rng() & 0xff);
    return h + "Content-Type: multipart/mixed; boundary=\"" + b + "\"\n\n" +
           "This is a multi-part message in MIME format.\n\n--" + b +
           "\nContent-Type: text/plain; charset=us-ascii\n\n" + Text(rng, 200 + rng() % 1500) + "\n--" + b +
           "\nContent-Type: application/octet-stream; name=\"file" + std::to_string(i) +
           ".bin\"\nContent-Transfer-Encoding: base64\n\n" + Base64(data) + "\n--" + b + "--\n";
}

// The qir folder (message directories under every other number, as a fetch
// imports them) and the MH folder of the same texts.
static int MakeFolders(const std::string& dir, const std::string& mh, int count)
{
    for (int i = 0; i < count; i++) {
        std::string text = Message(i);
        FILE* in = fmemopen(&text[0], text.size(), "r");
        qirMsg m{qirPath((dir + "/Message" + std::to_string(2 * i)).c_str()), qirMsg::Blank()};
        if (!in || m.ImportRFC822(in) != 0 || m.Save() != 0) {
            fprintf(stderr, "message %d failed\n", i);
            return -1;
        }
        fclose(in);
        FILE* out = fopen((mh + "/" + std::to_string(i + 1)).c_str(), "w");
        if (!out || fwrite(text.data(), 1, text.size(), out) != text.size() || fclose(out) != 0) {
            fprintf(stderr, "MH message %d failed\n", i);
            return -1;
        }
    }
    sync();
    return 0;
}

// ---------------------------------------------------------------- runs

static std::vector<qirMsgListItem*> Items(qirMsgList* list)
{
    std::vector<qirMsgListItem*> out;
    for (qirMsg* m = list->qirFolder::First(); m; m = list->qirFolder::Next(m))
        out.push_back(static_cast<qirMsgListItem*>(m));
    return out;
}

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: DISPLAY=:N %s COUNT SCRATCH [RUNS]\n", argv[0]);
        return 2;
    }
    const int count = atoi(argv[1]);
    const int runs = argc > 3 ? atoi(argv[3]) : 5;
    if (count <= 0 || runs <= 0) return 2;
    setvbuf(stdout, nullptr, _IOLBF, 0);
    Session* session = qirBenchSession();
    qirBenchLoadShippedData();

    std::string root = std::string(argv[2]) + "/qir-msglist.XXXXXX";
    if (!mkdtemp(&root[0])) return 1;
    std::string dir = root + "/Work.QIR", mh = root + "/mh";
    mkdir(dir.c_str(), 0700);
    mkdir(mh.c_str(), 0700);
    double t = Now();
    if (MakeFolders(dir, mh, count) != 0) return 1;
    printf("%d messages made in %.1f s\n", count, (Now() - t) / 1000);
    std::string profile = root + "/mh_profile";
    if (FILE* p = fopen(profile.c_str(), "w")) {
        fprintf(p, "Path: %s\n", root.c_str());
        fclose(p);
    }
    std::string scan = "MH='" + profile + "' MHCONTEXT='" + root + "/context' /usr/bin/mh/scan +'" + mh +
                       "' >/dev/null 2>&1";

    qirListBox* rows = new qirListBox(0, nullptr);
    Resource::ref(rows);
    Pump(session);
    long before = qirResidentKB();
    struct mallinfo2 heapBefore = mallinfo2();
    t = Now();
    qirMsgList* list = new qirMsgList(qirPath(dir.c_str()), rows);
    list->activate();
    Pump(session);
    double first = Now() - t;
    long resident = qirResidentKB() - before;
    long heap = (long)(mallinfo2().uordblks - heapBefore.uordblks) / 1024;
    if (list->MessageRows()->Count() != count) {
        fprintf(stderr, "%d rows for %d messages\n", list->MessageRows()->Count(), count);
        return 1;
    }
    list->CloseWindow();
    // What the renumbering changed reaches the disk before the timed runs.
    sync();

    const char* methods[] = {"nothing", "date", "arrival", "sender name", "sender mailbox", "subject", "size"};
    const int order[] = {1, 3, 4, 5, 6, 2, 0};
    std::vector<double> open, sorts[qirMsgSort::MethodCount], closeClean, closeMarked, scans;
    for (int run = 0; run < runs; run++) {
        t = Now();
        list->activate();
        Pump(session);
        open.push_back(Now() - t);
        for (int method : order) {
            t = Now();
            list->Sort(method);
            Pump(session);
            sorts[method].push_back(Now() - t);
        }
        t = Now();
        list->CloseWindow();
        closeClean.push_back(Now() - t);

        // 100 unread messages spread over the folder marked read.
        list->activate();
        Pump(session);
        std::vector<qirMsgListItem*> items = Items(list);
        int marked = 0;
        for (size_t i = 0; i < items.size() && marked < 100; i += std::max<size_t>(1, items.size() / 150))
            if (!items[i]->IsRead() && !items[i]->IsRemoved()) {
                items[i]->StatusPressed();
                marked++;
            }
        Pump(session);
        t = Now();
        list->CloseWindow();
        closeMarked.push_back(Now() - t);

        t = Now();
        if (system(scan.c_str()) != 0) {
            fprintf(stderr, "scan failed\n");
            return 1;
        }
        scans.push_back(Now() - t);
    }

    double scanMs = qirMedian(scans);
    printf("%d messages, median of %d paired runs (ms):\n", count, runs);
    printf("  first open, renumbering every directory   %9.1f\n", first);
    printf("  open to the drawn list                    %9.1f  (%.2f x scan)\n", qirMedian(open),
           qirMedian(open) / scanMs);
    for (int method = 0; method < qirMsgSort::MethodCount; method++)
        printf("  sort by %-15s                   %9.1f\n", methods[method], qirMedian(sorts[method]));
    printf("  close, nothing changed                    %9.1f\n", qirMedian(closeClean));
    printf("  close after marking 100 read              %9.1f\n", qirMedian(closeMarked));
    printf("  nmh scan of the same messages             %9.1f\n", scanMs);
    printf("  resident memory of the open window        %9ld kB (%.2f kB per message; heap %ld kB)\n", resident,
           (double)resident / count, heap);
    delete list;
    Resource::unref(rows);
    std::string rm = "rm -rf '" + root + "'";
    return system(rm.c_str()) == 0 ? 0 : 1;
}
