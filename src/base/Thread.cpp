#include "base/Thread.h"

#include <semaphore.h>
#include <sys/syscall.h>
#include <unistd.h>

pid_t currentThreadId() { return static_cast<pid_t>(::syscall(SYS_gettid)); }

namespace {
struct StartBlock {
    Thread* thread;
    sem_t ready;
    pid_t tid = 0;
};
}

Thread::~Thread() {
    if (attached_) pthread_detach(handle_);
}

void* Thread::startRoutine(void* arg) {
    auto* block = static_cast<StartBlock*>(arg);
    Thread* self = block->thread;
    pid_t tid = currentThreadId();
    self->tid_ = tid;
    block->tid = tid;
    sem_post(&block->ready);  // the block lives on the starter's stack: not touched after this
    self->run();
    if (self->autoDelete_) {
        delete self;
    } else {
        self->finished_ = true;
    }
    return nullptr;
}

pid_t Thread::start(bool autoDelete) {
    autoDelete_ = autoDelete;
    finished_ = false;
    StartBlock block;
    block.thread = this;
    sem_init(&block.ready, 0, 0);
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    if (autoDelete) pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t handle;
    int rc = pthread_create(&handle, &attr, &Thread::startRoutine, &block);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        sem_destroy(&block.ready);
        return 0;
    }
    if (!autoDelete) {
        handle_ = handle;
        attached_ = true;
    }
    while (sem_wait(&block.ready) != 0) {
    }
    sem_destroy(&block.ready);
    return block.tid;
}

void Thread::join() {
    if (!attached_) return;
    pthread_join(handle_, nullptr);
    attached_ = false;
}

bool Thread::isCurrentThread() const { return tid_ != 0 && tid_ == currentThreadId(); }
