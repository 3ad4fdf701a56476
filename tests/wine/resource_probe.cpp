// Prints what Windows tells about a program file: its version record (as
// Explorer's Properties show it) and the settings of its application manifest.
//
//   resource_probe PROGRAM.exe
//     FileDescription=...   (and the other version strings, one a line)
//     level=...             the execution level the manifest asks for
//     dpiAware=... dpiAwareness=... common-controls=6.0.0.0
//
//   resource_probe messages PROGRAM.exe
//     the program's message table as the Event Log renders it:
//     table: ID...          the ids the table holds
//     entries: ID...        the ids the service writes (service/event_messages.h)
//     ID TYPE N: TEXT       each entry's message, rendered by FormatMessageW
//                           from the program loaded as a data file, with its N
//                           insertion strings given as <1> to <N>; line breaks
//                           are shown as \n
#include <windows.h>

#include <cstdio>
#include <string>

#include "service/event_messages.h"

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

const char* TypeName(uint16_t type) {
  switch (type) {
    case plat::kEventError:
      return "error";
    case plat::kEventWarning:
      return "warning";
    case plat::kEventInformation:
      return "information";
    default:
      return "?";
  }
}

int PrintMessages(const wchar_t* path) {
  HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HRSRC resource = module ? FindResourceW(module, MAKEINTRESOURCEW(1), RT_MESSAGETABLE) : nullptr;
  HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
  if (loaded == nullptr) {
    std::printf("no message table\n");
    return 1;
  }
  const auto* table = static_cast<const MESSAGE_RESOURCE_DATA*>(LockResource(loaded));
  std::printf("table:");
  for (DWORD block = 0; block < table->NumberOfBlocks; ++block) {
    for (DWORD id = table->Blocks[block].LowId; id <= table->Blocks[block].HighId; ++id) {
      std::printf(" %lu", id);
    }
  }
  std::printf("\nentries:");
  for (const EventMessage& message : kEventMessages) {
    std::printf(" %u", message.id);
  }
  std::printf("\n");

  // A message that refers to more strings than the service passes shows it.
  std::wstring texts[99];
  DWORD_PTR arguments[99];
  for (const EventMessage& message : kEventMessages) {
    for (int i = 0; i < 99; ++i) {
      texts[i] = i < message.strings ? L"<" + std::to_wstring(i + 1) + L">"
                                     : L"<unexpected " + std::to_wstring(i + 1) + L">";
      arguments[i] = reinterpret_cast<DWORD_PTR>(texts[i].c_str());
    }
    wchar_t* rendered = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY |
                           FORMAT_MESSAGE_ALLOCATE_BUFFER,
                       module, message.id, 0, reinterpret_cast<wchar_t*>(&rendered), 0,
                       reinterpret_cast<va_list*>(arguments));
    std::wstring text = length != 0 ? std::wstring(rendered, length)
                                    : L"(not rendered: " + std::to_wstring(GetLastError()) + L")";
    LocalFree(rendered);
    for (size_t at = text.find(L"\r\n"); at != std::wstring::npos; at = text.find(L"\r\n", at)) {
      text.replace(at, 2, L"\\n");
    }
    std::printf("%u %s %u: %ls\n", message.id, TypeName(message.type), message.strings,
                text.c_str());
  }
  FreeLibrary(module);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && std::wstring(argv[1]) == L"messages") {
    return PrintMessages(argv[2]);
  }
  if (argc != 2) {
    std::fprintf(stderr,
                 "usage: resource_probe PROGRAM.exe | resource_probe messages PROGRAM.exe\n");
    return 2;
  }
  PrintVersionStrings(argv[1]);
  PrintManifest(argv[1]);
  return 0;
}
