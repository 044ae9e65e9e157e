#pragma once

namespace quendrel {

class FrmMain;

// Moves the settings and the list of IP web pages between the window's
// controls and the program's files. mode 0 loads the list, mode 1 saves it.
void SyncIPWebPageList(FrmMain& window, int mode);
void LoadSettings(FrmMain& window);
void SaveSettings(FrmMain& window);

}  // namespace quendrel
