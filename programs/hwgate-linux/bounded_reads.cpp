#include "bounded_reads.h"

#include <condition_variable>
#include <thread>

namespace hwlinux {

struct BoundedReads::Worker {
  std::mutex lock;
  std::condition_variable changed;
  bool hasJob = false;
  bool busy = false;
  bool stop = false;
  uint64_t posted = 0;
  uint64_t done = 0;
  LiveSensor sensor;
  LiveReading reading;
  int result = -1;
  std::thread thread;
};

void BoundedReads::Loop(std::shared_ptr<Worker> worker, SensorSource* source) {
  std::unique_lock<std::mutex> lock(worker->lock);
  for (;;) {
    worker->changed.wait(lock, [&] { return worker->hasJob || worker->stop; });
    if (!worker->hasJob) return;
    worker->hasJob = false;
    worker->busy = true;
    const LiveSensor sensor = worker->sensor;
    const uint64_t job = worker->posted;
    lock.unlock();
    LiveReading reading;
    const int result = source->ReadSensor(sensor, &reading);
    lock.lock();
    worker->busy = false;
    worker->reading = reading;
    worker->result = result;
    worker->done = job;
    worker->changed.notify_all();
  }
}

BoundedReads::~BoundedReads() {
  for (auto& [source, worker] : workers_) {
    std::unique_lock<std::mutex> lock(worker->lock);
    worker->stop = true;
    worker->hasJob = false;
    const bool stuck = worker->busy;
    worker->changed.notify_all();
    lock.unlock();
    // A thread inside a read that never returns cannot be joined; it holds its own share of
    // the worker, and the process ends around it.
    if (stuck) {
      worker->thread.detach();
    } else {
      worker->thread.join();
    }
  }
}

int BoundedReads::Read(SensorSource* source, const LiveSensor& sensor, LiveReading* out) {
  *out = LiveReading();
  const auto deadline = std::chrono::steady_clock::now() + limit_;
  std::shared_ptr<Worker> worker;
  {
    std::lock_guard<std::mutex> lock(lock_);
    std::shared_ptr<Worker>& slot = workers_[source];
    if (!slot) {
      slot = std::make_shared<Worker>();
      slot->thread = std::thread(&BoundedReads::Loop, slot, source);
    }
    worker = slot;
  }
  std::unique_lock<std::mutex> lock(worker->lock);
  bool answered = worker->changed.wait_until(lock, deadline, [&] { return !worker->hasJob && !worker->busy; });
  uint64_t job = 0;
  if (answered) {
    worker->sensor = sensor;
    worker->hasJob = true;
    job = ++worker->posted;
    worker->changed.notify_all();
    answered = worker->changed.wait_until(lock, deadline, [&] { return worker->done == job; });
  }
  if (!answered) {
    lock.unlock();
    std::lock_guard<std::mutex> count(lock_);
    ++timedOut_;
    return -1;
  }
  *out = worker->reading;
  return worker->result;
}

uint32_t BoundedReads::timedOut() const {
  std::lock_guard<std::mutex> lock(lock_);
  return timedOut_;
}

}  // namespace hwlinux
