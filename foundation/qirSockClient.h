// Blocking TCP client connection, opened when the object is made. The POP3
// client derives from it and the SMTP agent has it as a second base.
// Construction failures are printed on standard error; a connection that
// could not be made shows itself by the first send or receive failing.
#ifndef QIR_SOCKCLIENT_H
#define QIR_SOCKCLIENT_H

#include <netinet/in.h>

#include "qirObject.h"

class qirSockClient : public qirObject {
public:
    // service: a name from the services database for "tcp" or a port number.
    qirSockClient(const char* host, const char* service);
    ~qirSockClient() override;

    // Sends all of data (short sends are continued, EINTR retried, never
    // SIGPIPE): length on success, -1 on failure or timeout.
    virtual int Send(const void* data, int length, int flags);
    // Takes bytes ReadLine has already buffered first, then the socket's:
    // the count, 0 at the end of the stream, -1 on failure or timeout.
    virtual int Recv(void* buffer, int length, int flags);

    // One line into buffer (size n): up to and including the line feed, or
    // n-1 bytes, NUL-terminated. Null at the end of the stream or on an
    // error. Bytes after the line stay buffered for the next read.
    char* ReadLine(char* buffer, int n);
    // The same, answering the number of bytes stored before the NUL (a line
    // may hold NULs of its own), or -1 where ReadLine answers null.
    int ReadLineLength(char* buffer, int n);

    // Send and receive timeouts (0, 0 waits forever): 0, or -1 when the
    // socket refuses them or there is none.
    int SetTimeOut(long seconds, long microseconds);

    // SendDescriptor on the file opened read-only; 1 when it cannot be opened.
    int SendFile(const char* path, int blockSize, int flags);
    // Copies what remains of fd to the socket in blocks: 0 at the end of the
    // input, 2 no buffer, 3 a send failed, 4 a read failed.
    int SendDescriptor(int fd, int blockSize, int flags);

    int IsConnected() const { return socket_ >= 0; }
    int Descriptor() const { return socket_; }

    // Port in host order for a service name or number, 0 when unknown. The
    // mail services have built-in ports for systems without their entries.
    static int LookupPort(const char* service);
    static int WellKnownPort(const char* service);

private:
    qirSockClient(const qirSockClient&) = delete;
    qirSockClient& operator=(const qirSockClient&) = delete;

    // Large enough that a message arrives in few receives.
    enum { bufferSize = 65536 };
    int socket_ = -1;
    sockaddr_in peer_;
    char buffer_[bufferSize]; // received, not yet handed out: [start_, end_)
    int start_ = 0;
    int end_ = 0;
};

#endif
