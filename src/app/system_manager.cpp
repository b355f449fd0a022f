// System manager: owns the pack file for the process's lifetime.
#include "app/app.h"
#include "files/files.h"

VESPER_IMPLEMENT_INTERFACE(systemManager)
VESPER_IMPLEMENT_DYNAMIC(systemManager, Interface<systemManager>)

bool systemManager::initialize() {
  openPackage();
  return true;
}

bool systemManager::terminate() {
  closePackage();
  return true;
}

bool systemManager::update() { return true; }
