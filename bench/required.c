/* The reference scripts/performance.sh times the launcher against (built by that script, not by CMake). */
/* The least work the open path must do for a Morvo file: read the first line, scan the 32-bit view opening each
   version key by its full path, look for both builds, WinExec. A reference for timing the launcher against, not a
   launcher: it ignores Tessaline, ordering ties and many rules. Build: i686-w64-mingw32-gcc -O2 -s -mwindows. */
#include <windows.h>
#include <stdio.h>
int WINAPI WinMain(HINSTANCE a, HINSTANCE b, LPSTR tail, int s) {
  HKEY root, v; DWORD n = 0, i; char name[255], p[255], path[260], exe[260], best[260] = {0}; unsigned bm = 0;
  FILE *f = fopen(tail, "rt"); char line[260] = {0}; if (!f) return -1; fseek(f, 1, SEEK_SET); fgets(line, 260, f); fclose(f);
  if (!strstr(line, "Morvo")) return -1;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\KESTAL\\Morvo", 0, KEY_READ | KEY_WOW64_32KEY, &root)) return -1;
  RegQueryInfoKeyA(root, 0, 0, 0, &n, 0, 0, 0, 0, 0, 0, 0);
  for (i = 0; i < n; i++) {
    DWORD len = 255; unsigned ma, mi; if (RegEnumKeyExA(root, i, name, &len, 0, 0, 0, 0)) break;
    if (sscanf(name, "%u.%u", &ma, &mi) != 2) continue;
    snprintf(p, 255, "SOFTWARE\\KESTAL\\Morvo\\%u.%u", ma, mi);
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, p, 0, KEY_READ, &v)) continue;
    DWORD sz = 260; memset(path, 0, 260); LONG r = RegQueryValueExA(v, "Path", 0, 0, (BYTE *)path, &sz); RegCloseKey(v); if (r) continue;
    snprintf(exe, 260, "%s\\Exec32\\Morvo32.exe", path); GetFileAttributesA(exe);
    snprintf(exe, 260, "%s\\Exec64\\Morvo64.exe", path);
    if (GetFileAttributesA(exe) != INVALID_FILE_ATTRIBUTES && ma >= bm) { bm = ma; strcpy(best, exe); }
  }
  RegCloseKey(root);
  char cmd[520]; snprintf(cmd, 520, "\"%s\" \"%s\"", best, tail);
  return WinExec(cmd, SW_SHOWNORMAL) > 31 ? 0 : -1;
}
