// A scripted POP3 server on a loopback port, run by a thread of the test,
// for what a real server will not do: drop the line in the middle of a
// message, refuse commands, lack UIDL, send lines of any length.
#ifndef QIR_FAKE_POP3_H
#define QIR_FAKE_POP3_H

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct qirFakeReply {
    std::string text;   // sent as it stands (give the CR LF yourself)
    bool close = false; // close the connection after sending the text
    bool reset = false; // close with a reset, not an orderly end
    int trickleMicros = 0; // send the text a byte at a time, this far apart
    bool endless = false;  // after the text, send lines until the client goes
};

class qirFakePOP3Server {
public:
    // The handler answers each command line (CR LF removed). The greeting is
    // sent first; with greetingClose the connection ends right after it.
    using Handler = std::function<qirFakeReply(const std::string& command)>;
    explicit qirFakePOP3Server(Handler handler, std::string greeting = "+OK fake POP3 ready\r\n",
                               bool greetingClose = false);
    ~qirFakePOP3Server();

    const char* Port() const { return port_.c_str(); }
    // Every command received so far, in order (recorded before its answer).
    std::vector<std::string> Commands();
    int Count(const std::string& prefix); // commands beginning with prefix
    // Commands that had already arrived while an earlier one was still to be
    // answered: the client pipelined them.
    int Ahead() const { return ahead_; }

    // A loopback port where nobody listens.
    static std::string ClosedPort();

private:
    void Run();
    void Serve(int fd);

    Handler handler_;
    std::string greeting_;
    bool greetingClose_;
    int listener_ = -1;
    std::string port_;
    std::atomic<bool> stop_{false};
    std::atomic<int> ahead_{0};
    std::mutex mutex_;
    std::vector<std::string> commands_;
    std::thread thread_;
};

// A mailbox answering the RFC 1939 commands over given messages, with the
// identifier methods switched on or off. Texts are given with LF line ends.
struct qirFakeMailbox {
    std::vector<std::string> messages;
    std::vector<std::string> ids; // UIDL values; "uid<n>" where missing
    std::vector<bool> deleted;
    std::string user = "user", password = "secret";
    bool uidl = true, xtnd = false, top = true;
    bool pipelining = false; // CAPA names PIPELINING (else CAPA is refused)

    qirFakeReply Answer(const std::string& command);
    // CR LF line ends, dot-stuffed, with the "." line.
    static std::string Stuff(const std::string& text);
    static std::string Listed(const std::string& text) { return Stuff(text).substr(0, Stuff(text).size() - 3); }
};

// A server for one such mailbox whose answers a test may override by
// command.
struct qirScriptedPOP3 {
    qirFakeMailbox box;
    // Answers the command itself when it returns true.
    std::function<bool(const std::string&, qirFakeReply*)> override;
    qirFakePOP3Server server;
    explicit qirScriptedPOP3(std::vector<std::string> messages, std::string greeting = "+OK ready\r\n");
    // Position of the first (or, with last, the last) command received that
    // begins with prefix; -1 when none.
    int Index(const std::string& prefix, bool last);
};

#endif
