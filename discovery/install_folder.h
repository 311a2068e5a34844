// What an installation folder must look like before the launcher looks in it.
#pragma once

// Whether `folder` names one place whatever the current folder is: a drive
// letter, a colon and a backslash or slash ("C:\x", "C:/x"), a share
// ("\\server\share", "\\server\share\x"), or the "\\?\" form of either
// ("\\?\C:\x", "\\?\UNC\server\share"). "C:x", "\x", ".\x", "x" and "" are
// not: Windows resolves them against the current folder or its drive, and
// the shell makes the document's folder the launcher's current folder.
bool IsFullFolderPath(const char* folder);
