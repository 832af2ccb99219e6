// A helper of the package's end-to-end run: checks the version resource and
// the manifest of a program file against this build.
//   release_info_probe EXE   ->   one line per check; exit 0 when the product
//   name is "BlockTide", the version texts and numbers are CMake's version,
//   and manifest 1 asks for asInvoker, per-monitor DPI awareness (version 2)
//   with the system-aware fallback, and no common-controls version.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int failures = 0;

void Check(bool ok, const char* what, const std::string& got) {
  std::printf("%s %s: %s\n", ok ? "ok" : "FAIL", what, got.c_str());
  failures += ok ? 0 : 1;
}

// A string of the first translation, "(none)" when missing.
std::string Text(void* data, const char* name) {
  WORD* translation = nullptr;
  UINT length = 0;
  VerQueryValueA(data, "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length);
  if (translation == nullptr || length < 4) return "(none)";
  char path[128];
  std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", translation[0], translation[1], name);
  char* value = nullptr;
  if (!VerQueryValueA(data, path, reinterpret_cast<void**>(&value), &length) || value == nullptr) return "(none)";
  return std::string(value, strnlen(value, length));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string version = BLOCKTIDE_VERSION_STRING;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(argv[1], &ignored);
  std::vector<char> data(size + 1);
  if (size == 0 || !GetFileVersionInfoA(argv[1], 0, size, data.data())) data.assign(1, 0);
  for (const char* name : {"ProductName", "ProductVersion", "FileVersion"}) {
    const std::string got = Text(data.data(), name);
    Check(got == (std::strcmp(name, "ProductName") == 0 ? std::string("BlockTide") : version), name, got);
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (size != 0) VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length);
  unsigned major = 0, minor = 0, patch = 0;
  std::sscanf(version.c_str(), "%u.%u.%u", &major, &minor, &patch);
  const DWORD ms = MAKELONG(minor, major), ls = MAKELONG(0, patch);
  Check(fixed != nullptr && fixed->dwFileVersionMS == ms && fixed->dwFileVersionLS == ls &&
            fixed->dwProductVersionMS == ms && fixed->dwProductVersionLS == ls,
        "fixed version numbers", fixed ? std::to_string(fixed->dwFileVersionMS) : "(none)");

  HMODULE module = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HRSRC found = module ? FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) : nullptr;
  const char* text = found ? static_cast<const char*>(LockResource(LoadResource(module, found))) : nullptr;
  const std::string manifest = text ? std::string(text, SizeofResource(module, found)) : "";
  Check(manifest.find("level=\"asInvoker\"") != std::string::npos &&
            manifest.find(">PerMonitorV2</dpiAwareness>") != std::string::npos &&
            manifest.find(">true</dpiAware>") != std::string::npos &&
            manifest.find("Common-Controls") == std::string::npos,
        "manifest 1", std::to_string(manifest.size()) + " bytes");
  return failures == 0 ? 0 : 1;
}
