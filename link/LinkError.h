#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The step of the link that failed.
enum class LinkStep {
    Open,          // the device could not be opened (missing, no access, in use)
    ReadSettings,  // the line settings could not be read (not a serial device)
    WriteSettings, // the line settings were refused or did not stick
    Transmit,      // a byte could not be put on the line
    // A port on another machine:
    Resolve,   // its host name could not be looked up (ENOENT: no such name; EAGAIN: the name
               // service did not answer; ETIMEDOUT: not in time)
    Connect,   // no connection (refused, no route, no answer in time)
    Negotiate, // the remote does not speak the protocol of a shared serial port, or not in time
    Secure,    // no secured connection (TLS); see LinkTls
};

// The setting a remote port refused (LinkStep::WriteSettings); a local line's settings are
// checked as a whole.
enum class LinkSetting {
    None,
    Speed,
    DataSize,
    Parity,
    StopSize,
    FlowControl,
};

// Why a secured connection failed (LinkStep::Secure), with the error number each one carries.
enum class LinkTls {
    None,
    Options,            // EINVAL: the name's options are wrong (TlsOptionsError tells which)
    UnknownCa,          // EKEYREJECTED: the server's certificate is not from a trusted CA
    WrongHost,          // EKEYREJECTED: it does not name the host the port name gives
    Expired,            // EKEYEXPIRED: it has expired, or is not valid yet
    CertificateWanted,  // ENOKEY: the server wants a client certificate and none was given
    CertificateRefused, // EACCES: the server refused the client certificate
    NotTls,             // EPROTO: the remote answered without TLS (a plain port)
    TlsExpected,        // EPROTO: the remote speaks TLS, the name asked for a plain port
    CaFile,             // the ca= file: its errno; EINVAL when it holds no certificate
    CertFile,           // the cert= file: its errno; EINVAL when it holds no certificate
    KeyFile,            // the key= file: its errno; EINVAL when it is no key (or encrypted)
                        // or not the certificate's
    Failed,             // anything else: ETIMEDOUT, ECONNRESET, EPROTO
};

// The panel's flow control on the line: stop sending, go on.
inline constexpr char kXoff = '\x13';
inline constexpr char kXon = '\x11';

// Why a byte could not leave, where the link can tell.
enum class LinkHold {
    None,
    CtsOff,     // CTS flow control is on and the far end does not assert CTS
    OutputHeld, // the far end sent XOFF
};

// A failure of the link as a value; the window turns it into text where it shows it.
struct LinkError {
    LinkStep step = LinkStep::Open;
    std::uint32_t errorNumber = 0; // errno of the failed call
    std::string portName;          // "COM1:" … "COM4:"
    std::string device; // the device or remote port ("rfc2217://…") the name stood for; empty
                        // when none was found
    LinkHold hold = LinkHold::None;
    bool deviceGone = false; // the name's device is unplugged; `device` is the node it last had
    LinkSetting setting = LinkSetting::None;
    LinkTls tls = LinkTls::None;
    // Filled where the system tells, so that the report can name a remedy:
    std::string openingGroup{}; // EACCES: the device's group, whose members may open it
    int holderPid = 0;          // EBUSY: the process holding the device's lock, 0 when unknown
    std::string holderName{};   // and its command name
    // A port on another machine that ended the connection while it was being set up: what its
    // server said, as plain text ("ser2net port open failure: …"); empty when it said nothing
    // printable.
    std::string remoteWords{};
};

// Tells the operator about a failure and returns once it has been acknowledged.
using ErrorReporter = std::function<void(const LinkError&)>;
