#include "qirMailAgent.h"

#include <csignal>
#include <unistd.h>

#include "qirAddress.h"
#include "qirMsg.h"

qirMailAgent::~qirMailAgent() {}

qirString qirMailAgent::ErrorText() { return qirString("Error sending"); }

unsigned qirMailAgent::PrepareChild(unsigned ignore, int in, int out)
{
    if (in >= 0 && in != 0) dup2(in, 0);
    if (out >= 0 && out != 1) dup2(out, 1);
    for (int sig = 1; sig <= 32; ++sig)
        if (ignore & (1u << (sig - 1))) signal(sig, SIG_IGN);
    if (!(ignore & (1u << (SIGINT - 1)))) signal(SIGINT, SIG_DFL);
    sigset_t none, old;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, &old);
    unsigned bits = 0;
    for (int sig = 1; sig <= 32; ++sig)
        if (sigismember(&old, sig) == 1) bits |= 1u << (sig - 1);
    return bits;
}

int qirMailAgent::IsSafeMailbox(const char* mailbox)
{
    if (!mailbox || !*mailbox || *mailbox == '-') return 0;
    for (const unsigned char* p = (const unsigned char*)mailbox; *p; ++p)
        if (*p < 0x20 || *p == 0x7f || *p == '<' || *p == '>') return 0;
    return 1;
}

void qirMailAgent::Recipients(const qirMsg* message, std::vector<std::string>* safe,
                              std::vector<std::string>* unsafe)
{
    if (!message) return;
    for (const qirList* list : {message->To(), message->Cc(), message->Bcc()}) {
        for (qirObject* o = list->First(); o; o = qirList::Next(o)) {
            qirString box = static_cast<const qirAddress*>(o)->Mailbox();
            const char* s = box.Text() ? box.Text() : "";
            if (IsSafeMailbox(s)) safe->push_back(s);
            else if (unsafe) unsafe->push_back(s);
        }
    }
}
