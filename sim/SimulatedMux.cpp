#include "sim/SimulatedMux.h"

#include "sim/SimulatedMuxImpl.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using namespace simline;

void SimulatedMux::Impl::fail(std::string why) {
    std::lock_guard lock(mutex);
    error = std::move(why);
}

bool SimulatedMux::Impl::openTerminal() {
    UniqueFd m(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!m) {
        fail("cannot create a pseudo-terminal");
        return false;
    }
    // Raw before anyone can open it: an echo would hand the device its own lines back as
    // commands, and CR LF must pass unchanged.
    termios t{};
    if (::tcgetattr(m.get(), &t) == 0) {
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        ::cfsetispeed(&t, B4800);
        ::cfsetospeed(&t, B4800);
        ::tcsetattr(m.get(), TCSANOW, &t);
    }
    char name[128];
    if (::grantpt(m.get()) != 0 || ::unlockpt(m.get()) != 0 || ::ptsname_r(m.get(), name, sizeof name) != 0) {
        fail("cannot unlock the pseudo-terminal");
        return false;
    }
    UniqueFd h(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!h) {
        fail(std::string("cannot open ") + name);
        return false;
    }
    // Opened after our own descriptor, so only the others' opens and closes count.
    UniqueFd watch(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!watch || ::inotify_add_watch(watch.get(), name, IN_OPEN | IN_CLOSE) < 0) {
        fail(std::string("cannot watch ") + name);
        return false;
    }
    master = std::move(m);
    held = std::move(h);
    opens = std::move(watch);
    holders = 0;
    unheard = 0;
    std::lock_guard lock(mutex);
    slavePath = name;
    device.resetInput();
    return true;
}

void SimulatedMux::Impl::closeTerminal() {
    // Closing the master hangs the line up: the console's reads fail at once.
    opens.reset();
    held.reset();
    master.reset();
}

bool SimulatedMux::Impl::placeLink() {
    const std::string& link = options.linkPath;
    if (link.empty())
        return true;
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        fail(link + " exists and is not a symbolic link");
        return false;
    }
    std::string target;
    {
        std::lock_guard lock(mutex);
        target = slavePath;
    }
    // Swapped in whole, as a device node reappears: nobody sees the name missing or half made.
    const std::string fresh = link + ".new" + std::to_string(::getpid());
    ::unlink(fresh.c_str());
    if (::symlink(target.c_str(), fresh.c_str()) != 0 || ::rename(fresh.c_str(), link.c_str()) != 0) {
        ::unlink(fresh.c_str());
        fail("cannot make the link " + link);
        return false;
    }
    return true;
}

void SimulatedMux::Impl::removeLink() {
    const std::string& link = options.linkPath;
    if (link.empty())
        return;
    char target[256];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    std::lock_guard lock(mutex);
    if (n > 0 && std::string(target, static_cast<size_t>(n)) == slavePath)
        ::unlink(link.c_str()); // only our own link, as a device node goes with its device
}

void SimulatedMux::Impl::startThread() {
    out.clear();
    outPos = 0;
    {
        std::lock_guard lock(mutex);
        replies.clear();
        replyBytes = 0;
    }
    stopping = false;
    thread = std::thread([this] { run(); });
}

void SimulatedMux::Impl::stopThread() {
    if (!thread.joinable())
        return;
    stopping = true;
    wakeUp();
    thread.join();
}

void SimulatedMux::Impl::wakeUp() const {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake.get(), &one, sizeof one);
}

SimulatedMux::SimulatedMux(SimOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {
}

bool SimulatedMux::Impl::plugIn() {
    if (!openTerminal())
        return false;
    if (!placeLink()) {
        closeTerminal();
        return false;
    }
    startThread();
    plugged = true;
    return true;
}

void SimulatedMux::Impl::pullOut() {
    if (!plugged)
        return;
    stopThread();
    removeLink();
    closeTerminal();
    plugged = false;
}

SimulatedMux::~SimulatedMux() {
    stop();
}

bool SimulatedMux::start() {
    std::lock_guard lifecycle(impl_->lifecycle);
    if (impl_->started)
        return true;
    if (!impl_->wake) {
        impl_->fail("cannot make an event descriptor");
        return false;
    }
    const SimOptions& options = impl_->options;
    if (!impl_->traffic) {
        if (options.traffic) {
            impl_->traffic = options.traffic;
        } else if (!options.logFile.empty()) {
            std::string why;
            auto log = LogTraffic::fromFile(options.logFile, &why);
            if (!log) {
                impl_->fail(why);
                return false;
            }
            impl_->traffic = std::move(log);
        } else if (options.linesPerSecond > 0) {
            impl_->traffic = std::make_shared<InstrumentTraffic>();
        }
    }
    if (!impl_->plugIn())
        return false;
    impl_->started = true;
    return true;
}

void SimulatedMux::stop() {
    std::lock_guard lifecycle(impl_->lifecycle);
    if (!impl_->started)
        return;
    impl_->pullOut();
    impl_->started = false;
}

std::string SimulatedMux::portPath() const {
    if (!impl_->options.linkPath.empty())
        return impl_->options.linkPath;
    std::lock_guard lock(impl_->mutex);
    return impl_->slavePath;
}

void SimulatedMux::unplug() {
    std::lock_guard lifecycle(impl_->lifecycle);
    if (impl_->started)
        impl_->pullOut();
}

bool SimulatedMux::replug() {
    std::lock_guard lifecycle(impl_->lifecycle);
    if (!impl_->started)
        return false;
    impl_->pullOut();
    return impl_->plugIn();
}

MuxState SimulatedMux::state() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->device.state();
}

Bytes SimulatedMux::received() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->received;
}

void SimulatedMux::clearReceived() {
    std::lock_guard lock(impl_->mutex);
    impl_->received.clear();
}

void SimulatedMux::sendRaw(const std::string& bytes) {
    if (bytes.empty())
        return;
    {
        std::lock_guard lock(impl_->mutex);
        impl_->replyBytes += bytes.size();
        impl_->replies.push_back(bytes);
    }
    impl_->wakeUp();
}

bool SimulatedMux::exclusiveClaim() const {
    int exclusive = 0;
    std::lock_guard lifecycle(impl_->lifecycle);
    return impl_->held && ::ioctl(impl_->held.get(), TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

unsigned long SimulatedMux::receivedLines() const {
    return impl_->lineFeeds;
}

unsigned long SimulatedMux::droppedLines() const {
    return impl_->dropped;
}

std::string SimulatedMux::lastError() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->error;
}
