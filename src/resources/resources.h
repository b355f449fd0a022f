// Resources: reference-counted objects keyed by pack entry name, the manager
// that creates, caches and releases them, and the loading-screen progress it
// drives while the show is loaded. Main thread only; counts are plain ints.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/core.h"

class CoreFileStream;

// Base of every loadable asset. A resource is created by resourceManager on
// the first request of its name and destroyed by resourceManager::release
// when its count returns to 0; nobody else deletes it.
class resourceObject : public CoreObject {
  VESPER_DECLARE_DYNAMIC(resourceObject)
 public:
  resourceObject() = default;
  virtual ~resourceObject() = default;

  // The common first step of every derived load: unload, then take the name
  // and base name from the stream. Derived classes call it first.
  virtual bool load(CoreFileStream& stream);
  // Whether this class reads the stream's file (by extension). Base: false.
  virtual bool canLoad(CoreFileStream& stream);
  // Frees what load built; false when there was nothing to free.
  virtual bool unload();
  // Opens the own name again and loads it; false for an empty entry.
  virtual bool reload();
  // Exchanges what this resource and `other`, a resource of the same class,
  // loaded; the names stay. How a reload replaces a resource in place: every
  // holder keeps its pointer and sees the new version. Base: false, nothing
  // exchanged (a class that cannot be replaced in place).
  virtual bool swapContents(resourceObject& other);

  // Why the last load did not use its file as written (an effect that fell
  // back, a texture that did not decode); empty when it did. Line 0: none.
  const std::string& problem() const { return mProblem; }
  int problemLine() const { return mProblemLine; }

  resourceObject* addRef() {
    ++refCount;
    return this;
  }
  const std::string& getName() const { return name; }
  const std::string& getBaseName() const { return baseName; }

  int32_t refCount = 0;

 protected:
  std::string name;      // the pack entry name; the cache key
  std::string baseName;  // name without directory and extension
  // Set by a derived load that meets a problem; load() clears it.
  void setProblem(int line, std::string reason) {
    mProblemLine = line;
    mProblem = std::move(reason);
  }
  // The base part of swapContents, for derived classes to call.
  void swapProblem(resourceObject& other) {
    std::swap(mProblem, other.mProblem);
    std::swap(mProblemLine, other.mProblemLine);
  }

 private:
  std::string mProblem;
  int mProblemLine = 0;
};

// The pack entry a resource request reads: a name containing ".mqo" is
// served from its binary model, the text after the last "." replaced by
// "bmdl"; any other name is its own entry.
std::string resourceEntryName(const char* pName);

// True when the stream's extension equals one of `extensions`, ignoring
// ASCII letter case. The canLoad rule of every resource class.
bool hasExtension(const CoreFileStream& stream, std::initializer_list<const char*> extensions);

// "data\texture\light1.png" -> "light1": drops everything up to the last
// backslash, slash or colon, then the extension.
std::string resourceBaseName(const std::string& entryName);

// The word reader of scene animation files over [text, text + size): words
// split at whitespace (space, tab, CR, LF, VT, FF), each cut again at its
// first "(", ")" or space, the rest of the word becoming the start of the
// next token. A NUL byte ends the text. Never reads outside the range.
// Tokens are views into the text, valid while the text lives.
class SceneTokenReader {
 public:
  SceneTokenReader(const char* text, size_t size);
  // The next token; false, with an empty token, once the text is exhausted.
  bool next(std::string_view& token);
  // Skips a block: reads whole words (not cut; the pending rest of the last
  // word counts as one), "{" counting up and "}" down, until the count is
  // back at 0. The first word is expected to be "{"; any other ends it.
  void skipBlock();
  // Bytes not read yet, the pending rest included.
  size_t remaining() const { return mPending.size() + static_cast<size_t>(mEnd - mP); }

 private:
  bool nextWord(std::string_view& word);

  const char* mP;
  const char* mEnd;
  std::string_view mPending;  // the rest of the word last cut
};

// Number of model lines in the model block of a scene animation file (every
// token there that contains ".mqo", commented entries included), up to "Eof"
// or the end of the text.
int countSceneModels(const char* text, size_t size);
// The same for the pack entry `pName`. A name that is not in the pack is a
// critical error.
int countSceneModels(const char* pName);

// Frame clearing and presentation for the loading screen, so progress can be
// drawn before (and without) a window. The default does nothing; the show
// installs one that clears with GL and swaps the window's buffers.
class LoadingPresenter {
 public:
  virtual ~LoadingPresenter() = default;
  // Clears colour to black (0, 0, 0, 1) and the depth buffer.
  virtual void clearFrame() = 0;
  // Shows the drawn frame (buffer swap).
  virtual void presentFrame() = 0;
};

// What the loading screen draws; the show layer adapts its loader scene.
class LoadingScene {
 public:
  virtual ~LoadingScene() = default;
  // Draws one frame at loading progress `progress` (0 to 1).
  virtual void draw(float progress) = 0;
};

class resourceManager : public Interface<resourceManager> {
  VESPER_DECLARE_DYNAMIC(resourceManager)
 public:
  static resourceManager& instance();
  resourceManager();
  ~resourceManager() override;
  // Releases the preloaded set and the loading scene while the texture
  // manager and the GL context still exist (static destruction is too late).
  bool terminate() override;

