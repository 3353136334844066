#include "tool/Listener.h"

#include <cerrno>
#include <cstdlib>

std::optional<Listener::Target> Listener::parse(const std::string& url, std::string* why) {
    Target t;
    std::string rest;
    if (url.rfind("tcp://", 0) == 0) {
        rest = url.substr(6);
    } else if (url.rfind("udp://", 0) == 0) {
        t.udp = true;
        rest = url.substr(6);
    } else {
        *why = "\"" + url + "\" is neither tcp://HOST:PORT nor udp://:PORT";
        return std::nullopt;
    }
    const size_t colon = rest.rfind(':');
    if (colon == std::string::npos) {
        *why = "\"" + url + "\" has no port";
        return std::nullopt;
    }
    t.host = rest.substr(0, colon);
    t.port = rest.substr(colon + 1);
    if (t.host.size() >= 2 && t.host.front() == '[' && t.host.back() == ']')
        t.host = t.host.substr(1, t.host.size() - 2);
    char* end = nullptr;
    const long port = std::strtol(t.port.c_str(), &end, 10);
    if (t.port.empty() || *end != '\0' || port < (t.udp ? 0 : 1) || port > 65535) {
        *why = "\"" + t.port + "\" is not a port";
        return std::nullopt;
    }
    if (t.udp != t.host.empty()) {
        *why = t.udp ? "udp:// listens on this computer: give udp://:PORT" : "tcp:// needs a host";
        return std::nullopt;
    }
    return t;
}

Listener::Listener(TCPConnectionModel& model, std::FILE* out, std::FILE* err, uint64_t count)
    : model_(model), out_(out), err_(err), count_(count) {
}

Listener::~Listener() {
    model_.closeClientConnection(false);
}

bool Listener::start(const Target& target) {
    target_ = target;
    const bool started = target.udp ? model_.createClientUDPConnection(this, target.port)
                                    : model_.createClientConnection(this, target.host, target.port);
    if (!started) {
        std::fprintf(err_, "navtool: %s\n",
                     target.udp ? ("cannot listen on UDP port " + target.port).c_str()
                                : ("cannot connect to " + target.host + ":" + target.port).c_str());
        return false;
    }
    // Port 0: the one the system chose.
    name_ =
        target.udp ? "UDP port " + std::to_string(model_.clientLocalPort()) : target.host + ":" + target.port;
    if (target.udp)
        std::fprintf(err_, "navtool: listening on %s\n", name_.c_str());
    return true;
}

void Listener::clientSocketConnected() {
    connected_ = true;
    if (!target_.udp)
        std::fprintf(err_, "navtool: connected to %s\n", name_.c_str());
}

void Listener::clientSocketDisconnected() {
    std::fprintf(err_,
                 connected_ ? "navtool: %s closed the connection\n" : "navtool: %s refused the connection\n",
                 name_.c_str());
    finish(connected_ ? 0 : 1);
}

void Listener::clientSocketTimedOut() {
    if (target_.udp)
        std::fprintf(err_, "navtool: no datagram on %s within 90 s\n", name_.c_str());
    else
        std::fprintf(err_, "navtool: no connection to %s within 30 s\n", name_.c_str());
    finish(1);
}

void Listener::readNMEASentence(const Bytes& line) {
    if (done_)
        return;
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fflush(out_);
    if (++lines_ == count_)
        finish(0);
}

void Listener::readNMEASentenceOverflow() {
    std::fprintf(err_,
                 "navtool: lines came faster than they could be printed: the rest of a read was dropped\n");
}

void Listener::finish(int status) {
    if (done_)
        return;
    done_ = true;
    status_ = status;
}
