// Thread messages and an auto-reset event: the small set of thread
// primitives the music player's worker is driven by. Header-only, standard
// library only.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

namespace platform {

// Quit message: the receiving thread ends its loop.
inline constexpr uint32_t kThreadQuit = 0x0012;

struct ThreadMessage {
  uint32_t id = 0;
  uintptr_t wParam = 0;
};

// A first-in first-out queue of messages for one receiving thread.
class ThreadMessageQueue {
 public:
  void post(uint32_t id, uintptr_t wParam = 0) {
    std::lock_guard<std::mutex> lock(mMutex);
    mQueue.push_back(ThreadMessage{id, wParam});
  }
  // Removes the oldest message without waiting; false when there is none.
  bool peek(ThreadMessage& out) {
    std::lock_guard<std::mutex> lock(mMutex);
    if (mQueue.empty()) return false;
    out = mQueue.front();
    mQueue.pop_front();
    return true;
  }

 private:
  std::mutex mMutex;
  std::deque<ThreadMessage> mQueue;
};

// An event that releases one waiter and then resets itself.
class AutoResetEvent {
 public:
  void set() {
    {
      std::lock_guard<std::mutex> lock(mMutex);
      mSignalled = true;
    }
    mCondition.notify_one();
  }
  void reset() {
    std::lock_guard<std::mutex> lock(mMutex);
    mSignalled = false;
  }
  // Waits without a time limit until the event is set, then resets it.
  void wait() {
    std::unique_lock<std::mutex> lock(mMutex);
    mCondition.wait(lock, [this] { return mSignalled; });
    mSignalled = false;
  }

 private:
  std::mutex mMutex;
  std::condition_variable mCondition;
  bool mSignalled = false;
};

}  // namespace platform
