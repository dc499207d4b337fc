// The uninstaller that the installation leaves in the installation directory.
#pragma once

// Its file name, also the target of a shortcut whose target is empty.
extern const char kUninstallerName[];  // 卸载.exe
