#include "qirFakePOP3.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int Listen(std::string* port)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0 || listen(fd, 8) < 0)
        return -1;
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    *port = std::to_string(ntohs(a.sin_port));
    return fd;
}

bool SendAll(int fd, const std::string& s)
{
    size_t done = 0;
    while (done < s.size()) {
        ssize_t n = send(fd, s.data() + done, s.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

qirFakePOP3Server::qirFakePOP3Server(Handler handler, std::string greeting, bool greetingClose)
    : handler_(std::move(handler)), greeting_(std::move(greeting)), greetingClose_(greetingClose)
{
    listener_ = Listen(&port_);
    thread_ = std::thread([this] { Run(); });
}

qirFakePOP3Server::~qirFakePOP3Server()
{
    stop_ = true;
    thread_.join();
    if (listener_ >= 0)
        close(listener_);
}

std::string qirFakePOP3Server::ClosedPort()
{
    std::string port;
    int fd = Listen(&port);
    close(fd);
    return port;
}

std::vector<std::string> qirFakePOP3Server::Commands()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

int qirFakePOP3Server::Count(const std::string& prefix)
{
    int n = 0;
    for (const std::string& c : Commands())
        n += c.compare(0, prefix.size(), prefix) == 0;
    return n;
}

void qirFakePOP3Server::Run()
{
    while (!stop_) {
        pollfd p = {listener_, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0)
            continue;
        int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0)
            Serve(fd);
    }
}

void qirFakePOP3Server::Serve(int fd)
{
    std::string pending;
    bool open = SendAll(fd, greeting_) && !greetingClose_;
    while (open && !stop_) {
        size_t eol;
        while ((eol = pending.find("\r\n")) == std::string::npos) {
            pollfd p = {fd, POLLIN, 0};
            if (stop_)
                break;
            if (poll(&p, 1, 20) <= 0)
                continue;
            char buf[4096];
            ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n <= 0) {
                open = false;
                break;
            }
            pending.append(buf, n);
        }
        if (!open || eol == std::string::npos)
            break;
        std::string command = pending.substr(0, eol);
        pending.erase(0, eol + 2);
        if (pending.find("\r\n") != std::string::npos)
            ++ahead_;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            commands_.push_back(command);
        }
        qirFakeReply r = handler_(command);
        bool sent = true;
        if (r.trickleMicros) {
            for (size_t i = 0; sent && i < r.text.size() && !stop_; ++i) {
                sent = SendAll(fd, r.text.substr(i, 1));
                usleep(r.trickleMicros);
            }
        } else {
            sent = SendAll(fd, r.text);
        }
        // Bounded by the client, which must give up, and by the test's end.
        const std::string line(998, 'e');
        while (sent && r.endless && !stop_)
            sent = SendAll(fd, line + "\r\n");
        if (!sent)
            break;
        if (r.reset) {
            linger l = {1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        }
        if (r.close || r.reset || command == "QUIT")
            break;
    }
    close(fd);
}

std::string qirFakeMailbox::Stuff(const std::string& text)
{
    std::string out;
    bool start = true;
    for (char c : text) {
        if (start && c == '.')
            out += '.';
        if (c == '\n')
            out += '\r';
        out += c;
        start = c == '\n';
    }
    if (!start)
        out += "\r\n";
    return out + ".\r\n";
}

qirFakeReply qirFakeMailbox::Answer(const std::string& command)
{
    deleted.resize(messages.size());
    auto id = [&](size_t i) { return i < ids.size() ? ids[i] : "uid" + std::to_string(i + 1); };
    std::string verb = command.substr(0, command.find(' '));
    std::string arg = command.find(' ') == std::string::npos ? "" : command.substr(command.find(' ') + 1);
    int n = atoi(arg.c_str());
    bool valid = n >= 1 && n <= static_cast<int>(messages.size()) && !deleted[n - 1];
    if (verb == "USER")
        return {arg == user ? "+OK\r\n" : "-ERR no such user\r\n"};
    if (verb == "PASS")
        return {arg == password ? "+OK logged in\r\n" : "-ERR wrong password\r\n"};
    if (verb == "STAT") {
        size_t total = 0, count = 0;
        for (size_t i = 0; i < messages.size(); ++i)
            if (!deleted[i])
                total += Listed(messages[i]).size(), ++count;
        return {"+OK " + std::to_string(count) + " " + std::to_string(total) + "\r\n"};
    }
    if (verb == "LIST" && arg.empty()) {
        std::string out = "+OK\r\n";
        for (size_t i = 0; i < messages.size(); ++i)
            if (!deleted[i])
                out += std::to_string(i + 1) + " " + std::to_string(Listed(messages[i]).size()) + "\r\n";
        return {out + ".\r\n"};
    }
    if (verb == "UIDL" && uidl) {
        if (!arg.empty())
            return {valid ? "+OK " + arg + " " + id(n - 1) + "\r\n" : "-ERR no such message\r\n"};
        std::string out = "+OK\r\n";
        for (size_t i = 0; i < messages.size(); ++i)
            if (!deleted[i])
                out += std::to_string(i + 1) + " " + id(i) + "\r\n";
        return {out + ".\r\n"};
    }
    if (command == "XTND XLST Message-Id" && xtnd) {
        std::string out = "+OK\r\n";
        for (size_t i = 0; i < messages.size(); ++i)
            if (!deleted[i])
                out += std::to_string(i + 1) + " Message-Id: <" + id(i) + ">\r\n";
        return {out + ".\r\n"};
    }
    if (verb == "TOP" && top) {
        if (!valid || arg.find(' ') == std::string::npos)
            return {"-ERR no such message\r\n"};
        const std::string& m = messages[n - 1];
        size_t end = m.find("\n\n");
        size_t cut = end == std::string::npos ? m.size() : m.find('\n', end + 2);
        return {"+OK\r\n" + Stuff(m.substr(0, cut == std::string::npos ? m.size() : cut + 1))};
    }
    if (verb == "RETR")
        return {valid ? "+OK\r\n" + Stuff(messages[n - 1]) : "-ERR no such message\r\n"};
    if (verb == "DELE") {
        if (!valid)
            return {"-ERR no such message\r\n"};
        deleted[n - 1] = true;
        return {"+OK deleted\r\n"};
    }
    if (verb == "RSET") {
        deleted.assign(messages.size(), false);
        return {"+OK\r\n"};
    }
    if (verb == "CAPA" && pipelining)
        return {"+OK\r\nUSER\r\nUIDL\r\nPIPELINING\r\n.\r\n"};
    if (verb == "QUIT") {
        // As a real server: deleted messages go at QUIT, and the next
        // session numbers what is left from 1.
        std::vector<std::string> keptMessages, keptIds;
        for (size_t i = 0; i < messages.size(); ++i)
            if (!deleted[i]) {
                keptMessages.push_back(messages[i]);
                keptIds.push_back(id(i));
            }
        messages.swap(keptMessages);
        ids.swap(keptIds);
        deleted.assign(messages.size(), false);
    }
    if (verb == "NOOP" || verb == "QUIT")
        return {"+OK\r\n"};
    return {"-ERR unknown command\r\n"};
}

qirScriptedPOP3::qirScriptedPOP3(std::vector<std::string> messages, std::string greeting)
    : server([this](const std::string& c) {
          qirFakeReply r;
          if (override && override(c, &r))
              return r;
          return box.Answer(c);
      }, greeting)
{
    box.messages = std::move(messages);
}

int qirScriptedPOP3::Index(const std::string& prefix, bool last)
{
    std::vector<std::string> c = server.Commands();
    int found = -1;
    for (int i = 0; i < static_cast<int>(c.size()); ++i)
        if (c[i].compare(0, prefix.size(), prefix) == 0) {
            found = i;
            if (!last)
                break;
        }
    return found;
}
