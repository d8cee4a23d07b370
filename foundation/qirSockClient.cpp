#include "qirSockClient.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

int qirSockClient::WellKnownPort(const char* service)
{
    if (!service)
        return 0;
    if (!strcasecmp(service, "pop3") || !strcasecmp(service, "pop-3"))
        return 110;
    if (!strcasecmp(service, "smtp"))
        return 25;
    return 0;
}

int qirSockClient::LookupPort(const char* service)
{
    if (!service || !*service)
        return 0;
    if (const servent* s = getservbyname(service, "tcp"))
        return ntohs(static_cast<uint16_t>(s->s_port));
    // A number must be all digits and a real port: "25x" or 70000 is unknown.
    char* end = nullptr;
    errno = 0;
    long n = strtol(service, &end, 10);
    if (*service >= '0' && *service <= '9' && end && !*end && errno == 0 && n > 0 && n <= 65535)
        return static_cast<int>(n);
    return WellKnownPort(service);
}

qirSockClient::qirSockClient(const char* host, const char* service) : qirObject(38)
{
    memset(&peer_, 0, sizeof peer_);
    int port = LookupPort(service);
    if (port == 0) {
        fprintf(stderr, "qirSockClient:: Can't find service: %s\n", service ? service : "(null)");
        return;
    }
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        fprintf(stderr, "qirSockClient:: Can't create Internet domain socket\n");
        return;
    }
    addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (!host || !*host || getaddrinfo(host, nullptr, &hints, &found) != 0 || !found) {
        fprintf(stderr, "qirSockClient:: %s - Unknown host\n", host ? host : "(null)");
        close(fd);
        return;
    }
    memcpy(&peer_, found->ai_addr, sizeof peer_);
    freeaddrinfo(found);
    peer_.sin_family = AF_INET;
    peer_.sin_port = htons(static_cast<uint16_t>(port));
    int rc;
    do
        rc = connect(fd, reinterpret_cast<sockaddr*>(&peer_), sizeof peer_);
    while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        fprintf(stderr, "qirSockClient:: Can't connect %s\n", host);
        close(fd);
        return;
    }
    socket_ = fd;
}

qirSockClient::~qirSockClient()
{
    if (socket_ >= 0)
        close(socket_);
}

int qirSockClient::Send(const void* data, int length, int flags)
{
    if (socket_ < 0) {
        errno = ENOTCONN;
        return -1;
    }
    if (length < 0 || (!data && length > 0)) {
        errno = EINVAL;
        return -1;
    }
    const char* p = static_cast<const char*>(data);
    int done = 0;
    while (done < length) {
        ssize_t n = send(socket_, p + done, length - done, flags | MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        done += static_cast<int>(n);
    }
    return done;
}

int qirSockClient::Recv(void* buffer, int length, int flags)
{
    if (length <= 0 || !buffer)
        return 0;
    if (start_ < end_) {
        int n = end_ - start_ < length ? end_ - start_ : length;
        memcpy(buffer, buffer_ + start_, n);
        if (!(flags & MSG_PEEK))
            start_ += n;
        return n;
    }
    if (socket_ < 0) {
        errno = ENOTCONN;
        return -1;
    }
    ssize_t n;
    do
        n = recv(socket_, buffer, length, flags);
    while (n < 0 && errno == EINTR);
    return static_cast<int>(n);
}

char* qirSockClient::ReadLine(char* buffer, int n)
{
    return ReadLineLength(buffer, n) < 0 ? nullptr : buffer;
}

int qirSockClient::ReadLineLength(char* buffer, int n)
{
    if (!buffer || n <= 0)
        return -1;
    int stored = 0;
    while (stored < n - 1) {
        if (start_ == end_) {
            // Refill through the virtual receive so a subclass sees the traffic.
            start_ = end_ = 0;
            int got = Recv(buffer_, bufferSize, 0);
            if (got <= 0)
                return -1;
            end_ = got;
        }
        int take = end_ - start_;
        if (take > n - 1 - stored)
            take = n - 1 - stored;
        const char* from = buffer_ + start_;
        const char* lf = static_cast<const char*>(memchr(from, '\n', take));
        if (lf)
            take = static_cast<int>(lf - from) + 1;
        memcpy(buffer + stored, from, take);
        stored += take;
        start_ += take;
        if (lf)
            break;
    }
    buffer[stored] = '\0';
    return stored;
}

int qirSockClient::SetTimeOut(long seconds, long microseconds)
{
    if (socket_ < 0)
        return -1;
    timeval tv;
    tv.tv_sec = seconds + microseconds / 1000000;
    tv.tv_usec = microseconds % 1000000;
    if (tv.tv_sec < 0 || tv.tv_usec < 0)
        return -1;
    if (setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) < 0 ||
        setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) < 0)
        return -1;
    return 0;
}

int qirSockClient::SendFile(const char* path, int blockSize, int flags)
{
    if (!path)
        return 1;
    int fd;
    do
        fd = open(path, O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return 1;
    int rc = SendDescriptor(fd, blockSize, flags);
    close(fd);
    return rc;
}

int qirSockClient::SendDescriptor(int fd, int blockSize, int flags)
{
    if (blockSize <= 0)
        return 2;
    char* block = static_cast<char*>(malloc(static_cast<size_t>(blockSize) + 10));
    if (!block)
        return 2;
    int rc = 0;
    for (;;) {
        ssize_t n = read(fd, block, blockSize);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            rc = 4;
            break;
        }
        if (n == 0)
            break;
        if (Send(block, static_cast<int>(n), flags) < 0) {
            rc = 3;
            break;
        }
    }
    free(block);
    return rc;
}
