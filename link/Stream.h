#pragma once

#include "Wait.h"

#include <sys/types.h>

#include <cstddef>

// A connected, non-blocking byte stream to a port on another machine: a plain TCP socket, or
// TLS over one. The remote line speaks its Telnet protocol through it and waits on Fd() with the
// link's one wait primitive.
class CStream {
public:
    virtual ~CStream() = default;

    // The descriptor to wait on.
    [[nodiscard]] virtual int Fd() const = 0;
    // As send() and recv() on a non-blocking socket: the count of bytes taken or read, 0 from
    // Read at the end of the stream, -1 with errno set otherwise. EAGAIN: wait for Wants(), then
    // call again with the same bytes.
    [[nodiscard]] virtual ssize_t Write(const char* data, std::size_t size) = 0;
    [[nodiscard]] virtual ssize_t Read(char* data, std::size_t size) = 0;
    // What to wait for after EAGAIN: POLLIN or POLLOUT (TLS may have to read before it can
    // write, and the other way round).
    [[nodiscard]] virtual short Wants() const = 0;
    // Bytes already read from the descriptor and held for Read (TLS decrypts whole records):
    // waiting on Fd() would not see them.
    [[nodiscard]] virtual bool HasPending() const = 0;
    // Ends the connection in order, once (TLS: its close_notify first), waiting a moment for
    // the remote to end its side, with `onWait` run meanwhile; nothing is read or written after
    // it. A destructor does it without a hook when it has not been done.
    virtual void Finish(const WaitHook& onWait) = 0;
};
