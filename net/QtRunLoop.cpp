#include "net/QtRunLoop.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

namespace {

// A notifier must not be deleted while it is delivering its own event: this names the one that is.
thread_local QSocketNotifier* delivering = nullptr;

void dispose(QSocketNotifier* notifier) {
    notifier->setEnabled(false);
    if (notifier == delivering)
        notifier->deleteLater();
    else
        delete notifier;
}

} // namespace

class QtRunLoop::NotifierSource : public RunLoop::Source {
public:
    NotifierSource(int fd, SourceHandler handler)
        : handler_(std::make_shared<SourceHandler>(std::move(handler))),
          read_(new QSocketNotifier(fd, QSocketNotifier::Read)),
          write_(new QSocketNotifier(fd, QSocketNotifier::Write)) {
        write_->setEnabled(false);
        connect(read_, true, false);
        connect(write_, false, true);
    }
    ~NotifierSource() override {
        dispose(read_);
        dispose(write_);
    }
    void setReadEnabled(bool on) override { read_->setEnabled(on); }
    void setWriteEnabled(bool on) override { write_->setEnabled(on); }

private:
    void connect(QSocketNotifier* notifier, bool readable, bool writable) {
        // The handler is shared so that it outlives a source removed from inside it.
        std::shared_ptr<SourceHandler> handler = handler_;
        QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                         [notifier, handler, readable, writable] {
                             QSocketNotifier* const outer = delivering;
                             delivering = notifier;
                             (*handler)(readable, writable);
                             delivering = outer;
                         });
    }

    std::shared_ptr<SourceHandler> handler_;
    QSocketNotifier* read_;
    QSocketNotifier* write_;
};

class QtRunLoop::OneShot : public RunLoop::Timer {
public:
    OneShot(double seconds, std::function<void()> fired) {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, std::move(fired));
        timer_.start(static_cast<int>(std::max(0.0, seconds) * 1000.0 + 0.5));
    }

private:
    QTimer timer_;
};

std::shared_ptr<RunLoop> QtRunLoop::install() {
    std::shared_ptr<RunLoop> loop = RunLoop::current();
    if (!std::dynamic_pointer_cast<QtRunLoop>(loop)) {
        loop = std::make_shared<QtRunLoop>();
        RunLoop::setCurrent(loop);
    }
    return loop;
}

QtRunLoop::QtRunLoop() : context_(std::make_unique<QObject>()) {
}

QtRunLoop::~QtRunLoop() = default;

std::unique_ptr<RunLoop::Source> QtRunLoop::addSource(int fd, SourceHandler handler) {
    return std::make_unique<NotifierSource>(fd, std::move(handler));
}

std::unique_ptr<RunLoop::Timer> QtRunLoop::addTimer(double seconds, std::function<void()> fired) {
    return std::make_unique<OneShot>(seconds, std::move(fired));
}

bool QtRunLoop::runUntil(const std::function<bool()>& done, double seconds) {
    QDeadlineTimer deadline(static_cast<qint64>(seconds * 1000.0), Qt::PreciseTimer);
    // A short tick lets a condition changed by another thread be seen soon.
    QTimer tick;
    tick.start(5);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

void QtRunLoop::post(std::function<void()> task) {
    QMetaObject::invokeMethod(context_.get(), std::move(task), Qt::QueuedConnection);
}

bool QtRunLoop::isLoopThread() const {
    return QThread::currentThread() == context_->thread();
}
