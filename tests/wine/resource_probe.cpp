// Prints what Windows tells about a program file: its version record (as
// Explorer's Properties show it) and the settings of its application manifest.
//
//   resource_probe PROGRAM.exe
//     FileDescription=...   (and the other version strings, one a line)
//     level=...             the execution level the manifest asks for
//     dpiAware=... dpiAwareness=... common-controls=6.0.0.0
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

void PrintVersionStrings(const wchar_t* path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  std::string record(size, '\0');
  if (size == 0 || !GetFileVersionInfoW(path, 0, size, record.data())) {
    std::printf("no version record\n");
    return;
  }
  const wchar_t* names[] = {L"CompanyName",      L"FileDescription", L"FileVersion",
                            L"OriginalFilename", L"ProductName",     L"ProductVersion"};
  for (const wchar_t* name : names) {
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    wchar_t* value = nullptr;
    UINT length = 0;
    if (VerQueryValueW(record.data(), query.c_str(), reinterpret_cast<void**>(&value), &length)) {
      std::printf("%ls=%ls\n", name, value);
    }
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) {
    std::printf("fixed=%u.%u.%u.%u\n", HIWORD(fixed->dwFileVersionMS),
                LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                LOWORD(fixed->dwFileVersionLS));
  }
}

// The text between `after` and the next quote or '<' in the manifest.
std::string Field(const std::string& manifest, const std::string& after) {
  const size_t at = manifest.find(after);
  if (at == std::string::npos) {
    return "(none)";
  }
  const size_t start = at + after.size();
  return manifest.substr(start, manifest.find_first_of("\"<", start) - start);
}

void PrintManifest(const wchar_t* path) {
  HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HRSRC resource = module ? FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST) : nullptr;
  HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
  if (loaded == nullptr) {
    std::printf("no manifest\n");
  } else {
    const std::string manifest(static_cast<const char*>(LockResource(loaded)),
                               SizeofResource(module, resource));
    std::printf("level=%s\n", Field(manifest, "requestedExecutionLevel level=\"").c_str());
    std::printf("dpiAware=%s\n", Field(manifest, "WindowsSettings\">").c_str());
    std::printf("dpiAwareness=%s\n", Field(manifest, "2016/WindowsSettings\">").c_str());
    const size_t controls = manifest.find("Microsoft.Windows.Common-Controls");
    std::printf("common-controls=%s\n",
                controls == std::string::npos
                    ? "(none)"
                    : Field(manifest.substr(controls), "version=\"").c_str());
  }
  if (module != nullptr) {
    FreeLibrary(module);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: resource_probe PROGRAM.exe\n");
    return 2;
  }
  PrintVersionStrings(argv[1]);
  PrintManifest(argv[1]);
  return 0;
}
