// Application shell: system, settings, flag, profile, message and
// application managers. Each manager is a single static object reached
// through instance().
#pragma once

#include "core/core.h"

class systemManager : public Interface<systemManager> {
  VESPER_DECLARE_DYNAMIC(systemManager)
 public:
  static systemManager& instance();
  uint16_t getPriority() const override { return 2; }
  bool initialize() override;
  bool terminate() override;
  bool update() override;

  // Set by the first Escape; the demo manager then runs its ending.
  bool exitRequested = false;
};

class settingsManager : public Interface<settingsManager> {
  VESPER_DECLARE_DYNAMIC(settingsManager)
 public:
  static settingsManager& instance();
  uint16_t getPriority() const override { return 1; }
};

class flagManager : public Interface<flagManager> {
  VESPER_DECLARE_DYNAMIC(flagManager)
 public:
  static flagManager& instance();
};

class profileManager : public Interface<profileManager> {
  VESPER_DECLARE_DYNAMIC(profileManager)
 public:
  static profileManager& instance();
};

class messageManager : public Interface<messageManager> {
  VESPER_DECLARE_DYNAMIC(messageManager)
 public:
  static messageManager& instance();
  uint16_t getPriority() const override { return 32; }
};

class applicationManager : public Interface<applicationManager> {
  VESPER_DECLARE_DYNAMIC(applicationManager)
 public:
  static applicationManager& instance();
};

// The five managers the frame driver calls, as the live instances.
FrameManagers engineFrameManagers();