  // The resource of `pName` with one reference added for the caller, or null
  // (empty entry, or no class loads it). A name containing ".mqo" is read
  // from its ".bmdl" entry. A name missing from the pack is a critical error.
  // The caller must release the reference exactly once (see ResourceRef).
  virtual resourceObject* load(const char* pName);
  // Loads `resource`'s entry again into a new object of its class and, when
  // that load succeeds without a problem, exchanges the two contents
  // (swapContents): every holder sees the new version. Otherwise the
  // resource keeps what it had, and `problem` and `line` say why. No loading
  // screen is drawn meanwhile. A critical error met while loading is
  // raised as usual (see CoreDebug::setCriticalHandler), nothing leaked.
  bool reloadInPlace(resourceObject& resource, std::string& problem, int& line);

  // Drops one reference; at 0 the resource leaves the cache and is destroyed.
  // Null is ignored.
  void release(resourceObject* resource);

  // Scene animation files to load before the show; equal names kept once.
  void registerPreload(const char* pName);
  // progressStep := 1 / (models listed in all preload files); 0 without any.
  void computeProgressStep();
  // Releases the held set, then loads every preload name into it (null for
  // names that do not load). Resources cached by other holders are shared.
  void loadPreloads();
  // Releases the held set, forgets the preload names and puts the progress
  // back to 0, for a loading sequence that starts over.
  void clearPreloads();

  // Replaces (and destroys) the loading scene and draws the new one once
  // with t = 0, then presents; the manager owns the scene.
  void setLoadingScene(std::unique_ptr<LoadingScene> scene);
  LoadingScene* loadingScene() const { return mLoadingScene.get(); }
  // After each model a scene animation file loads: progress += step, then,
  // with a loading scene, clear, draw it with t = progress, present.
  void advanceProgress();
  float getProgress() const { return mProgress; }
  float getProgressStep() const { return mProgressStep; }

  // Not owned; must outlive its use. Null restores the do-nothing default.
  void setLoadingPresenter(LoadingPresenter* presenter);

  // Read-only views for diagnostics and tests.
  const std::vector<resourceObject*>& cachedResources() const { return mCache; }
  const std::vector<std::string>& preloadNames() const { return mPreloadNames; }
  const std::vector<resourceObject*>& heldResources() const { return mHeld; }

  // Load time by kind (the loading class's name, or "pack open",
  // "loading screen", "not loaded"), each load's own time without the loads
  // nested in it. Gathered only while enabled (for benchmarks); enabling
  // clears the figures.
  struct LoadTime {
    std::string kind;
    double seconds = 0.0;
    uint32_t count = 0;
  };
  void setLoadTiming(bool on);
  const std::vector<LoadTime>& loadTimes() const { return mLoadTimes; }

 private:
  resourceObject* loadEntry(const char* pName);
  void drawLoadingScene(float t);
  void releaseHeld();
  // Adds `seconds` to `kind` and to the time the enclosing load excludes.
  void addLoadTime(const char* kind, double seconds);

  std::vector<resourceObject*> mCache;  // every live resource, in load order
  std::vector<std::string> mPreloadNames;
  float mProgressStep = 0.0f;
  float mProgress = 0.0f;
  std::unique_ptr<LoadingScene> mLoadingScene;
  std::vector<resourceObject*> mHeld;  // one reference each, or null
  LoadingPresenter* mPresenter;
  bool mTiming = false;
  bool mReloading = false;  // no loading-screen frames during a reload
  double mNestedSeconds = 0.0;  // timed work inside the load being timed
  std::vector<LoadTime> mLoadTimes;
};

// The owning handle for one counted reference: releases it exactly once,
// when reset or destroyed. Move-only; share() adds a second reference.
template <class T>
class ResourceRef {
 public:
  ResourceRef() = default;
  // Takes over one reference the caller already holds (null is fine).
  explicit ResourceRef(T* adopted) : mResource(adopted) {}
  ~ResourceRef() { reset(); }
  ResourceRef(ResourceRef&& other) noexcept : mResource(std::exchange(other.mResource, nullptr)) {}
  ResourceRef& operator=(ResourceRef&& other) noexcept {
    if (this != &other) {
      reset();
      mResource = std::exchange(other.mResource, nullptr);
    }
    return *this;
  }
  ResourceRef(const ResourceRef&) = delete;
  ResourceRef& operator=(const ResourceRef&) = delete;

  // Loads `pName` through the manager. Null when the load fails or the
  // resource is not a T; the reference is then released at once.
  static ResourceRef load(const char* pName) {
    resourceManager& manager = resourceManager::instance();
    resourceObject* loaded = manager.load(pName);
    T* typed = dynamic_cast<T*>(loaded);
    if (typed == nullptr) manager.release(loaded);
    return ResourceRef(typed);
  }

  // A second handle to the same resource (one more reference).
  ResourceRef share() const {
    if (mResource) mResource->addRef();
    return ResourceRef(mResource);
  }
  void reset() {
    if (mResource) resourceManager::instance().release(std::exchange(mResource, nullptr));
  }
  // Gives the reference back to the caller, who must release it.
  T* detach() { return std::exchange(mResource, nullptr); }

  T* get() const { return mResource; }
  T* operator->() const { return mResource; }
  T& operator*() const { return *mResource; }
  explicit operator bool() const { return mResource != nullptr; }

 private:
  T* mResource = nullptr;
};
