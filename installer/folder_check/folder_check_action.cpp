// ZandrellFolderCheck.dll: the package's one custom action that runs code,
// CheckInstallFolder. Immediate, after CostFinalize has resolved the folder
// and before InstallInitialize, so that a refusal comes before anything is
// written and there is nothing to roll back. It refuses a folder the programs
// cannot work in (install_folder.h says which) with exit code 1603 and a
// message for the log and the user, and it writes into the log that a
// repair's INSTALLFOLDER was ignored.
//
// The folder is judged as given (GivenInstallFolder, which the package keeps
// before it takes the remembered one) and as costing resolved it: how a
// relative folder is resolved is Windows Installer's own affair (Wine takes
// msiexec's working folder), and it must be refused whatever it became.
//
// No C runtime: the DLL imports KERNEL32 and msi.dll alone, so that nothing
// else is loaded into the installer's process and nothing is looked for
// beside the package.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include "installer/folder_check/install_folder.h"
#include "platform/win32/exact_ansi.h"

namespace {

// Heap text, null when it cannot be read; FreeText releases it.
wchar_t* AllocateText(DWORD characters) {
  return static_cast<wchar_t*>(
      HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (characters + 1) * sizeof(wchar_t)));
}
void FreeText(wchar_t* text) {
  if (text != nullptr) HeapFree(GetProcessHeap(), 0, text);
}

// A property's value (MsiGetPropertyW) or a folder's target path, the path
// Windows Installer installs its files into (MsiGetTargetPathW): both are
// asked for their size first, then read whole.
typedef UINT(WINAPI* TextReader)(MSIHANDLE, LPCWSTR, LPWSTR, DWORD*);
wchar_t* ReadText(MSIHANDLE install, TextReader read, const wchar_t* name) {
  wchar_t probe[1] = {};
  DWORD size = 0;
  UINT result = read(install, name, probe, &size);
  if (result != ERROR_MORE_DATA && result != ERROR_SUCCESS) return nullptr;
  wchar_t* text = AllocateText(size);
  if (text == nullptr) return nullptr;
  ++size;
  if (read(install, name, text, &size) != ERROR_SUCCESS) {
    FreeText(text);
    return nullptr;
  }
  return text;
}

// `text` with [1] and [2] filled in by Windows Installer, to the log and, for
// an error, to the user.
void Say(MSIHANDLE install, INSTALLMESSAGE kind, const wchar_t* text, const wchar_t* first,
         const wchar_t* second, int number = -1) {
  MSIHANDLE record = MsiCreateRecord(2);
  if (record == 0) return;
  MsiRecordSetStringW(record, 0, text);
  MsiRecordSetStringW(record, 1, first);
  if (second != nullptr) {
    MsiRecordSetStringW(record, 2, second);
  } else {
    MsiRecordSetInteger(record, 2, number);
  }
  MsiProcessMessage(install, kind, record);
  MsiCloseHandle(record);
}

const INSTALLMESSAGE kError = static_cast<INSTALLMESSAGE>(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR);

// The length of `text` in the ANSI code page, converted as the launcher
// converts its command line: without best fit, a character the code page
// lacks makes it kNoExactAnsiForm.
size_t AnsiLength(const wchar_t* text) {
  int bytes = ConvertToAnsiExactly(text, lstrlenW(text), nullptr, 0);
  return bytes >= 0 ? static_cast<size_t>(bytes) : kNoExactAnsiForm;
}

UINT Judge(MSIHANDLE install, const wchar_t* folder) {
  size_t ansi_length = AnsiLength(folder);
  switch (JudgeInstallFolder(folder, ansi_length)) {
    case FolderVerdict::kUsable:
      return ERROR_SUCCESS;
    case FolderVerdict::kNotFullyQualified:
      Say(install, kError,
          L"The installation folder \"[1]\" is neither on a drive (C:\\...) nor on a share "
          L"(\\\\server\\share\\...): give INSTALLFOLDER as a full path. Nothing was changed.",
          folder, nullptr, 0);
      return ERROR_INSTALL_FAILURE;
    case FolderVerdict::kNotInCodePage:
      Say(install, kError,
          L"The installation folder \"[1]\" has a character that the system's ANSI code page "
          L"cannot hold: the launcher could open no .cfg file from it. Give an INSTALLFOLDER "
          L"of characters of that code page. Nothing was changed.",
          folder, nullptr, 0);
      return ERROR_INSTALL_FAILURE;
    case FolderVerdict::kTooLong:
      Say(install, kError,
          L"The installation folder \"[1]\" is too long: the launcher's path in it would have [2] "
          L"characters, and the open command of .cfg files holds at most 247. Give a shorter "
          L"INSTALLFOLDER. Nothing was changed.",
          folder, nullptr, static_cast<int>(LauncherPathLength(folder, ansi_length)));
      return ERROR_INSTALL_FAILURE;
  }
  return ERROR_INSTALL_FAILURE;
}

// In maintenance (the product installed: a repair or a reinstall) the
// package keeps the installed folder, whatever the command line said.
UINT JudgeGiven(MSIHANDLE install, const wchar_t* given, const wchar_t* folder) {
  if (given[0] == L'\0') return ERROR_SUCCESS;
  wchar_t* installed = ReadText(install, MsiGetPropertyW, L"Installed");
  bool maintenance = installed != nullptr && installed[0] != L'\0';
  FreeText(installed);
  if (!maintenance) return Judge(install, given);
  if (!SameFolder(given, folder)) {
    Say(install, INSTALLMESSAGE_INFO,
        L"INSTALLFOLDER=[1] is ignored: Zandrell Launcher is installed in [2], and a repair or "
        L"reinstall keeps it there. To move it, remove it and install it again into the new folder.",
        given, folder);
  }
  return ERROR_SUCCESS;
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall CheckInstallFolder(MSIHANDLE install) {
  wchar_t* folder = ReadText(install, MsiGetTargetPathW, L"INSTALLFOLDER");
  wchar_t* given = ReadText(install, MsiGetPropertyW, L"GivenInstallFolder");
  UINT result = ERROR_INSTALL_FAILURE;
  if (folder == nullptr || given == nullptr) {
    Say(install, kError, L"The installation folder [1] cannot be read. Nothing was changed.",
        L"INSTALLFOLDER", nullptr, 0);
  } else {
    result = JudgeGiven(install, given, folder);
    if (result == ERROR_SUCCESS) result = Judge(install, folder);
  }
  FreeText(given);
  FreeText(folder);
  return result;
}

// The DLL keeps no state and needs no start-up: without the C runtime this is
// all its entry point has to do.
extern "C" BOOL WINAPI FolderCheckEntry(HINSTANCE, DWORD, void*) { return TRUE; }
