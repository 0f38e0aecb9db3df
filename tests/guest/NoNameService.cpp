// The guest has no name service: nothing there resolves host names or group names. Statically
// linked, glibc's resolver and group lookup draw link warnings (they need NSS libraries at run
// time); these stand in for them. The resolver takes numeric addresses and ports, all the
// guest's loopback needs (ser2net at 127.0.0.1); GoogleTest refers to it only for streaming
// results over a socket, the link to group names only to word a permission report. OpenSSL's
// libcrypto can look hosts up by itself and load modules; the link does neither.
#include <arpa/inet.h>
#include <grp.h>
#include <netdb.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

struct NumericAddress {
    addrinfo info;
    sockaddr_in6 address; // room for either family
};

} // namespace

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** result) {
    *result = nullptr;
    char* end = nullptr;
    const unsigned long port = service ? std::strtoul(service, &end, 10) : 0;
    if (service && (*end != '\0' || port > 65535))
        return EAI_SERVICE;
    auto* entry = static_cast<NumericAddress*>(std::calloc(1, sizeof(NumericAddress)));
    if (!entry)
        return EAI_MEMORY;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&entry->address);
    if (node && ::inet_pton(AF_INET, node, &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<std::uint16_t>(port));
        entry->info.ai_addrlen = sizeof(sockaddr_in);
    } else if (node && ::inet_pton(AF_INET6, node, &entry->address.sin6_addr) == 1) {
        entry->address.sin6_family = AF_INET6;
        entry->address.sin6_port = htons(static_cast<std::uint16_t>(port));
        entry->info.ai_addrlen = sizeof(sockaddr_in6);
    } else {
        std::free(entry);
        return EAI_NONAME;
    }
    entry->info.ai_family = entry->address.sin6_family;
    if (hints && hints->ai_family != AF_UNSPEC && hints->ai_family != entry->info.ai_family) {
        std::free(entry);
        return EAI_ADDRFAMILY;
    }
    entry->info.ai_socktype = hints ? hints->ai_socktype : 0;
    entry->info.ai_protocol = hints ? hints->ai_protocol : 0;
    entry->info.ai_addr = reinterpret_cast<sockaddr*>(&entry->address);
    *result = &entry->info;
    return 0;
}

extern "C" void freeaddrinfo(addrinfo* info) {
    std::free(info); // the NumericAddress it starts
}

// "No such group": the report then names the group by its number.
extern "C" int getgrgid_r(gid_t, group*, char*, std::size_t, group** result) {
    *result = nullptr;
    return 0;
}

extern "C" hostent* gethostbyname(const char*) {
    h_errno = HOST_NOT_FOUND;
    return nullptr;
}

// The linker sends libcrypto's calls of dlopen here (--wrap, see CMakeLists.txt): a mere
// definition would not keep glibc's own, which the static start-up code pulls in, from warning.
extern "C" void* __wrap_dlopen(const char*, int) { // NOLINT(bugprone-reserved-identifier)
    return nullptr;
}
