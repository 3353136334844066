#include "link/Serial.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kReadAttempts = 10;
constexpr size_t kReadChunk = 4096;
constexpr cc_t kReadTimeoutDeciseconds = 5;
// A read that comes back empty well before the terminal's time-out did not wait: the line is gone.
constexpr auto kAtOnce = std::chrono::milliseconds(250);

std::atomic<const void*> gOwner{nullptr};

speed_t speedCode(const std::string& rate) {
    static const std::pair<const char*, speed_t> rates[] = {
        {"1200", B1200},   {"4800", B4800},   {"9600", B9600},     {"19200", B19200},
        {"38400", B38400}, {"57600", B57600}, {"115200", B115200},
    };
    for (const auto& [text, code] : rates)
        if (rate == text)
            return code;
    return B4800;
}

bool lostErrno(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EBADF || error == EPIPE;
}

bool hungUp(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

// "ttyUSB10" sorts after "ttyUSB9": compare the name, then its trailing number.
bool naturalLess(const std::string& a, const std::string& b) {
    auto split = [](const std::string& s) {
        size_t i = s.size();
        while (i > 0 && s[i - 1] >= '0' && s[i - 1] <= '9')
            --i;
        const std::string digits = s.substr(i);
        return std::make_pair(s.substr(0, i), digits.empty() || digits.size() > 9 ? -1L : std::stol(digits));
    };
    const auto sa = split(a), sb = split(b);
    if (sa != sb)
        return sa < sb;
    return a < b;
}

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

} // namespace

Serial::Serial() : input_(kReadChunk) {
    setOwner(nullptr);
}

Serial::~Serial() {
    closePort();
    setOwner(nullptr);
}

const void* Serial::owner() {
    return gOwner.load();
}
void Serial::setOwner(const void* owner) {
    gOwner.store(owner);
}

std::vector<std::string> Serial::ports() {
    return ports("/sys/class/tty", "/dev");
}

std::vector<std::string> Serial::ports(const std::string& sysClassTty, const std::string& devRoot) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(sysClassTty, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path entry = it->path();
        // Only ports backed by a device; virtual consoles and pseudo-terminals have none.
        if (!fs::exists(entry / "device", ec))
            continue;
        // A UART slot without a chip behind it.
        if (fs::exists(entry / "type", ec) && firstLine(entry / "type") == "0")
            continue;
        std::string name = entry.filename().string();
        std::replace(name.begin(), name.end(), '!', '/');
        if (!fs::exists(fs::path(devRoot) / name, ec))
            continue;
        names.push_back(name);
    }
    std::sort(names.begin(), names.end(), naturalLess);
    return names;
}

