// Work done beside the run's thread: its result or its failure reaches get(), on a thread of its own or,
// where the platform refuses one, on the caller's.

#include "patch/side_task.hpp"
#include "support/thread_grants.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

using gu::patch::SideTask;
using gu::patch::ThreadStarter;

TEST(SideTask, HandsOverItsResultOrItsFailureWhereverItRan) {
    const ThreadStarter refusing = kyrtest::granting_threads(0);
    struct Case {
        const char* name;
        ThreadStarter start;
        bool fails;
        bool on_a_thread_of_its_own;
    };
    const Case cases[] = {
        {"its own thread", {}, false, true},
        {"its own thread, failing", {}, true, true},
        {"thread refused", refusing, false, false},
        {"thread refused, failing", refusing, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::thread::id ran_on;
        SideTask<std::string> task(c.start, [&] {
            ran_on = std::this_thread::get_id();
            if (c.fails) {
                throw std::runtime_error("no index");
            }
            return std::string("index");
        });
        if (c.fails) {
            EXPECT_THROW(task.get(), std::runtime_error);
        } else {
            EXPECT_EQ(task.get(), "index");
        }
        EXPECT_EQ(ran_on != std::this_thread::get_id(), c.on_a_thread_of_its_own);
    }
}

TEST(SideTask, ATaskNeverAskedForIsWaitedForWhenItGoes) {
    bool done = false;
    {
        SideTask<int> task({}, [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            done = true;
            return 1;
        });
    }
    EXPECT_TRUE(done);
}

} // namespace
