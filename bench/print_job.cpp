// Printing a message of 10,000 text lines to a file (layout, PostScript,
// the print command), against the time ghostscript takes to read that
// file back: a yardstick for its size.  Median of five paired runs.
// Needs an X display: DISPLAY=:N bench_print_job [lines] [scratch-dir]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "qirBenchMedian.h"

#include "qirConfiguration.h"
#include "qirError.h"
#include "qirLanguageGroup.h"
#include "qirMsg.h"

#include "qirPrintJob.h"

#include <IV-look/kit.h>
#include <InterViews/layout.h>
#include <InterViews/session.h>
#include "qirBenchSession.h"

static double Since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

int main(int argc, char** argv) {
    const int lines = argc > 1 ? atoi(argv[1]) : 10000;
    std::string base = argc > 2 ? argv[2] : "/tmp";
    qirBenchSession();
    qirBenchLoadShippedData();
    qirLog = new qirError();

    std::string scratch = base + "/qir-bench-print-XXXXXX";
    if (!mkdtemp(&scratch[0])) return 1;
    std::string text = "From: Ann Doe <ann@example.org>\nTo: bob@example.org\nSubject: A long report\n"
                       "Date: Tue, 3 Mar 2026 10:11:12 +0000\n\n";
    for (int i = 0; i < lines; i++)
        text += "Line " + std::to_string(i) + " of the report, with some words ( ) \\ to fill it out.\n";
    qirMsg msg(qirPath((scratch + "/Message1").c_str()), qirMsg::Blank());
    FILE* in = fmemopen(&text[0], text.size(), "r");
    if (msg.ImportRFC822(in) != 0 || msg.Save() != 0) return 1;
    fclose(in);

    std::string copy = scratch + "/job.ps";
    qirConfig.Set("Printer.Command", ("cp %s " + copy).c_str());
    qirConfig.Set("Printer.RemoveFileAfterPrinting", "yes");
    setenv("TMPDIR", scratch.c_str(), 1);
    std::vector<double> ours, gs;
    int pages = 0;
    for (int run = 0; run < 5; run++) {
        auto t = std::chrono::steady_clock::now();
        qirPrintJob job(&msg, nullptr, WidgetKit::instance(), LayoutKit::instance());
        if (job.Print() != 0) return 1;
        ours.push_back(Since(t));
        pages = job.Pages();
        t = std::chrono::steady_clock::now();
        if (system(("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=nullpage " + copy).c_str()) != 0) return 1;
        gs.push_back(Since(t));
    }
    struct stat st;
    stat(copy.c_str(), &st);
    printf("print %d lines (%d pages, %ld bytes of PostScript): %8.1f ms (median of 5)\n", lines, pages,
           (long)st.st_size, qirMedian(ours));
    printf("ghostscript reads the file (nullpage):                 %8.1f ms (median of 5)\n", qirMedian(gs));
    return system(("rm -rf " + scratch).c_str()) == 0 ? 0 : 1;
}
