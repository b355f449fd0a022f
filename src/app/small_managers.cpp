// Settings, flag, profile, message and application managers.
#include "app/app.h"

VESPER_IMPLEMENT_INTERFACE(settingsManager)
VESPER_IMPLEMENT_DYNAMIC(settingsManager, Interface<settingsManager>)
VESPER_IMPLEMENT_INTERFACE(flagManager)
VESPER_IMPLEMENT_DYNAMIC(flagManager, Interface<flagManager>)
VESPER_IMPLEMENT_INTERFACE(profileManager)
VESPER_IMPLEMENT_DYNAMIC(profileManager, Interface<profileManager>)
VESPER_IMPLEMENT_INTERFACE(messageManager)
VESPER_IMPLEMENT_DYNAMIC(messageManager, Interface<messageManager>)
VESPER_IMPLEMENT_INTERFACE(applicationManager)
VESPER_IMPLEMENT_DYNAMIC(applicationManager, Interface<applicationManager>)
