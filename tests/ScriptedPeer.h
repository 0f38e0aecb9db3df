#pragma once

#include <UniqueFd.h>

#include <string>
#include <thread>
#include <vector>

// A remote port played from a script on 127.0.0.1, for the link to talk to: a server that does
// what ser2net does not (asks first, answers otherwise, says XOFF or SUSPEND at odd moments,
// closes without a word). It accepts one connection, sends `greeting` at once, then takes its
// steps in order: each waits until what it has received holds `when` (after the previous step's
// match), sends `then`, and closes the connection if told. It keeps everything it received.
class ScriptedPeer {
public:
    struct Step {
        std::string when;
        std::string then;
        bool close = false;
    };

    ScriptedPeer(std::string greeting, std::vector<Step> steps);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    // "rfc2217://127.0.0.1:PORT"
    [[nodiscard]] std::string Url() const;
    // Everything received, once the link has closed the connection (or 3 s have passed).
    [[nodiscard]] std::string Received();

private:
    void Serve(const std::string& greeting, const std::vector<Step>& steps);

    int m_port = 0;
    UniqueFd m_listener; // after m_port, which it sets
    std::string m_received;
    std::thread m_thread;
};
