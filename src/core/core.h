// Engine core: run-time class registry, critical errors, manager framework
// and frame driver. Everything here runs on the main thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace platform {
class EventSource;
}

// ---------------------------------------------------------------------------
// Critical error texts. Each is fixed at build time and identical on every run.
namespace critical {
inline constexpr const char kNameNull[] = "Critical error:[pName + \"name can't be null\"]";
inline constexpr const char kNameEmpty[] = "Critical error:[pName[0] + \"name can't be empty\"]";
inline constexpr const char kHashConflict[] =
    "Critical error:[!mDynHash[hash] + \"DYNAMIC hash conflict\"]";
inline constexpr const char kBadAlloc[] = "Critical error:[pbuf + \"bad alloc\"]";
inline constexpr const char kPackOpen[] = "Critical error:[mPackageFp + \"could not open vesper.pak\"]";
inline constexpr const char kPackHeader[] =
    "Critical error:[memcmp(mPackHeader.header, szHeader, strlen(szHeader))==0 + \"invalid header\"]";
inline constexpr const char kPackVersion[] =
    "Critical error:[mPackHeader.version==0x00000001 + \"invalid version\"]";
inline constexpr const char kPackEntries[] =
    "Critical error:[mPackHeader.numEntries + \"invalid data entry.\"]";
inline constexpr const char kPackWriteMode[] =
    "Critical error:[mode==MODE_READ + \"can't write into packfile.\"]";
inline constexpr const char kFileNotFound[] = "Critical error:[isFound + \"file not found.\"]";
inline constexpr const char kWriteUnsupported[] =
    "Critical error:[0 + \"write to file is not supported!\"]";
inline constexpr const char kNotSupported[] = "Critical error:[0 + \"not supported!\"]";
inline constexpr const char kDummyShader[] = "Critical error:[0 + \"failed to load dummy shader.\"]";
inline constexpr const char kNoOpenGL20[] =
    "This demo requires \"OpenGL 2.0\" but your graphics card doesn't seem to be supporting it.";
}  // namespace critical

// ---------------------------------------------------------------------------
// Run-time classes.

class CoreRuntimeClass;

// Root of every object that can be created by name or asked for its class.
// No virtual destructor by design: each derived family declares its own.
class CoreObject {
 public:
  virtual const CoreRuntimeClass* getRuntimeClass() const;
  // True when this object's class or an ancestor matches `pName` by the
  // registry's prefix rule (see CoreRuntimeClass::nameMatches).
  virtual bool isKindOf(const char* pName) const;
  virtual bool isKindOf(const CoreRuntimeClass* pClass) const;

  class ThisDYNAMIC;
  static CoreRuntimeClass& dynamicClass();

 protected:
  CoreObject() = default;
  ~CoreObject() = default;
  CoreObject(const CoreObject&) = default;
  CoreObject& operator=(const CoreObject&) = default;
};

// Class descriptor. Constructing one enters it into the DYNAMIC hash;
// destroying it clears its slot. The name string is static and not owned.
class CoreRuntimeClass {
 public:
  static constexpr int DYNAMIC_HASH_NUM = 0x4000;

  CoreRuntimeClass(const char* pName, CoreRuntimeClass* pParent);
  virtual ~CoreRuntimeClass();
  // A new default-constructed instance, owned by the caller; null for
  // classes that cannot be instantiated.
  virtual CoreObject* createObject() const = 0;

  const char* getName() const { return mName; }
  CoreRuntimeClass* getParent() const { return mParent; }
  void setParent(CoreRuntimeClass* pParent) { mParent = pParent; }

  // True when this descriptor or an ancestor matches `pName`.
  bool isKindOf(const char* pName) const;

  // First descriptor in slot order whose name matches `pName`, or null.
  static CoreRuntimeClass* findClass(const char* pName);
  // Slot index of a name: MD5 halves summed modulo DYNAMIC_HASH_NUM.
  static uint32_t hashIndex(const char* pName);
  // Descriptor in a slot (null when empty); for walks in table order.
  static CoreRuntimeClass* slot(uint32_t index);
  // The prefix rule: the first strlen(registered) bytes of `requested`
  // equal `registered`.
  static bool nameMatches(const char* registered, const char* requested);

  CoreRuntimeClass(const CoreRuntimeClass&) = delete;
  CoreRuntimeClass& operator=(const CoreRuntimeClass&) = delete;

 private:
  const char* mName;
  CoreRuntimeClass* mParent;
};

// Declares the nested descriptor of a registered class. Abstract classes use
// the _ABSTRACT form; their descriptor creates nothing.
#define VESPER_DYNAMIC_COMMON(Class)                                          \
 public:                                                                      \
  class ThisDYNAMIC;                                                          \
  static CoreRuntimeClass& dynamicClass();                                    \
  const CoreRuntimeClass* getRuntimeClass() const override;

#define VESPER_DECLARE_DYNAMIC(Class) VESPER_DYNAMIC_COMMON(Class)

