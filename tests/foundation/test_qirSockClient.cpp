#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "qirSockClient.h"

namespace {

// A listener on a free loopback port. The kernel completes the connection
// before accept, so a test can make the client first and accept after.
class Listener {
public:
    Listener()
    {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a;
        memset(&a, 0, sizeof a);
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(fd_, 4);
        socklen_t len = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = std::to_string(ntohs(a.sin_port));
    }
    ~Listener()
    {
        if (conn_ >= 0)
            close(conn_);
        close(fd_);
    }
    const char* Port() const { return port_.c_str(); }
    int Accept() { return conn_ = accept(fd_, nullptr, nullptr); }
    void Write(const std::string& s) { ASSERT_EQ(write(conn_, s.data(), s.size()), (ssize_t)s.size()); }
    void CloseConnection() { close(conn_); conn_ = -1; }

private:
    int fd_ = -1;
    int conn_ = -1;
    std::string port_;
};

// Counts receive calls to show lines are not read one call per byte.
class CountingClient : public qirSockClient {
public:
    using qirSockClient::qirSockClient;
    int Recv(void* buffer, int length, int flags) override
    {
        ++calls;
        return qirSockClient::Recv(buffer, length, flags);
    }
    int calls = 0;
};

TEST(qirSockClient, ServicePorts)
{
    const struct {
        const char* service;
        int port;
    } cases[] = {
        {"pop3", 110}, {"smtp", 25}, {"110", 110}, {"2525", 2525},
        {"no-such-service", 0}, {"25x", 0}, {"70000", 0}, {"0", 0}, {"-5", 0}, {"", 0}, {nullptr, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(qirSockClient::LookupPort(c.service), c.port) << (c.service ? c.service : "(null)");
    EXPECT_EQ(qirSockClient::WellKnownPort("pop3"), 110);
    EXPECT_EQ(qirSockClient::WellKnownPort("smtp"), 25);
    EXPECT_EQ(qirSockClient::WellKnownPort("imap"), 0);
}

// With the services database hidden (an empty file mounted over it in a
// private mount namespace of a child), the mail services still resolve.
TEST(qirSockClient, MailServicesWithoutServicesDatabase)
{
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        char empty[] = "/tmp/qir-noservices-XXXXXX";
        int fd = mkstemp(empty);
        if (fd < 0 || unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount(empty, "/etc/services", nullptr, MS_BIND, nullptr) != 0) {
            unlink(empty);
            _exit(77);
        }
        unlink(empty);
        int ok = getservbyname("pop3", "tcp") == nullptr && qirSockClient::LookupPort("pop3") == 110 &&
                 qirSockClient::LookupPort("smtp") == 25 && qirSockClient::LookupPort("no-such-service") == 0;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(qirSockClient, ConstructionFailuresAreReportedAndReadsFail)
{
    const struct {
        const char* host;
        const char* service;
        std::string message;
    } cases[] = {
        {"127.0.0.1", "no-such-service", "qirSockClient:: Can't find service: no-such-service\n"},
        {"127.0.0.1", nullptr, "qirSockClient:: Can't find service: (null)\n"},
        {nullptr, "110", "qirSockClient:: (null) - Unknown host\n"},
        {"no-such-host.invalid", "110", "qirSockClient:: no-such-host.invalid - Unknown host\n"},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStderr();
        qirSockClient client(c.host, c.service);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
        EXPECT_FALSE(client.IsConnected());
        char line[64];
        EXPECT_EQ(client.ReadLine(line, sizeof line), nullptr);
        EXPECT_EQ(client.Send("x", 1, 0), -1);
        EXPECT_EQ(client.SetTimeOut(1, 0), -1);
    }
}

TEST(qirSockClient, RefusedConnection)
{
    std::string port;
    {
        Listener l;
        port = l.Port();
    }
    testing::internal::CaptureStderr();
    qirSockClient client("127.0.0.1", port.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "qirSockClient:: Can't connect 127.0.0.1\n");
    EXPECT_FALSE(client.IsConnected());
}

TEST(qirSockClient, ReadLineSplitsLongLinesAndKeepsWhatFollows)
{
    Listener l;
    qirSockClient client("127.0.0.1", l.Port());
    ASSERT_TRUE(client.IsConnected());
    ASSERT_GE(l.Accept(), 0);
    l.Write("abcdefg\n+OK ready\r\nrest");
    char line[64];
    EXPECT_STREQ(client.ReadLine(line, 5), "abcd");
    EXPECT_STREQ(client.ReadLine(line, 5), "efg\n");
    EXPECT_STREQ(client.ReadLine(line, sizeof line), "+OK ready\r\n");
    // The bytes after the line were read from the socket with it, but are
    // not lost: a plain receive gets them.
    char raw[16] = {0};
    EXPECT_EQ(client.Recv(raw, sizeof raw, 0), 4);
    EXPECT_STREQ(raw, "rest");
    // A peer closing in the middle of a line ends the read with null.
    l.Write("half a li");
    l.CloseConnection();
    EXPECT_EQ(client.ReadLine(line, sizeof line), nullptr);
}

TEST(qirSockClient, ReadLineReadsInBlocks)
{
    Listener l;
    CountingClient client("127.0.0.1", l.Port());
    ASSERT_GE(l.Accept(), 0);
    std::string lines;
    for (int i = 0; i < 200; ++i)
        lines += "line " + std::to_string(i) + "\r\n";
    l.Write(lines);
    l.CloseConnection();
    char line[64];
    std::string got;
    while (client.ReadLine(line, sizeof line))
        got += line;
    EXPECT_EQ(got, lines);
    EXPECT_LT(client.calls, 20); // one call per byte would be thousands
}

TEST(qirSockClient, LargeSendIsCompleted)
{
    Listener l;
    qirSockClient client("127.0.0.1", l.Port());
    int conn = l.Accept();
    ASSERT_GE(conn, 0);
    std::string data(8 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7 + i / 4096);
    std::string received;
    std::thread reader([&] {
        char block[65536];
        ssize_t n;
        while ((n = read(conn, block, sizeof block)) > 0)
            received.append(block, n);
    });
    EXPECT_EQ(client.Send(data.data(), (int)data.size(), 0), (int)data.size());
    shutdown(client.Descriptor(), SHUT_WR);
    reader.join();
    EXPECT_TRUE(received == data) << "received " << received.size() << " bytes";
}

TEST(qirSockClient, SendToClosedPeerFailsWithoutSignal)
{
    struct sigaction old, dfl;
    memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &dfl, &old); // SIGPIPE would end this test program
    {
        Listener l;
        qirSockClient client("127.0.0.1", l.Port());
        ASSERT_GE(l.Accept(), 0);
        l.CloseConnection();
        int rc = 0;
        for (int i = 0; i < 100 && rc >= 0; ++i) {
            rc = client.Send("QUIT\r\n", 6, 0);
            usleep(2000);
        }
        EXPECT_EQ(rc, -1);
        EXPECT_TRUE(errno == EPIPE || errno == ECONNRESET) << strerror(errno);
        // The block copy reports the failed send.
        char path[] = "/tmp/qir-sock-XXXXXX";
        int fd = mkstemp(path);
        ASSERT_EQ(write(fd, "data\n", 5), 5);
        lseek(fd, 0, SEEK_SET);
        EXPECT_EQ(client.SendDescriptor(fd, 16, 0), 3);
        close(fd);
        unlink(path);
    }
    sigaction(SIGPIPE, &old, nullptr);
}

TEST(qirSockClient, TimeOutsApplyToReceiveAndSend)
{
    Listener l;
    qirSockClient client("127.0.0.1", l.Port());
    ASSERT_GE(l.Accept(), 0);
    ASSERT_EQ(client.SetTimeOut(0, 150000), 0);
    for (int option : {SO_RCVTIMEO, SO_SNDTIMEO}) {
        timeval tv{};
        socklen_t len = sizeof tv;
        ASSERT_EQ(getsockopt(client.Descriptor(), SOL_SOCKET, option, &tv, &len), 0);
        EXPECT_EQ(tv.tv_sec, 0);
        EXPECT_NEAR(tv.tv_usec, 150000, 5000);
    }
    // A silent server: the read gives up instead of blocking for ever.
    char line[64];
    errno = 0;
    EXPECT_EQ(client.ReadLine(line, sizeof line), nullptr);
    EXPECT_TRUE(errno == EAGAIN || errno == EWOULDBLOCK) << strerror(errno);
    // A server that reads nothing: the send gives up once the buffers fill.
    std::string lots(64 << 20, 'x');
    EXPECT_EQ(client.Send(lots.data(), (int)lots.size(), 0), -1);
    EXPECT_TRUE(errno == EAGAIN || errno == EWOULDBLOCK) << strerror(errno);
}

TEST(qirSockClient, SendFileCopiesTheWholeFile)
{
    char path[] = "/tmp/qir-sock-XXXXXX";
    int fd = mkstemp(path);
    std::string body;
    for (int i = 0; i < 1000; ++i)
        body += "Line " + std::to_string(i) + " of the message\r\n";
    ASSERT_EQ(write(fd, body.data(), body.size()), (ssize_t)body.size());
    close(fd);

    Listener l;
    qirSockClient client("127.0.0.1", l.Port());
    int conn = l.Accept();
    ASSERT_GE(conn, 0);
    std::string received;
    std::thread reader([&] {
        char block[4096];
        ssize_t n;
        while ((n = read(conn, block, sizeof block)) > 0)
            received.append(block, n);
    });
    EXPECT_EQ(client.SendFile(path, 77, 0), 0); // a block size that splits lines
    shutdown(client.Descriptor(), SHUT_WR);
    reader.join();
    EXPECT_EQ(received, body);

    EXPECT_EQ(client.SendFile("/nonexistent/file", 512, 0), 1);
    EXPECT_EQ(client.SendFile(path, 0, 0), 2);
    int dir = open("/tmp", O_RDONLY | O_DIRECTORY);
    EXPECT_EQ(client.SendDescriptor(dir, 512, 0), 4); // reading a directory fails
    close(dir);
    unlink(path);
}

} // namespace
