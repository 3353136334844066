#include "net/RunLoop.h"

namespace {
thread_local std::weak_ptr<RunLoop> currentLoop;
}

std::shared_ptr<RunLoop> RunLoop::current() {
    return currentLoop.lock();
}

void RunLoop::setCurrent(const std::shared_ptr<RunLoop>& loop) {
    currentLoop = loop;
}
