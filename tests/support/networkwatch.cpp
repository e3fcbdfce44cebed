#include "support/networkwatch.h"

#include <atomic>
#include <dlfcn.h>
#include <netdb.h>
#include <sys/socket.h>

namespace {
std::atomic<int> g_attempts{0};

bool internet(int domain) {
    return domain == AF_INET || domain == AF_INET6;
}
} // namespace

// These stand in for the C library's own for the whole test program (libxml2 included), count
// Internet sockets and name look-ups, and pass everything on.
extern "C" int socket(int domain, int type, int protocol) {
    if (internet(domain))
        ++g_attempts;
    using Real = int (*)(int, int, int);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "socket"));
    return real(domain, type, protocol);
}

extern "C" int connect(int fd, const struct sockaddr* address, socklen_t length) {
    if (address && internet(address->sa_family))
        ++g_attempts;
    using Real = int (*)(int, const struct sockaddr*, socklen_t);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "connect"));
    return real(fd, address, length);
}

extern "C" int getaddrinfo(const char* node, const char* service, const struct addrinfo* hints,
                           struct addrinfo** result) {
    ++g_attempts;
    using Real = int (*)(const char*, const char*, const struct addrinfo*, struct addrinfo**);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "getaddrinfo"));
    return real(node, service, hints, result);
}

NetworkWatch::NetworkWatch() : m_start(g_attempts.load()) {}

int NetworkWatch::attempts() const {
    return g_attempts.load() - m_start;
}