std::string Serial::portDescription(const std::string& name) {
    std::error_code ec;
    const fs::path device = fs::path("/dev") / name;
    for (fs::directory_iterator it("/dev/serial/by-id", ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code ec2;
        if (fs::equivalent(it->path(), device, ec2))
            return it->path().filename().string();
    }
    return {};
}

std::string Serial::shortPortName(const std::string& name) {
    static const std::string callout = "/dev/cu.";
    static const std::string dev = "/dev/";
    if (const size_t at = name.find(callout); at != std::string::npos)
        return name.substr(at + callout.size());
    if (name.starts_with(dev))
        return name.substr(dev.size());
    return name;
}

std::string Serial::portPath(const std::string& name) {
    const bool path = name.starts_with("/") || name.starts_with("./") || name.starts_with("../");
    return path ? name : "/dev/" + name;
}

bool Serial::openPort(const std::optional<std::string>& port, const std::optional<std::string>& rate,
                      bool softwareFlowControl, bool hardwareFlowControl) {
    if (!port || !rate || port->empty())
        return false;
    closePort();
    lineLost_ = false;

    const int fd = ::open(portPath(*port).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    // TIOCEXCL keeps other users out, but not root; the advisory lock refuses every second opener.
    if (::ioctl(fd, TIOCEXCL) != 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd); // someone else holds the line: their exclusive flag stays
        return false;
    }
    fd_ = fd;
    if (::fcntl(fd, F_SETFL, 0) != 0) {
        closePort();
        return false;
    }

    termios options{};
    options.c_cflag = CS8 | CREAD | CLOCAL;
    if (hardwareFlowControl)
        options.c_cflag |= CRTSCTS;
    if (softwareFlowControl)
        options.c_iflag = IXON | IXOFF | IXANY;
    options.c_cc[VMIN] = 0;
    options.c_cc[VTIME] = kReadTimeoutDeciseconds;
    const speed_t speed = speedCode(*rate);
    if (::cfsetispeed(&options, speed) != 0 || ::cfsetospeed(&options, speed) != 0 ||
        ::tcsetattr(fd, TCSAFLUSH, &options) != 0) {
        closePort();
        return false;
    }
    flushPort();
    return true;
}

bool Serial::isOpen() const {
    return fd_ >= 0;
}

Serial::Wait Serial::waitReadable(std::chrono::milliseconds timeout, int wakeFd) {
    if (inputPos_ < inputEnd_)
        return Wait::Readable;
    const int fd = fd_;
    if (fd < 0 || lineLost_)
        return Wait::Lost;
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        pollfd p[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        const int n = ::poll(p, wakeFd >= 0 ? 2 : 1, int(std::clamp<long long>(left.count(), 0, INT32_MAX)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || (p[0].revents & POLLNVAL) != 0) {
            lineLost_ = true;
            return Wait::Lost;
        }
        if ((p[1].revents & POLLIN) != 0)
            return Wait::Woken;
        if ((p[0].revents & POLLIN) != 0)
            return Wait::Readable; // what is left before a hang-up is still read
        if ((p[0].revents & (POLLHUP | POLLERR)) != 0) {
            lineLost_ = true;
            return Wait::Lost;
        }
        if (n == 0)
            return Wait::TimedOut;
    }
}

bool Serial::readPortChar(uint8_t* byte) {
    if (byte == nullptr)
        return false;
    if (inputPos_ < inputEnd_) {
        *byte = input_[inputPos_++];
        return true;
    }
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        const int fd = fd_;
        if (fd < 0 || lineLost_)
            return false;
        const auto started = std::chrono::steady_clock::now();
        const ssize_t n = ::read(fd, input_.data(), readAhead_ ? input_.size() : 1);
        const int error = errno;
        if (n > 0) {
            inputEnd_ = static_cast<size_t>(n);
            inputPos_ = 1;
            *byte = input_[0];
            return true;
        }
        if (n < 0 && error == EINTR)
            continue;
        const bool atOnce = std::chrono::steady_clock::now() - started < kAtOnce;
        if ((n < 0 && lostErrno(error)) || hungUp(fd) || (n == 0 && atOnce)) {
            lineLost_ = true;
            return false;
        }
    }
    return false;
}

std::optional<Bytes> Serial::readPortUntilChar(uint8_t endByte, unsigned maxLength) {
    Bytes line;
    if (!isOpen())
        return line;
    uint8_t last = 0;
    while (last != endByte) {
        if (!readPortChar(&last))
            return std::nullopt;
        line.push_back(last);
        if (line.size() >= maxLength)
            return std::nullopt;
    }
    return line;
}

Bytes Serial::readPortForLength(unsigned count) {
    Bytes bytes;
    uint8_t byte = 0;
    while (isOpen() && bytes.size() < count && readPortChar(&byte))
        bytes.push_back(byte);
    return bytes;
}

unsigned Serial::writePort(const Bytes& bytes) {
    return writePort(bytes.data(), bytes.size());
}

unsigned Serial::writePort(const uint8_t* bytes, size_t length) {
    const int fd = fd_;
    if (fd < 0 || bytes == nullptr || length == 0)
        return 0;
    unsigned written = 0;
    for (size_t i = 0; i < length; ++i) {
        ssize_t n;
        do
            n = ::write(fd, bytes + i, 1);
        while (n < 0 && errno == EINTR);
        if (n != 1) {
            if (n < 0 && lostErrno(errno))
                lineLost_ = true;
            break;
        }
        ++written;
    }
    return written;
}

void Serial::flushPort() {
    if (!isOpen())
        return;
    ::tcflush(fd_, TCIOFLUSH);
    inputPos_ = inputEnd_ = 0;
}

void Serial::closePort() {
    inputPos_ = inputEnd_ = 0;
    const int fd = fd_.exchange(-1);
    if (fd < 0)
        return;
    // The exclusive flag outlives this descriptor while another one holds the terminal open.
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
}
