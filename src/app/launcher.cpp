// Launcher dialog logic: the mode list, preselection for the desktop, the
// option interplay and Run's results.
#include <algorithm>
#include <cstdio>

#include "app/launcher.h"

const Resolution LauncherDialog::kAspects[4] = {{4, 3}, {16, 9}, {16, 10}, {5, 4}};
const int32_t LauncherDialog::kSampleCounts[4] = {0, 2, 4, 8};

namespace {

const DisplaySettings kDefaults{};

int rowOf(const std::vector<Resolution>& list, Resolution r) {
  const auto it = std::find(list.begin(), list.end(), r);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

int aspectRowOf(Resolution r) {
  for (int i = 0; i < 4; ++i) {
    if (LauncherDialog::kAspects[i] == r) return i;
  }
  return -1;
}

void sortModes(std::vector<Resolution>& list) {
  std::stable_sort(list.begin(), list.end(), [](const Resolution& a, const Resolution& b) {
    return a.width != b.width ? a.width < b.width : a.height < b.height;
  });
}

}  // namespace

std::optional<Resolution> exactAspect(int32_t width, int32_t height) {
  if (height == 0) return std::nullopt;
  // Single precision on purpose: 1366 x 768 must not pass for 16:9.
  const float ratio = static_cast<float>(width) / static_cast<float>(height);
  if (ratio == 4.0f / 3.0f) return Resolution{4, 3};
  if (ratio == 1.25f) return Resolution{5, 4};
  if (ratio == 16.0f / 9.0f) return Resolution{16, 9};
  if (ratio == 1.6f) return Resolution{16, 10};
  return std::nullopt;
}

LauncherDialog::LauncherDialog(const std::vector<platform::DisplayMode>& modes, Resolution desktop) {
  for (const platform::DisplayMode& m : modes) {
    if (m.bytesPerPixel != kColourDepthBytes) continue;
    const Resolution r{m.width, m.height};
    if (rowOf(mResolutions, r) < 0) mResolutions.push_back(r);
  }
  sortModes(mResolutions);
  if (!mResolutions.empty()) {
    mResolutionRow = 0;
    const int def = rowOf(mResolutions, Resolution{kDefaults.screenWidth, kDefaults.screenHeight});
    if (def >= 0) mResolutionRow = def;
    const int desk = rowOf(mResolutions, desktop);
    mResolutionRow = desk >= 0 ? desk : static_cast<int>(mResolutions.size()) - 1;
  }
  mAspectRow = aspectRowOf(Resolution{kDefaults.aspectWidth, kDefaults.aspectHeight});
  if (const auto a = exactAspect(desktop.width, desktop.height)) mAspectRow = aspectRowOf(*a);
  mSampleRow = 0;
  mFullScreen = kDefaults.fullScreen;
  mVSync = kDefaults.vSync;
  mBigScreen = kDefaults.bigScreen;
  mLowQuality = kDefaults.lowQuality;
  // Full screen starts checked, so always-on-top starts disabled.
  mAlwaysOnTop = kDefaults.alwaysOnTop;
  if (mFullScreen) {
    mRememberedAlwaysOnTop = mAlwaysOnTop;
    mAlwaysOnTop = false;
  }
}

std::vector<std::string> LauncherDialog::resolutionLabels() const {
  std::vector<std::string> out;
  char buf[48];
  for (const Resolution& r : mResolutions) {
    std::snprintf(buf, sizeof buf, "%d x %d", r.width, r.height);
    out.emplace_back(buf);
  }
  return out;
}

std::vector<std::string> LauncherDialog::aspectLabels() {
  std::vector<std::string> out;
  char buf[32];
  for (const Resolution& a : kAspects) {
    std::snprintf(buf, sizeof buf, "%d : %d", a.width, a.height);
    out.emplace_back(buf);
  }
  return out;
}

std::vector<std::string> LauncherDialog::sampleLabels() {
  std::vector<std::string> out;
  char buf[16];
  for (const int32_t n : kSampleCounts) {
    if (n == 0) {
      out.emplace_back("none");
    } else {
      std::snprintf(buf, sizeof buf, "x %d", n);
      out.emplace_back(buf);
    }
  }
  return out;
}

void LauncherDialog::selectResolution(int row) {
  if (row >= 0 && row < static_cast<int>(mResolutions.size())) mResolutionRow = row;
}

void LauncherDialog::selectAspect(int row) {
  if (row >= 0 && row < 4) mAspectRow = row;
}

void LauncherDialog::selectSamples(int row) {
  if (samplesEnabled() && row >= 0 && row < 4) mSampleRow = row;
}

void LauncherDialog::clickFullScreen() {
  mFullScreen = !mFullScreen;
  if (mFullScreen) {
    mRememberedAlwaysOnTop = mAlwaysOnTop;
    mAlwaysOnTop = false;
  } else {
    mAlwaysOnTop = mRememberedAlwaysOnTop;
  }
}

void LauncherDialog::clickBigScreen() {
  if (bigScreenEnabled()) mBigScreen = !mBigScreen;
}

void LauncherDialog::clickAlwaysOnTop() {
  if (alwaysOnTopEnabled()) mAlwaysOnTop = !mAlwaysOnTop;
}

void LauncherDialog::applyOptions(const LaunchOptions& options) {
  if (options.resolution) {
    int row = rowOf(mResolutions, *options.resolution);
    if (row < 0) {
      mResolutions.push_back(*options.resolution);
      sortModes(mResolutions);
      row = rowOf(mResolutions, *options.resolution);
    }
    mResolutionRow = row;
  }
  if (options.aspect) {
    const int row = aspectRowOf(*options.aspect);
    if (row >= 0) mAspectRow = row;
  }
  if (options.sampleCount) {
    for (int i = 0; i < 4; ++i) {
      if (kSampleCounts[i] == *options.sampleCount) mSampleRow = i;
    }
  }
  if (options.windowed && mFullScreen) clickFullScreen();
  if (options.lowQuality && !mLowQuality) clickLowQuality();
  if (options.noVSync && mVSync) clickVSync();
  if (options.bigScreen && !mBigScreen) mBigScreen = true;
  if (options.alwaysOnTop) {
    // Kept for later when full screen disables the box.
    if (alwaysOnTopEnabled()) {
      mAlwaysOnTop = true;
    } else {
      mRememberedAlwaysOnTop = true;
    }
  }
}

DisplaySettings LauncherDialog::run() const {
  DisplaySettings s;
  if (mResolutionRow >= 0) {
    s.screenWidth = mResolutions[static_cast<size_t>(mResolutionRow)].width;
    s.screenHeight = mResolutions[static_cast<size_t>(mResolutionRow)].height;
  }
  s.aspectWidth = kAspects[mAspectRow].width;
  s.aspectHeight = kAspects[mAspectRow].height;
  s.fullScreen = mFullScreen;
  s.vSync = mVSync;
  s.bigScreen = mBigScreen;
  s.alwaysOnTop = mAlwaysOnTop;
  s.lowQuality = mLowQuality;
  s.sampleCount = mLowQuality ? 0 : kSampleCounts[mSampleRow];
  if (!mFullScreen) {
    if (const auto a = exactAspect(s.screenWidth, s.screenHeight)) {
      s.aspectWidth = a->width;
      s.aspectHeight = a->height;
    }
  }
  return s;
}
