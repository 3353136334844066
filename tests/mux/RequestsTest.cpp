// The requests' wake-up, between the main thread that publishes and the reader that takes.

#include "mux/Requests.h"

#include <gtest/gtest.h>

#include <atomic>
#include <poll.h>
#include <thread>

namespace {

bool awake(const Requests& requests) {
    pollfd p{requests.wakeFd(), POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
}

// The reader takes while the main thread keeps publishing: a wake-up it sees always has work
// behind it. One left over once the work was taken would end each wait on the line at once, and
// the reader would spin without ever reading the device.
TEST(MuxRequests, AWakeUpAlwaysAnnouncesWorkToTake) {
    Requests requests;
    std::atomic<bool> done{false};
    std::atomic<int> stale{0};
    std::thread reader([&] {
        while (!done || requests.published() != 0) {
            if (requests.published() != 0) {
                requests.take();
            } else if (awake(requests) && requests.published() == 0) {
                ++stale;
                requests.take();
            }
        }
    });
    for (int i = 0; i < 20000; ++i) {
        requests.talkerIDs(TalkerIDs{});
        requests.publish();
    }
    done = true;
    reader.join();
    EXPECT_EQ(stale, 0);
    EXPECT_FALSE(awake(requests));

    requests.interrupt(); // the reader is to stop: one wait ends, the next waits again
    requests.wait(std::chrono::milliseconds(0));
    EXPECT_FALSE(awake(requests));
}

} // namespace
