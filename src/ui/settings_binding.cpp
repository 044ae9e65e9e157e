#include "ui/settings_binding.h"

#include "ui/frm_main.h"

namespace quendrel {

// Nothing is stored yet: the window starts from its initial values each run.

void SyncIPWebPageList(FrmMain& /*window*/, ListFileMode /*mode*/) {}

void LoadSettings(FrmMain& /*window*/) {}

void SaveSettings(FrmMain& /*window*/) {}

}  // namespace quendrel
