// Everything that happens before the window session starts: the
// configuration bootstrap, the first run, the command-line options and the
// argument vector handed to the session.
#ifndef QIR_STARTUP_H
#define QIR_STARTUP_H

#include "qirString.h"

// Fills qirConfig from the defaults, the global file and the user's file,
// fills the editor default and selects the catalogue.  Ends the process with
// status 1 when neither file can be read.
void qir_read_configuration();
// Makes a missing folder directory and records the system mailbox.
void qir_first_run_setup();

// The path of the global configuration file under the data prefix.
qirString qirGlobalConfigPath();

// What the command line asks of the program itself.
struct qirOptions {
    int noDoubleBuffer = 0; // "-nodbuf" was given
    int fontGiven = 0;      // a font option was given

    // Checks the words against the option table, reports unknown ones and
    // answers the version and usage requests on standard error: 0 to go on,
    // -6 to stop.
    int Parse(int argc, char** argv);
    // The words for the session: every word of argv, then "-dbuf" and
    // "-fn" SystemFont unless the flags say otherwise (two empty words for
    // an empty SystemFont).  New array of new strings, *count words; free
    // with qirFreeArguments.
    char** SessionArguments(int argc, char** argv, int* count) const;
};

void qirFreeArguments(char** words, int count);

// The delivery process, forked at start-up: runs until the stop byte
// arrives on fd or the parent is gone, and answers its exit status.
int qirRunDeliveryProcess(int fd);

#endif
