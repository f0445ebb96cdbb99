// Installation discovery and the wizard are not part of this build yet. The
// stage says so to the user and reports that no update was made.
#include "core/launch.h"
#include "core/show_error.h"
#include "texts.h"

int DiscoverAndLaunch() {
  ShowError(kMsgLaunchNotBuilt);
  return 0;
}
