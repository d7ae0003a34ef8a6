// The datagram sender's few socket operations, one backend per platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Where the datagrams go: an IPv4 address and port, in the socket's own form.
struct SendTarget {
    unsigned char addr[16]; // a sockaddr_in
    int addrLen;
};

// A socket handle wide enough for both platforms.
typedef std::intptr_t SendSocket;
constexpr SendSocket SEND_NO_SOCKET = -1;

// Starts the platform's socket library; prints the reason on failure.
bool sendNetStart();

// Stops the socket library that sendNetStart started; its sockets must be closed by then.
void sendNetStop();

// Resolves host and port to an IPv4 target; prints the reason on failure.
bool sendResolve(const std::string &host, long port, SendTarget *target);

// Backend: the reason for a result of getaddrinfo other than 0, in words.
std::string sendResolveError(int rc);

// An IPv4 UDP socket for sending, or SEND_NO_SOCKET (the reason printed).
SendSocket sendOpen();

// Sends one datagram; prints the reason on failure.
bool sendDatagram(SendSocket fd, const SendTarget &target, const unsigned char *data,
                  std::size_t len);

// Closes a socket from sendOpen.
void sendClose(SendSocket fd);
