#include "launcher/shell/worker_thread.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>

namespace {

// Had the first worker's exception left its thread, std::terminate would end the program before the
// second one ran. The detached workers own their end of the promise, since they may outlive the test.
TEST(StartDetachedWorker, AnExceptionEndsTheWorkerOnly) {
    auto thrown = std::make_shared<std::promise<void>>(), second = std::make_shared<std::promise<void>>();
    auto thrownDone = thrown->get_future(), secondDone = second->get_future();
    ASSERT_TRUE(launcher::startDetachedWorker([thrown] {
        thrown->set_value();
        throw std::runtime_error("worker failed");
    }));
    ASSERT_EQ(thrownDone.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    ASSERT_TRUE(launcher::startDetachedWorker([second] { second->set_value(); }));
    EXPECT_EQ(secondDone.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

} // namespace
