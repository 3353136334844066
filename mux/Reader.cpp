#include "mux/Reader.h"

#include <QMetaObject>

#include <future>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr unsigned kLineLimit = 256; // a line of 255 bytes, line feed included, is the longest

} // namespace

Reader::Reader(ReaderClient& client, GPSTransfer& sender, const NMEA::HandlerTable& handlers,
               const ProgramDescriptor& program, ReaderTimes times)
    : client_(client), sender_(sender), handlers_(handlers), program_(program), times_(times),
      retryDelay_(times.retryFirst) {
    opener_ = [](const std::string& port, const std::string& rate) -> std::shared_ptr<Serial> {
        auto serial = std::make_shared<Serial>();
        if (!serial->openPort(port, rate, false, false))
            return nullptr;
        return serial;
    };
}

Reader::~Reader() {
    {
        std::lock_guard lock(stopLock_);
        stopping_ = true;
    }
    stopped_.notify_all();
    requests_.interrupt();
    if (thread_.joinable())
        thread_.join();
    closePort();
}

void Reader::start() {
    if (!thread_.joinable())
        thread_ = std::thread([this] { run(); });
}

void Reader::addLineObserver(LineObserver observer) {
    std::lock_guard lock(observerLock_);
    auto next = std::make_shared<Observers>(*observers_);
    next->lines.push_back(std::move(observer));
    observers_ = std::move(next);
}

void Reader::addTurnObserver(TurnObserver observer) {
    std::lock_guard lock(observerLock_);
    auto next = std::make_shared<Observers>(*observers_);
    next->turns.push_back(std::move(observer));
    observers_ = std::move(next);
}

std::shared_ptr<const Reader::Observers> Reader::observers() const {
    std::lock_guard lock(observerLock_);
    return observers_;
}

void Reader::run() {
    requests_.take(); // what was asked before the reader ran is not for it
    {
        std::unique_lock lock(stopLock_);
        if (stopped_.wait_for(lock, times_.startDelay, [this] { return stopping_.load(); }))
            return;
    }
    if (!runOnMain([this] { client_.readerStarted(); }))
        return;
    while (!stopping_) {
        if (requests_.published() != 0)
            execute(requests_.take());
        if (stopping_)
            return;
        if (serial_)
            turn();
        else
            idle();
    }
}

void Reader::execute(const ReaderWork& work) {
    if (work.open && work.port && !work.port->empty()) {
        retrying_ = false;
        retryDelay_ = times_.retryFirst;
        closePort();
        postToMain([this] { client_.portOpening(); });
        if (open(*work.port, work.rate.value_or(""))) {
            announce();
        } else if (work.await) {
            portName_ = *work.port;
            rateText_ = work.rate.value_or("");
            backOff();
            postToMain([this, port = *work.port] { client_.portAwaited(port); });
        } else {
            postToMain([this, port = *work.port] { client_.portFailed(port); });
        }
    }
    for (const Outgoing& out : requestSentences(program_, work.device))
        sender_.sendNMEACommand(out.sentence);
}

bool Reader::open(const std::string& port, const std::string& rate) {
    ++openAttempts_;
    auto serial = opener_(port, rate);
    if (!serial || !serial->isOpen())
        return false;
    serial->setReadAhead(true); // one system call per burst, not per byte
    serial_ = serial;
    sender_.setPort(serial, port, rate);
    connected_ = true;
    portName_ = port;
    rateText_ = rate;
    openedAt_ = Clock::now();
    announced_ = false;
    return true;
}

void Reader::closePort() {
    if (!serial_)
        return;
    sender_.setPort(nullptr);
    connected_ = false;
    serial_->closePort();
    serial_.reset();
}

void Reader::announce() {
    announced_ = true;
    retrying_ = false;
    retryDelay_ = times_.retryFirst;
    postToMain([this, port = portName_, rate = rateText_] { client_.portOpened(port, rate); });
}

void Reader::backOff() {
    retrying_ = true;
    retryAt_ = Clock::now() + retryDelay_;
    retryDelay_ = std::min(retryDelay_ * 2, times_.retryLongest);
}

// The line went away. Said once; then the port is tried again, less often while it keeps
// failing, and a line that drops again before it proved itself says nothing more.
void Reader::lose() {
    const bool wasUp = announced_;
    closePort();
    if (wasUp) {
        postToMain([this, port = portName_] { client_.lineLost(port); });
        retryDelay_ = times_.retryFirst;
    }
    backOff();
}

void Reader::idle() {
    if (!retrying_) {
        requests_.wait(times_.idleWait);
        return;
    }
    if (Clock::now() >= retryAt_) {
        if (open(portName_, rateText_))
            return;
        backOff();
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(retryAt_ - Clock::now());
    requests_.wait(std::clamp(left, 0ms, times_.idleWait));
}

void Reader::turn() {
    auto timeout = times_.silence;
    if (!announced_) // a reopened line proves itself by a line or by staying up this long
        timeout = std::max(
            0ms, std::chrono::ceil<std::chrono::milliseconds>(openedAt_ + times_.retryFirst - Clock::now()));
    switch (serial_->waitReadable(timeout, requests_.wakeFd())) {
    case Serial::Wait::Woken:
        return;
    case Serial::Wait::Lost:
        lose();
        return;
    case Serial::Wait::TimedOut:
        if (!announced_)
            announce();
        else
            notifyTurn(false);
        return;
    case Serial::Wait::Readable:
        break;
    }
    auto line = serial_->readPortUntilChar('\n', kLineLimit);
    if (!line && serial_->lineLost()) {
        lose();
        return;
    }
    if (!announced_)
        announce();
    if (!line || line->empty()) {
        notifyTurn(false);
        return;
    }
    const auto watching = observers();
    for (const auto& observer : watching->lines)
        observer(*line);
    dispatch(std::move(*line));
    notifyTurn(true);
}

void Reader::notifyTurn(bool lineRead) {
    const auto watching = observers();
    for (const auto& observer : watching->turns)
        observer(lineRead);
}

void Reader::dispatch(Bytes line) {
    line.push_back(0);
    if (!NMEA::checkSumValid(&line))
        return;
    auto handler = NMEA::nmeaWithKey(NMEA::address(line, 5, 2), &handlers_);
    if (!handler) {
        if (line.size() >= 7) // too short to carry a reply type: no handler at all
            client_.unhandledLine(std::move(line));
        return;
    }
    auto sentence = std::make_shared<Bytes>(std::move(line));
    runOnMain([handler, sentence] { handler->selector()(*sentence); });
}

bool Reader::runOnMain(std::function<void()> fn) {
    ++mainWaits_;
    auto task = std::make_shared<std::packaged_task<void()>>(std::move(fn));
    auto done = task->get_future();
    QMetaObject::invokeMethod(
        &context_, [task] { (*task)(); }, Qt::QueuedConnection);
    while (done.wait_for(20ms) != std::future_status::ready)
        if (stopping_)
            return false;
    try {
        done.get();
    } catch (const std::future_error&) {
        return false; // dropped at tear-down
    }
    return true;
}

void Reader::postToMain(std::function<void()> fn) {
    QMetaObject::invokeMethod(&context_, std::move(fn), Qt::QueuedConnection);
}
