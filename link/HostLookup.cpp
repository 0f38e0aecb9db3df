#include "HostLookup.h"

#include <netdb.h>

#include <cerrno>
#include <cstring>
#include <memory>

using namespace std::chrono_literals;

namespace {

// A lookup that glibc runs on a thread of its own, so that a slow name server holds up
// neither the window nor the deadline.
struct Lookup {
    std::string host;
    std::string service;
    addrinfo hints{};
    gaicb request{};
};

// A failed lookup has no errno; its number is the nearest one: a name that does not exist is a
// file that does not exist, a name server that does not answer in time a time-out.
int LookupErrorNumber(int gaiError) {
    switch (gaiError) {
    case EAI_NONAME:
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
    case EAI_FAIL:
        return ENOENT;
    case EAI_AGAIN:
        return EAGAIN;
    case EAI_MEMORY:
        return ENOMEM;
    case EAI_SYSTEM:
        return errno;
    default:
        return EINVAL;
    }
}

struct AddrinfoFree {
    void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};
using AddrinfoList = std::unique_ptr<addrinfo, AddrinfoFree>;

std::vector<Endpoint> EndpointsOf(const addrinfo* list) {
    std::vector<Endpoint> endpoints;
    for (const addrinfo* ai = list; ai; ai = ai->ai_next) {
        if (ai->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        Endpoint endpoint;
        std::memcpy(&endpoint.address, ai->ai_addr, ai->ai_addrlen);
        endpoint.size = ai->ai_addrlen;
        endpoints.push_back(endpoint);
    }
    return endpoints;
}

std::variant<std::vector<Endpoint>, int>
LookUp(const RemoteAddress& address, WaitClock::time_point deadline, const WaitHook& onWait) {
    auto lookup = std::make_unique<Lookup>();
    lookup->host = address.host;
    lookup->service = address.service;
    lookup->hints.ai_family = AF_UNSPEC;
    lookup->hints.ai_socktype = SOCK_STREAM;
    lookup->hints.ai_flags = AI_NUMERICSERV;
    lookup->request.ar_name = lookup->host.c_str();
    lookup->request.ar_service = lookup->service.c_str();
    lookup->request.ar_request = &lookup->hints;
    gaicb* requests[] = {&lookup->request};
    if (const int error = ::getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr))
        return LookupErrorNumber(error);
    const auto answered = [&] {
        return ::gai_error(&lookup->request) != EAI_INPROGRESS;
    };
    if (WaitUntil(answered, 1ms, deadline, onWait) != 0 && !answered()) {
        // The resolver's thread still writes into the request until it gives up: what it
        // writes to must outlive this call, so it is left to it.
        if (::gai_cancel(&lookup->request) != EAI_CANCELED)
            (void)lookup.release(); // NOLINT(bugprone-unused-return-value)
        return ETIMEDOUT;
    }
    if (const int error = ::gai_error(&lookup->request))
        return LookupErrorNumber(error);
    const AddrinfoList list(lookup->request.ar_result);
    return EndpointsOf(list.get());
}

} // namespace

std::variant<std::vector<Endpoint>, int>
ResolveHost(const RemoteAddress& address, WaitClock::time_point deadline, const WaitHook& onWait) {
    switch (KindOfHost(address.host)) {
    case HostKind::Name:
        return LookUp(address, deadline, onWait);
    case HostKind::OtherNumeric:
        return EINVAL;
    case HostKind::Address:
        break;
    }
    // An address needs no lookup (and no resolver thread).
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    if (const int error =
            ::getaddrinfo(address.host.c_str(), address.service.c_str(), &hints, &list))
        return LookupErrorNumber(error);
    const AddrinfoList owned(list);
    return EndpointsOf(owned.get());
}
