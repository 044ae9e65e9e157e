#pragma once

namespace quendrel {

class FrmMain;

enum class ListFileMode { Load = 0, Save = 1 };

// Moves the settings and the list of IP web pages between the window's
// controls and the program's files.
void SyncIPWebPageList(FrmMain& window, ListFileMode mode);
void LoadSettings(FrmMain& window);
void SaveSettings(FrmMain& window);

}  // namespace quendrel
