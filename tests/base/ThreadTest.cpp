#include "modules/NativeObjects.h"
#include "base/Timer.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

class Recorder : public Thread {
public:
    explicit Recorder(std::atomic<int>* runs, std::atomic<bool>* deleted = nullptr) : runs_(runs), deleted_(deleted) {}
    ~Recorder() override {
        if (deleted_) *deleted_ = true;
    }
    void run() override {
        seenId = currentThreadId();
        ++*runs_;
    }
    pid_t seenId = 0;

private:
    std::atomic<int>* runs_;
    std::atomic<bool>* deleted_;
};

TEST(ThreadTest, StartReturnsTheSystemIdOfTheNewThread) {
    std::atomic<int> runs{0};
    Recorder worker(&runs);
    pid_t id = worker.start(false);
    worker.join();
    EXPECT_EQ(runs, 1);
    EXPECT_GT(id, 0);
    EXPECT_NE(id, getpid());
    EXPECT_EQ(id, worker.seenId);
    EXPECT_TRUE(worker.finished());
    EXPECT_FALSE(worker.hasThread());
}

TEST(ThreadTest, AnAutoDeleteWorkerDeletesItself) {
    std::atomic<int> runs{0};
    std::atomic<bool> deleted{false};
    (new Recorder(&runs, &deleted))->start(true);
    for (int i = 0; i < 500 && !deleted; ++i) usleep(2000);
    EXPECT_TRUE(deleted);
    EXPECT_EQ(runs, 1);
}

class Counter : public Timer::Proc {
public:
    void timerproc() override {
        int inside = ++concurrent;
        if (inside > 1) overlapped = true;
        usleep(3000);
        ++ticks;
        --concurrent;
    }
    std::atomic<int> ticks{0}, concurrent{0};
    std::atomic<bool> overlapped{false};
};

TEST(TimerTest, RestartingNeverRunsTheTargetOnTwoThreads) {
    Counter counter;
    Timer timer(&counter);
    for (int i = 0; i < 40; ++i) {
        timer.start(1);
        usleep(1500);
    }
    usleep(20000);
    timer.stop();
    int ticks = counter.ticks;
    EXPECT_GT(ticks, 0);
    EXPECT_FALSE(counter.overlapped);
    usleep(10000);
    EXPECT_EQ(counter.ticks, ticks);  // stopped means stopped
}

TEST(TimerTest, AnIdleTimerIsDestroyedWithoutWaiting) {
    Counter counter;
    { Timer timer(&counter); }
    EXPECT_EQ(counter.ticks, 0);
}

TEST(NativeObjectsTest, WorkersAreJoinedWhenTheObjectsGoAway) {
    std::atomic<int> runs{0};
    {
        NativeObjects objects(nullptr);
        for (int i = 0; i < 5; ++i) {
            auto worker = std::make_unique<Recorder>(&runs);
            worker->start(false);
            objects.addWorker(std::move(worker));
        }
    }
    EXPECT_EQ(runs, 5);
}

}  // namespace