// Defines the descriptor in one .cpp file. `ParentExpr` is the parent's
// descriptor (referenced by address, so it may be constructed later).
#define VESPER_IMPLEMENT_DYNAMIC_IMPL(Class, NameStr, ParentExpr, CreateExpr)  \
  class Class::ThisDYNAMIC final : public CoreRuntimeClass {                   \
   public:                                                                     \
    using CoreRuntimeClass::CoreRuntimeClass;                                  \
    CoreObject* createObject() const override { return CreateExpr; }          \
  };                                                                           \
  namespace {                                                                  \
  Class::ThisDYNAMIC gDynamic_##Class(NameStr, ParentExpr);                    \
  }                                                                            \
  CoreRuntimeClass& Class::dynamicClass() { return gDynamic_##Class; }        \
  const CoreRuntimeClass* Class::getRuntimeClass() const { return &gDynamic_##Class; }

#define VESPER_IMPLEMENT_DYNAMIC(Class, Parent)                                \
  VESPER_IMPLEMENT_DYNAMIC_IMPL(Class, #Class,                                 \
                                &Parent::dynamicClass(), new Class)
#define VESPER_IMPLEMENT_DYNAMIC_ABSTRACT(Class, Parent)                       \
  VESPER_IMPLEMENT_DYNAMIC_IMPL(Class, #Class,                                 \
                                &Parent::dynamicClass(), nullptr)

// ---------------------------------------------------------------------------
// Critical errors.

class CoreDebug : public CoreObject {
  VESPER_DECLARE_DYNAMIC(CoreDebug)
 public:
  virtual ~CoreDebug() = default;
  // Ends the process with `message` (status 3, no cleanup) unless `condition`.
  static void criticalCheck(const char* message, bool condition);
  // The unconditional form, for paths that must never be taken.
  [[noreturn]] static void criticalError(const char* message);
  // The same two for errors about a named file: `entry`, the name as the
  // engine asked for it, follows the message on a line of its own
  // ("  entry: data\model\x.bmdl"). The message itself stays as fixed.
  static void criticalCheck(const char* message, bool condition, const char* entry);
  [[noreturn]] static void criticalError(const char* message, const char* entry);
  // While a handler is set, a critical error calls it with the full text
  // instead of ending the process; the handler must not return (it throws),
  // so the engine code after the error never runs. For a rehearsal's
  // reloads, where a broken file must not end the show. Null: the exit.
  // Returns the handler set before.
  using CriticalHandler = void (*)(const std::string& text);
  static CriticalHandler setCriticalHandler(CriticalHandler handler);
  // Trace hook: formats nothing and writes nothing.
  static void trace(const char*, ...) {}
};

// ---------------------------------------------------------------------------
// Text helpers.

// Levenshtein distance of two short words (insertions, deletions and
// substitutions of single bytes), for "did you mean" hints.
size_t editDistance(std::string_view a, std::string_view b);

// ---------------------------------------------------------------------------
// Managers.

class InterfaceBase : public CoreObject {
  VESPER_DECLARE_DYNAMIC(InterfaceBase)
 public:
  virtual uint16_t getPriority() const { return 65535; }
  virtual ~InterfaceBase() = default;
  virtual bool initialize() { return true; }
  virtual bool terminate() { return true; }
  virtual bool beginFrame() { return true; }
  virtual bool update() { return true; }
  virtual bool endFrame() { return true; }

 protected:
  // Appends this manager to the manager list.
  InterfaceBase();
  InterfaceBase(const InterfaceBase&) = delete;
  InterfaceBase& operator=(const InterfaceBase&) = delete;
};

// Between InterfaceBase and each manager T; each instantiation is a registered
// class of its own, defined with VESPER_IMPLEMENT_INTERFACE(T).
template <class T>
class Interface : public InterfaceBase {
 public:
  class ThisDYNAMIC;
  static CoreRuntimeClass& dynamicClass();
  const CoreRuntimeClass* getRuntimeClass() const override;
};

#define VESPER_IMPLEMENT_INTERFACE(T)                                                        \
  template <>                                                                                \
  class Interface<T>::ThisDYNAMIC final : public CoreRuntimeClass {                          \
   public:                                                                                   \
    using CoreRuntimeClass::CoreRuntimeClass;                                                \
    CoreObject* createObject() const override { return nullptr; }                            \
  };                                                                                         \
  namespace {                                                                                \
  Interface<T>::ThisDYNAMIC gDynamicInterface_##T(                                           \
      "Interface<" #T ">", &InterfaceBase::dynamicClass());                                   \
  }                                                                                          \
  template <>                                                                                \
  CoreRuntimeClass& Interface<T>::dynamicClass() { return gDynamicInterface_##T; }           \
  template <>                                                                                \
  const CoreRuntimeClass* Interface<T>::getRuntimeClass() const { return &gDynamicInterface_##T; }

// The global list managers enter when constructed. Fixed capacity by design.
struct ManagerList {
  static constexpr unsigned kCapacity = 64;
  InterfaceBase* entries[kCapacity];
  unsigned count;
};
ManagerList& managerList();

// Initialisation pass: priorities 0..65535, list order within a priority;
// the count is re-read after each manager. False at the first failure.
bool initializeAll();
// Termination pass: priorities 65535..0, list order within a priority.
bool terminateAll();

// The five managers the frame driver calls.
struct FrameManagers {
  InterfaceBase* profile;
  InterfaceBase* flag;
  InterfaceBase* system;
  InterfaceBase* renderer;
  InterfaceBase* demo;
};
// One frame in the fixed order; the demo manager's update result is returned
// after the renderer has executed its commands and presented.
bool runFrame(const FrameManagers& m);

// The message loop: drains `events` without waiting and calls `frame` whenever
// the queue is empty. The first Escape sets `exitRequested` and is dispatched,
// a second leaves the loop. Returns the quit code when a quit event ended the
// loop, otherwise 0.
int runMainLoop(platform::EventSource& events, bool& exitRequested,
                const std::function<bool()>& frame);
