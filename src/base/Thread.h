#pragma once

#include <atomic>
#include <pthread.h>
#include <sys/types.h>

// Base of every background activity. run() is the thread body.
// A thread started with autoDelete deletes its own object after run() returns;
// its starter must not touch the object once start() has returned.
class Thread {
public:
    Thread() = default;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    // Does not wait for the body and stops nothing; a thread still attached is detached.
    virtual ~Thread();

    virtual void run() = 0;

    // Starts the body on a new system thread and returns its system id (gettid),
    // or 0 when the thread could not be created (the body then never runs).
    pid_t start(bool autoDelete);
    // Waits for the body of a thread started without autoDelete; no-op when none.
    void join();
    bool hasThread() const { return attached_; }
    bool finished() const { return finished_.load(); }
    pid_t threadId() const { return tid_; }
    bool isCurrentThread() const;

private:
    static void* startRoutine(void* arg);

    pthread_t handle_{};
    bool attached_ = false;
    bool autoDelete_ = false;
    pid_t tid_ = 0;
    std::atomic<bool> finished_{false};
};

// The system id of the calling thread.
pid_t currentThreadId();
