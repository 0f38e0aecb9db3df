// The test machine has no network and nothing here resolves host names; GoogleTest refers to
// the resolver only for streaming results over a socket. Statically linked, glibc's resolver
// would draw a link warning (it needs NSS libraries at run time); these stand in for it.
#include <netdb.h>

extern "C" int getaddrinfo(const char*, const char*, const addrinfo*, addrinfo** result) {
    *result = nullptr;
    return EAI_FAIL;
}

extern "C" void freeaddrinfo(addrinfo*) {}
