// The frame pool: buffers allocated once, cycled between the render thread
// and the writer threads; and its PNG writer.
#include <algorithm>

#include "capture/capture.h"
#include "texture/texture.h"

FramePool::FramePool(uint32_t width, uint32_t height, unsigned workers, unsigned buffers,
                     WriteFrame write)
    : mWidth(width), mHeight(height), mWrite(std::move(write)) {
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
  for (unsigned i = 0; i < workers; ++i) mWorkers.emplace_back(&FramePool::workerMain, this);
}

FramePool::~FramePool() {
  std::string ignored;
  finish(ignored);
}

uint8_t* FramePool::acquire() {
  std::unique_lock<std::mutex> lock(mMutex);
  if (mFreeBuffers.empty()) ++mWaits;
  ++mWaiting;
  mFree.wait(lock, [this] { return !mFreeBuffers.empty(); });
  --mWaiting;
  uint8_t* buffer = mFreeBuffers.back();
  mFreeBuffers.pop_back();
  return buffer;
}

void FramePool::submit(uint8_t* buffer, uint64_t index) {
  {
    std::lock_guard<std::mutex> lock(mMutex);
    mJobs[(mJobHead + mJobCount) % mJobs.size()] = Job{buffer, index};
    ++mJobCount;
  }
  mWork.notify_one();
}

bool FramePool::failed() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return !mError.empty();
}

uint64_t FramePool::written() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mWritten;
}

uint64_t FramePool::waits() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mWaits;
}

unsigned FramePool::waitingForBuffer() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mWaiting;
}

void FramePool::workerMain() {
  std::string reason;
  for (;;) {
    Job job{};
    bool failed = false;
    {
      std::unique_lock<std::mutex> lock(mMutex);
      mWork.wait(lock, [this] { return mStopping || mJobCount > 0; });
      if (mJobCount == 0) return;  // stopping with nothing left
      job = mJobs[mJobHead];
      mJobHead = (mJobHead + 1) % mJobs.size();
      --mJobCount;
      failed = !mError.empty();
    }
    bool ok = false;
    if (!failed) {
      if (beforeWrite) beforeWrite(job.index);
      ok = mWrite(job.buffer, job.index, reason);
    }
    {
      std::lock_guard<std::mutex> lock(mMutex);
      if (ok) {
        ++mWritten;
      } else if (mError.empty()) {
        mError = reason;
      }
      mFreeBuffers.push_back(job.buffer);
    }
    mFree.notify_one();
  }
}

bool FramePool::finish(std::string& reason) {
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

// ---------------------------------------------------------------------------

PngFramePool::PngFramePool(const std::string& dir, uint32_t width, uint32_t height,
                           unsigned workers, unsigned buffers)
    : FramePool(width, height, workers, buffers,
                [dir, width, height](const uint8_t* buffer, uint64_t index, std::string& reason) {
                  PngImage image;
                  image.pixels = buffer;
                  image.width = width;
                  image.height = height;
                  image.stride = static_cast<size_t>(width) * 4;
                  image.bottomUp = true;
                  image.keepAlpha = false;
                  // Compression speed over size: the frames are a video's raw
                  // material.
                  image.fast = true;
                  const std::string path = captureFramePath(dir, index);
                  if (writePngFile(path.c_str(), image, reason)) return true;
                  reason = path + ": " + reason;
                  return false;
                }) {}

unsigned PngFramePool::defaultWorkers() {
  const unsigned cores = std::thread::hardware_concurrency();
  return std::clamp(cores, 1u, 8u);
}
