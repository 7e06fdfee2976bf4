#include "launcher/shell/worker_thread.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>

namespace {

// The detached worker may outlive the test, so it owns its end of the promise.
template <typename T> using SharedPromise = std::shared_ptr<std::promise<T>>;

TEST(StartDetachedWorker, RunsTheBodyOnAnotherThread) {
    auto ran = std::make_shared<std::promise<std::thread::id>>();
    auto ranOn = ran->get_future();
    ASSERT_TRUE(launcher::startDetachedWorker([ran] { ran->set_value(std::this_thread::get_id()); }));
    ASSERT_EQ(ranOn.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_NE(ranOn.get(), std::this_thread::get_id());
}

TEST(StartDetachedWorker, ExceptionEndsTheWorkerOnly) {
    SharedPromise<void> thrown = std::make_shared<std::promise<void>>();
    auto done = thrown->get_future();
    ASSERT_TRUE(launcher::startDetachedWorker([thrown] {
        thrown->set_value();
        throw std::runtime_error("worker failed");
    }));
    ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    // Had the exception left the thread, std::terminate would end the program before this worker ran.
    SharedPromise<void> second = std::make_shared<std::promise<void>>();
    auto secondDone = second->get_future();
    ASSERT_TRUE(launcher::startDetachedWorker([second] { second->set_value(); }));
    EXPECT_EQ(secondDone.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

} // namespace
