// The guest has no network and no name service: nothing there resolves host names or group
// names. Statically linked, glibc's resolver and group lookup draw link warnings (they need NSS
// libraries at run time); these stand in for them. GoogleTest refers to the resolver only for
// streaming results over a socket, the link to group names only to word a permission report.
#include <grp.h>
#include <netdb.h>

#include <cstddef>

extern "C" int getaddrinfo(const char*, const char*, const addrinfo*, addrinfo** result) {
    *result = nullptr;
    return EAI_FAIL;
}

extern "C" void freeaddrinfo(addrinfo*) {}

// "No such group": the report then names the group by its number.
extern "C" int getgrgid_r(gid_t, group*, char*, std::size_t, group** result) {
    *result = nullptr;
    return 0;
}
