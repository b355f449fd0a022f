// The PNG frame pool: buffers allocated once, cycled between the render
// thread and the writer threads.
#include <algorithm>

#include "capture/capture.h"
#include "texture/texture.h"

PngFramePool::PngFramePool(std::string dir, uint32_t width, uint32_t height, unsigned workers,
                           unsigned buffers)
    : mDir(std::move(dir)), mWidth(width), mHeight(height) {
  workers = std::max(1u, workers);
  buffers = std::max(1u, buffers);
  mStorage.reserve(buffers);
  mFreeBuffers.reserve(buffers);
  // A ring: there are never more jobs queued than buffers.
  mJobs.resize(buffers);
  for (unsigned i = 0; i < buffers; ++i) {
    mStorage.emplace_back(new uint8_t[bufferBytes()]);
    mFreeBuffers.push_back(mStorage.back().get());
  }
  for (unsigned i = 0; i < workers; ++i) mWorkers.emplace_back(&PngFramePool::workerMain, this);
}

PngFramePool::~PngFramePool() {
  std::string ignored;
  finish(ignored);
}

unsigned PngFramePool::defaultWorkers() {
  const unsigned cores = std::thread::hardware_concurrency();
  return std::clamp(cores, 1u, 8u);
}

uint8_t* PngFramePool::acquire() {
  std::unique_lock<std::mutex> lock(mMutex);
  if (mFreeBuffers.empty()) ++mWaits;
  ++mWaiting;
  mFree.wait(lock, [this] { return !mFreeBuffers.empty(); });
  --mWaiting;
  uint8_t* buffer = mFreeBuffers.back();
  mFreeBuffers.pop_back();
  return buffer;
}

void PngFramePool::submit(uint8_t* buffer, uint64_t index) {
  {
    std::lock_guard<std::mutex> lock(mMutex);
    mJobs[(mJobHead + mJobCount) % mJobs.size()] = Job{buffer, index};
    ++mJobCount;
  }
  mWork.notify_one();
}

uint64_t PngFramePool::written() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mWritten;
}

uint64_t PngFramePool::waits() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mWaits;
}

unsigned PngFramePool::waitingForBuffer() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mWaiting;
}

void PngFramePool::workerMain() {
  std::string reason;
  for (;;) {
    Job job{};
    {
      std::unique_lock<std::mutex> lock(mMutex);
      mWork.wait(lock, [this] { return mStopping || mJobCount > 0; });
      if (mJobCount == 0) return;  // stopping with nothing left
      job = mJobs[mJobHead];
      mJobHead = (mJobHead + 1) % mJobs.size();
      --mJobCount;
    }
    if (beforeWrite) beforeWrite(job.index);
    PngImage image;
    image.pixels = job.buffer;
    image.width = mWidth;
    image.height = mHeight;
    image.stride = static_cast<size_t>(mWidth) * 4;
    image.bottomUp = true;
    image.keepAlpha = false;
    // Compression speed over size: the frames are a video's raw material.
    image.fast = true;
    const std::string path = captureFramePath(mDir, job.index);
    const bool ok = writePngFile(path.c_str(), image, reason);
    {
      std::lock_guard<std::mutex> lock(mMutex);
      if (ok) {
        ++mWritten;
      } else if (mError.empty()) {
        mError = path + ": " + reason;
      }
      mFreeBuffers.push_back(job.buffer);
    }
    mFree.notify_one();
  }
}

bool PngFramePool::finish(std::string& reason) {
  {
    std::lock_guard<std::mutex> lock(mMutex);
    mStopping = true;
  }
  mWork.notify_all();
  for (std::thread& t : mWorkers) t.join();
  mWorkers.clear();
  std::lock_guard<std::mutex> lock(mMutex);
  reason = mError;
  return mError.empty();
}
