// A small work queue shared by two threads: a producer links jobs into a Collection and signals a
// Waitable; a consumer waits for the signal, takes the jobs from the head under a Mutex and deletes each
// one as it removes it (the jobs consent through their owner flags).

#include <kel/collection.h>
#include <kel/net.h>

#include <cstdio>
#include <thread>

namespace {

class Job : public Kel::Collectable {
public:
    // Owner flags 1: the queue may delete the job when it removes it.
    explicit Job(int number) : Kel::Collectable(1, Kel::String("job")), _number(number) {}
    int number() const { return _number; }

private:
    int _number;
};

struct WorkQueue {
    Kel::Collection jobs;
    // The collection locks its own adds and removes, but reading the head and then removing it must be one
    // step for the consumer: the mutex makes it so, and guards the finished flag.
    Kel::Mutex mutex;
    Kel::Waitable work;
    bool finished = false;
};

void produce(WorkQueue& q, int count) {
    for (int i = 1; i <= count; ++i) {
        q.mutex.lock(); // the consumer reads the head under the same mutex
        q.jobs.addTail(new Job(i));
        q.mutex.unlock();
        q.work.signal();
    }
    q.mutex.lock();
    q.finished = true;
    q.mutex.unlock();
    q.work.signal();
}

// Signals that arrive while the consumer is busy collapse into one, so each wake-up drains the queue.
int consume(WorkQueue& q) {
    int done = 0;
    long sum = 0;
    for (;;) {
        const bool signalled = q.work.wait(1000);
        for (;;) {
            q.mutex.lock();
            Job* job = static_cast<Job*>(q.jobs.next(nullptr));
            const bool finished = q.finished;
            if (!job) {
                q.mutex.unlock();
                if (finished) {
                    return done;
                }
                break;
            }
            const int n = job->number();
            q.jobs.remove(job, 1); // unlinked and deleted
            q.mutex.unlock();
            sum += static_cast<long>(n) * n;
            ++done;
            std::printf("job %2d: %2d squared is %3d, running total %ld\n", n, n, n * n, sum);
        }
        if (!signalled) {
            std::printf("no signal within a second; looking again\n");
        }
    }
}

} // namespace

int main() {
    WorkQueue q;
    int done = 0;
    std::thread consumer([&] { done = consume(q); });
    std::thread producer([&] { produce(q, 12); });
    producer.join();
    consumer.join();
    std::printf("%d jobs done, %lu left in the queue\n", done, q.jobs.count());
    return q.jobs.count() == 0 && done == 12 ? 0 : 1;
}
