// Checks the tray icon renderer on the system it runs on: Wine under a virtual
// display, in the project's tests. The pixels of the icons it draws are read
// back; its graphics calls are watched through this program's own import slots,
// so that their order, their arguments, the clean-up after every failing step
// and the absence of leaks can be checked. Prints one line per failed check
// and then "N passed, M failed"; the exit code is 0 only when nothing failed.
// With -v it also prints every icon drawn and the figures the system reported.
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/wine/import_slots.h"
#include "tray/tray_icon_renderer.h"

namespace {

int g_passed = 0;
int g_failed = 0;
bool g_verbose = false;

bool Check(bool ok, const std::string& what, int line) {
  if (ok) {
    ++g_passed;
  } else {
    ++g_failed;
    std::printf("FAILED line %d: %s\n", line, what.c_str());
  }
  return ok;
}

#define CHECK(cond) Check((cond), #cond, __LINE__)
#define CHECK_WHAT(cond, what) Check((cond), (what), __LINE__)

__attribute__((format(printf, 1, 2))) void Info(const char* format, ...) {
  if (!g_verbose) {
    return;
  }
  std::va_list args;
  va_start(args, format);
  std::printf("info: ");
  std::vprintf(format, args);
  std::printf("\n");
  va_end(args);
}

// ---- Watching the renderer's calls ----------------------------------------------
// While watching, every graphics call the renderer makes is written down as
// "Call(arguments)=result", each handle by the role it got when it was made
// ("dc1" is the first memory context of the watch, "default-pen" a context's
// own pen), one chosen call can be made to fail, and the objects made and not
// yet released are kept, so that leaks show.

struct Watch {
  bool on = false;
  bool tracing = true;
  std::vector<std::string> trace;
  std::map<const void*, std::string> names;
  std::map<std::string, int> kindCounts;
  std::map<std::string, int> occurrences;
  std::vector<const void*> made;  // the objects made during this watch, in order
  std::string failCall;           // the call to fail, at its failOccurrence-th use
  int failOccurrence = 0;
  // The texts drawn, and one past the rightmost column the widest of them inks.
  std::vector<std::string> texts;
  long inkRight = 0;
  // Across watches: the objects made while watching and not released since.
  std::set<const void*> live;
  long created = 0;
  long released = 0;
};
Watch g_watch;

void StartWatch(const std::string& failCall = "", int failOccurrence = 0) {
  g_watch.on = true;
  g_watch.tracing = true;
  g_watch.trace.clear();
  g_watch.names.clear();
  g_watch.kindCounts.clear();
  g_watch.occurrences.clear();
  g_watch.made.clear();
  g_watch.failCall = failCall;
  g_watch.failOccurrence = failOccurrence;
  g_watch.texts.clear();
  g_watch.inkRight = 0;
}

void StopWatch() {
  g_watch.on = false;
  g_watch.failCall.clear();
}

void NameHandle(const void* handle, const std::string& name) {
  g_watch.names[handle] = name;
}

std::string Name(const void* handle) {
  if (handle == nullptr) {
    return "null";
  }
  const auto found = g_watch.names.find(handle);
  return found == g_watch.names.end() ? "unnamed" : found->second;
}

// Names an object the renderer has just made and counts it as live.
std::string Adopt(const void* handle, const std::string& kind) {
  if (handle == nullptr) {
    return "null";
  }
  const std::string name = kind + std::to_string(++g_watch.kindCounts[kind]);
  g_watch.names[handle] = name;
  g_watch.made.push_back(handle);
  g_watch.live.insert(handle);
  ++g_watch.created;
  return name;
}

// Counted whether watching or not, so that the test's own clean-up counts too.
void Released(const void* handle, bool ok) {
  if (ok && g_watch.live.erase(handle) != 0) {
    ++g_watch.released;
  }
}

// True when this use of `call` is the one to fail.
bool Inject(const char* call) {
  if (!g_watch.on) {
    return false;
  }
  const int occurrence = ++g_watch.occurrences[call];
  return g_watch.failCall == call && occurrence == g_watch.failOccurrence;
}

void Record(const char* call, std::initializer_list<std::string> arguments,
            const std::string& result = "") {
  if (!g_watch.on || !g_watch.tracing) {
    return;
  }
  std::string entry = std::string(call) + "(";
  bool first = true;
  for (const std::string& argument : arguments) {
    entry += (first ? "" : ",") + argument;
    first = false;
  }
  entry += ")";
  if (!result.empty()) {
    entry += "=" + result;
  }
  g_watch.trace.push_back(entry);
}

std::string Int(long long value) {
  return std::to_string(value);
}

std::string Hex(unsigned long value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%lx", value);
  return text;
}

std::string Colour(COLORREF colour) {
  return "rgb(" + Int(GetRValue(colour)) + "," + Int(GetGValue(colour)) + "," +
         Int(GetBValue(colour)) + ")";
}

std::string Quoted(const wchar_t* text, int length) {
  std::string quoted = "\"";
  for (int i = 0; text != nullptr && (length < 0 ? text[i] != 0 : i < length); ++i) {
    quoted += text[i] < 128 ? static_cast<char>(text[i]) : '?';
  }
  return quoted + "\"";
}

const char* TypeName(DWORD type) {
  switch (type) {
    case OBJ_PEN:
      return "pen";
    case OBJ_BRUSH:
      return "brush";
    case OBJ_FONT:
      return "font";
    case OBJ_BITMAP:
      return "bitmap";
    default:
      return "object";
  }
}

struct RealCalls {
  decltype(&::GetDC) getDC;
  decltype(&::ReleaseDC) releaseDC;
  decltype(&::CreateCompatibleDC) createCompatibleDC;
  decltype(&::CreateCompatibleBitmap) createCompatibleBitmap;
  decltype(&::SelectObject) selectObject;
  decltype(&::BitBlt) bitBlt;
  decltype(&::CreatePen) createPen;
  decltype(&::CreateSolidBrush) createSolidBrush;
  decltype(&::SetBkMode) setBkMode;
  decltype(&::SetTextColor) setTextColor;
  decltype(&::CreateFontW) createFontW;
  decltype(&::Rectangle) rectangle;
  decltype(&::lstrlenW) lstrlenW;
  decltype(&::TextOutW) textOutW;
  decltype(&::GetTextExtentExPointW) getTextExtentExPointW;
  decltype(&::ExtTextOutW) extTextOutW;
  decltype(&::MoveToEx) moveToEx;
  decltype(&::LineTo) lineTo;
  decltype(&::DeleteObject) deleteObject;
  decltype(&::DeleteDC) deleteDC;
  decltype(&::DrawIconEx) drawIconEx;
  decltype(&::CreateIconIndirect) createIconIndirect;
  decltype(&::DestroyIcon) destroyIcon;
};
RealCalls g_real{};

HDC WINAPI HookGetDC(HWND window) {
  if (Inject("GetDC")) {
    Record("GetDC", {Name(window)}, "FAILED");
    return nullptr;
  }
  HDC const dc = g_real.getDC(window);
  const std::string result = Adopt(dc, "screen");
  Record("GetDC", {Name(window)}, result);
  return dc;
}

// An injected failure still releases the context: only the report fails.
int WINAPI HookReleaseDC(HWND window, HDC dc) {
  const int result = g_real.releaseDC(window, dc);
  Released(dc, result != 0);
  if (Inject("ReleaseDC")) {
    Record("ReleaseDC", {Name(window), Name(dc)}, "FAILED");
    return 0;
  }
  Record("ReleaseDC", {Name(window), Name(dc)}, Int(result));
  return result;
}

HDC WINAPI HookCreateCompatibleDC(HDC dc) {
  if (Inject("CreateCompatibleDC")) {
    Record("CreateCompatibleDC", {Name(dc)}, "FAILED");
    return nullptr;
  }
  HDC const made = g_real.createCompatibleDC(dc);
  const std::string result = Adopt(made, "dc");
  Record("CreateCompatibleDC", {Name(dc)}, result);
  return made;
}

HBITMAP WINAPI HookCreateCompatibleBitmap(HDC dc, int width, int height) {
  if (Inject("CreateCompatibleBitmap")) {
    Record("CreateCompatibleBitmap", {Name(dc), Int(width), Int(height)}, "FAILED");
    return nullptr;
  }
  HBITMAP const made = g_real.createCompatibleBitmap(dc, width, height);
  const std::string result = Adopt(made, "bitmap");
  Record("CreateCompatibleBitmap", {Name(dc), Int(width), Int(height)}, result);
  return made;
}

HGDIOBJ WINAPI HookSelectObject(HDC dc, HGDIOBJ object) {
  if (Inject("SelectObject")) {
    Record("SelectObject", {Name(dc), Name(object)}, "FAILED");
    return nullptr;
  }
  HGDIOBJ const previous = g_real.selectObject(dc, object);
  if (g_watch.on && previous != nullptr && g_watch.names.count(previous) == 0) {
    NameHandle(previous, std::string("default-") + TypeName(GetObjectType(previous)));
  }
  Record("SelectObject", {Name(dc), Name(object)}, Name(previous));
  return previous;
}

BOOL WINAPI HookBitBlt(HDC dc, int x, int y, int width, int height, HDC source, int sourceX,
                       int sourceY, DWORD operation) {
  const std::initializer_list<std::string> arguments = {Name(dc),     Int(x),       Int(y),
                                                        Int(width),   Int(height),  Name(source),
                                                        Int(sourceX), Int(sourceY), Hex(operation)};
  if (Inject("BitBlt")) {
    Record("BitBlt", arguments, "FAILED");
    return FALSE;
  }
  const BOOL result = g_real.bitBlt(dc, x, y, width, height, source, sourceX, sourceY, operation);
  Record("BitBlt", arguments, Int(result));
  return result;
}

HPEN WINAPI HookCreatePen(int style, int width, COLORREF colour) {
  HPEN const made = g_real.createPen(style, width, colour);
  const std::string result = Adopt(made, "pen");
  Record("CreatePen", {Int(style), Int(width), Colour(colour)}, result);
  return made;
}

HBRUSH WINAPI HookCreateSolidBrush(COLORREF colour) {
  HBRUSH const made = g_real.createSolidBrush(colour);
  const std::string result = Adopt(made, "brush");
  Record("CreateSolidBrush", {Colour(colour)}, result);
  return made;
}

int WINAPI HookSetBkMode(HDC dc, int mode) {
  Record("SetBkMode", {Name(dc), Int(mode)});
  return g_real.setBkMode(dc, mode);
}

COLORREF WINAPI HookSetTextColor(HDC dc, COLORREF colour) {
  Record("SetTextColor", {Name(dc), Colour(colour)});
  return g_real.setTextColor(dc, colour);
}

HFONT WINAPI HookCreateFontW(int height, int width, int escapement, int orientation, int weight,
                             DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                             DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                             DWORD pitchAndFamily, LPCWSTR face) {
  HFONT const made = g_real.createFontW(height, width, escapement, orientation, weight, italic,
                                        underline, strikeOut, charSet, outPrecision, clipPrecision,
                                        quality, pitchAndFamily, face);
  const std::string result = Adopt(made, "font");
  Record("CreateFontW",
         {Int(height), Int(width), Int(escapement), Int(orientation), Int(weight), Int(italic),
          Int(underline), Int(strikeOut), Int(charSet), Int(outPrecision), Int(clipPrecision),
          Int(quality), Int(pitchAndFamily), Quoted(face, -1)},
         result);
  return made;
}

BOOL WINAPI HookRectangle(HDC dc, int left, int top, int right, int bottom) {
  Record("Rectangle", {Name(dc), Int(left), Int(top), Int(right), Int(bottom)});
  return g_real.rectangle(dc, left, top, right, bottom);
}

int WINAPI HookLstrlenW(LPCWSTR text) {
  const int length = g_real.lstrlenW(text);
  Record("lstrlenW", {Quoted(text, -1)}, Int(length));
  return length;
}

// Notes the text drawn and where its ink ends: drawn once more, black on
// white, in the font selected into `dc`, on a canvas wide enough for any label.
// Through the real calls, by hand, so that the watch sees none of them.
void NoteInk(HDC dc, int x, LPCWSTR text, int length, const INT* advances) {
  if (!g_watch.on) {
    return;
  }
  g_watch.texts.push_back(Quoted(text, length));
  constexpr int kWide = 64;
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  format.bmiHeader.biWidth = kWide;
  format.bmiHeader.biHeight = -kWide;
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC const scratch = g_real.createCompatibleDC(dc);
  HBITMAP const canvas = CreateDIBSection(scratch, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ const previousBitmap = g_real.selectObject(scratch, canvas);
  HGDIOBJ const previousFont = g_real.selectObject(scratch, GetCurrentObject(dc, OBJ_FONT));
  PatBlt(scratch, 0, 0, kWide, kWide, WHITENESS);
  g_real.setBkMode(scratch, TRANSPARENT);
  g_real.extTextOutW(scratch, x, 0, 0, nullptr, text, static_cast<UINT>(length), advances);
  GdiFlush();
  const auto* const pixels = static_cast<const uint32_t*>(bits);
  for (int i = 0; pixels != nullptr && i < kWide * kWide; ++i) {
    if ((pixels[i] & 0xFFFFFF) != 0xFFFFFF) {
      g_watch.inkRight = std::max(g_watch.inkRight, long{i % kWide} + 1);
    }
  }
  g_real.selectObject(scratch, previousFont);
  g_real.selectObject(scratch, previousBitmap);
  g_real.deleteObject(canvas);
  g_real.deleteDC(scratch);
}

BOOL WINAPI HookTextOutW(HDC dc, int x, int y, LPCWSTR text, int length) {
  Record("TextOutW", {Name(dc), Int(x), Int(y), Quoted(text, length), Int(length)});
  NoteInk(dc, x, text, length, nullptr);
  return g_real.textOutW(dc, x, y, text, length);
}

// The measured extents depend on the font: only the call is written down.
BOOL WINAPI HookGetTextExtentExPointW(HDC dc, LPCWSTR text, int length, int maxExtent, LPINT fit,
                                      LPINT ends, LPSIZE size) {
  Record("GetTextExtentExPointW", {Name(dc), Quoted(text, length), Int(length)});
  return g_real.getTextExtentExPointW(dc, text, length, maxExtent, fit, ends, size);
}

BOOL WINAPI HookExtTextOutW(HDC dc, int x, int y, UINT options, const RECT* rect, LPCWSTR text,
                            UINT length, const INT* advances) {
  Record("ExtTextOutW",
         {Name(dc), Int(x), Int(y), Int(options), rect ? "rect" : "null",
          Quoted(text, static_cast<int>(length)), Int(length), advances ? "advances" : "null"});
  NoteInk(dc, x, text, static_cast<int>(length), advances);
  return g_real.extTextOutW(dc, x, y, options, rect, text, length, advances);
}

BOOL WINAPI HookMoveToEx(HDC dc, int x, int y, LPPOINT previous) {
  Record("MoveToEx", {Name(dc), Int(x), Int(y), Name(previous)});
  return g_real.moveToEx(dc, x, y, previous);
}

BOOL WINAPI HookLineTo(HDC dc, int x, int y) {
  Record("LineTo", {Name(dc), Int(x), Int(y)});
  return g_real.lineTo(dc, x, y);
}

BOOL WINAPI HookDeleteObject(HGDIOBJ object) {
  const std::string name = Name(object);
  const BOOL result = g_real.deleteObject(object);
  Released(object, result != FALSE);
  Record("DeleteObject", {name}, Int(result));
  return result;
}

BOOL WINAPI HookDeleteDC(HDC dc) {
  const std::string name = Name(dc);
  const BOOL result = g_real.deleteDC(dc);
  Released(dc, result != FALSE);
  Record("DeleteDC", {name}, Int(result));
  return result;
}

BOOL WINAPI HookDrawIconEx(HDC dc, int x, int y, HICON icon, int width, int height, UINT step,
                           HBRUSH brush, UINT flags) {
  const std::initializer_list<std::string> arguments = {Name(dc),   Int(x),      Int(y),
                                                        Name(icon), Int(width),  Int(height),
                                                        Int(step),  Name(brush), Int(flags)};
  if (Inject("DrawIconEx")) {
    Record("DrawIconEx", arguments, "FAILED");
    return FALSE;
  }
  const BOOL result = g_real.drawIconEx(dc, x, y, icon, width, height, step, brush, flags);
  Record("DrawIconEx", arguments, Int(result));
  return result;
}

HICON WINAPI HookCreateIconIndirect(PICONINFO info) {
  const std::initializer_list<std::string> arguments = {info->fIcon ? "icon" : "cursor",
                                                        "mask=" + Name(info->hbmMask),
                                                        "colour=" + Name(info->hbmColor)};
  if (Inject("CreateIconIndirect")) {
    Record("CreateIconIndirect", arguments, "FAILED");
    return nullptr;
  }
  HICON const made = g_real.createIconIndirect(info);
  const std::string result = Adopt(made, "icon");
  Record("CreateIconIndirect", arguments, result);
  return made;
}

BOOL WINAPI HookDestroyIcon(HICON icon) {
  const std::string name = Name(icon);
  const BOOL result = g_real.destroyIcon(icon);
  Released(icon, result != FALSE);
  Record("DestroyIcon", {name}, Int(result));
  return result;
}

void InstallHooks() {
  CHECK(Patch("GetDC", &HookGetDC, g_real.getDC));
  CHECK(Patch("ReleaseDC", &HookReleaseDC, g_real.releaseDC));
  CHECK(Patch("CreateCompatibleDC", &HookCreateCompatibleDC, g_real.createCompatibleDC));
  CHECK(
      Patch("CreateCompatibleBitmap", &HookCreateCompatibleBitmap, g_real.createCompatibleBitmap));
  CHECK(Patch("SelectObject", &HookSelectObject, g_real.selectObject));
  CHECK(Patch("BitBlt", &HookBitBlt, g_real.bitBlt));
  CHECK(Patch("CreatePen", &HookCreatePen, g_real.createPen));
  CHECK(Patch("CreateSolidBrush", &HookCreateSolidBrush, g_real.createSolidBrush));
  CHECK(Patch("SetBkMode", &HookSetBkMode, g_real.setBkMode));
  CHECK(Patch("SetTextColor", &HookSetTextColor, g_real.setTextColor));
  CHECK(Patch("CreateFontW", &HookCreateFontW, g_real.createFontW));
  CHECK(Patch("Rectangle", &HookRectangle, g_real.rectangle));
  CHECK(Patch("lstrlenW", &HookLstrlenW, g_real.lstrlenW));
  CHECK(Patch("TextOutW", &HookTextOutW, g_real.textOutW));
  CHECK(Patch("GetTextExtentExPointW", &HookGetTextExtentExPointW, g_real.getTextExtentExPointW));
  CHECK(Patch("ExtTextOutW", &HookExtTextOutW, g_real.extTextOutW));
  CHECK(Patch("MoveToEx", &HookMoveToEx, g_real.moveToEx));
  CHECK(Patch("LineTo", &HookLineTo, g_real.lineTo));
  CHECK(Patch("DeleteObject", &HookDeleteObject, g_real.deleteObject));
  CHECK(Patch("DeleteDC", &HookDeleteDC, g_real.deleteDC));
  CHECK(Patch("DrawIconEx", &HookDrawIconEx, g_real.drawIconEx));
  CHECK(Patch("CreateIconIndirect", &HookCreateIconIndirect, g_real.createIconIndirect));
  CHECK(Patch("DestroyIcon", &HookDestroyIcon, g_real.destroyIcon));
}

// Compares the calls written down with `expected`, showing the first difference.
void CheckTrace(const std::vector<std::string>& expected, const std::string& what, int line) {
  const std::vector<std::string>& actual = g_watch.trace;
  size_t same = 0;
  while (same < expected.size() && same < actual.size() && expected[same] == actual[same]) {
    ++same;
  }
  if (!Check(same == expected.size() && same == actual.size(), what + ": the calls in order",
             line)) {
    std::printf("  call %zu: expected %s\n  call %zu: got      %s\n", same,
                same < expected.size() ? expected[same].c_str() : "(no more calls)", same,
                same < actual.size() ? actual[same].c_str() : "(no more calls)");
  }
}

// ---- What one render is expected to call ------------------------------------------

struct Face {
  int32_t value;
  const char* text;  // as it is written into the label
  int fontHeight;
  int fontWeight;
  int x;
  int barLength;  // L for the renderer's total
  COLORREF barColour;
};

constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kYellow = RGB(255, 255, 0);
constexpr COLORREF kMagenta = RGB(255, 0, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kDigits = RGB(51, 54, 63);

void Append(std::vector<std::string>& calls, const std::vector<std::string>& more) {
  calls.insert(calls.end(), more.begin(), more.end());
}

std::vector<std::string> ExpectedDrawFace(const Face& face) {
  const std::string text = std::string("\"") + face.text + "\"";
  const std::string length = Int(static_cast<long long>(std::strlen(face.text)));
  std::vector<std::string> calls = {
      "CreatePen(0,1,rgb(255,255,255))=pen1",
      "CreatePen(0,1,rgb(0,0,0))=pen2",
      "CreateSolidBrush(rgb(0,0,0))=brush1",
      "SetBkMode(dc1,1)",
      "SetBkMode(dc2,1)",
      "SetTextColor(dc1,rgb(51,54,63))",
      "SelectObject(dc1,pen1)=default-pen",
      "CreateFontW(" + Int(face.fontHeight) + ",0,0,0," + Int(face.fontWeight) +
          ",0,0,0,0,0,0,2,0,\"Arial\")=font1",
      "SelectObject(dc1,font1)=default-font",
      "SelectObject(dc2,font1)=default-font",
      "Rectangle(dc1,0,0,16,10)",
      "SelectObject(dc2,brush1)=default-brush",
      "SelectObject(dc2,pen2)=default-pen",
      "Rectangle(dc2,0,0,16,10)",
      "lstrlenW(" + text + ")=" + length,
  };
  if (face.value < 10000) {
    Append(calls, {"TextOutW(dc1," + Int(face.x) + ",0," + text + "," + length + ")",
                   "TextOutW(dc2," + Int(face.x) + ",0," + text + "," + length + ")"});
  } else {
    // A figure with its unit: measured, and drawn with advances that keep it on the label.
    Append(calls, {"GetTextExtentExPointW(dc1," + text + "," + length + ")",
                   "ExtTextOutW(dc1,0,0,0,null," + text + "," + length + ",advances)",
                   "ExtTextOutW(dc2,0,0,0,null," + text + "," + length + ",advances)"});
  }
  Append(calls, {
                    "CreatePen(0,1," + Colour(face.barColour) + ")=pen3",
                    "SelectObject(dc1,default-pen)=pen1",
                    "DeleteObject(pen1)=1",
                    "SelectObject(dc1,pen3)=default-pen",
                });
  // Columns beyond 16 would lie outside the canvas: no pass is made for them.
  for (int i = 0; i <= face.barLength && i <= 16; ++i) {
    calls.push_back("MoveToEx(dc1," + Int(i) + ",12,null)");
    calls.push_back("LineTo(dc1," + Int(i) + ",16)");
    calls.push_back("MoveToEx(dc2," + Int(i) + ",12,null)");
    calls.push_back("LineTo(dc2," + Int(i) + ",16)");
  }
  for (const char* call : {
           "SelectObject(dc1,default-font)=font1",
           "SelectObject(dc2,default-font)=font1",
           "DeleteObject(font1)=1",
           "SelectObject(dc2,default-pen)=pen2",
           "DeleteObject(pen2)=1",
           "SelectObject(dc1,default-pen)=pen3",
           "DeleteObject(pen3)=1",
           "SelectObject(dc2,default-brush)=brush1",
           "DeleteObject(brush1)=1",
       }) {
    calls.push_back(call);
  }
  return calls;
}

// dc1 is the colour context, dc2 the mask context; bitmap1 the colour bitmap.
const std::vector<std::string> kRestoreBitmaps = {
    "SelectObject(dc1,default-bitmap)=bitmap1",
    "SelectObject(dc2,default-bitmap)=bitmap2",
};
const std::vector<std::string> kDeleteAll = {
    "DeleteObject(bitmap1)=1",
    "DeleteObject(bitmap2)=1",
    "DeleteDC(dc2)=1",
    "DeleteDC(dc1)=1",
};

std::vector<std::string> ExpectedBeforeFace() {
  return {
      "GetDC(null)=screen1",
      "CreateCompatibleDC(screen1)=dc1",
      "CreateCompatibleDC(screen1)=dc2",
      "CreateCompatibleBitmap(screen1,16,16)=bitmap1",
      "ReleaseDC(null,screen1)=1",
      "CreateCompatibleBitmap(dc2,16,16)=bitmap2",
      "SelectObject(dc1,bitmap1)=default-bitmap",
      "SelectObject(dc2,bitmap2)=default-bitmap",
      "BitBlt(dc1,0,0,16,16,null,0,0,0x42)=1",
      "BitBlt(dc2,0,0,16,16,null,0,0,0xff0062)=1",
  };
}

std::vector<std::string> ExpectedRender(const Face& face) {
  std::vector<std::string> calls = ExpectedBeforeFace();
  Append(calls, ExpectedDrawFace(face));
  Append(calls, {"DrawIconEx(dc1,0,0,base,16,16,0,null,3)=1",
                 "DrawIconEx(dc2,0,0,base,16,16,0,null,3)=1"});
  Append(calls, kRestoreBitmaps);
  Append(calls, {"CreateIconIndirect(icon,mask=bitmap2,colour=bitmap1)=icon1"});
  Append(calls, kDeleteAll);
  return calls;
}

// ---- Reading icons back -------------------------------------------------------------

constexpr int kSize = 16;
constexpr int kLargestSize = 32;  // the small-icon size at 200 per cent
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;

// Pixels as 0xRRGGBB, row 0 first, `size` a row; a mask pixel is 0 where the
// icon is opaque.
struct IconPixels {
  uint32_t colour[kLargestSize * kLargestSize];
  uint32_t mask[kLargestSize * kLargestSize];
  int colourBits;
  int size;
};

// `pixels` of the 16-pixel icon in the icon `size` pixels square, as the
// renderer scales its face: rounded to the nearest pixel.
int Scaled(int pixels, int size) {
  return (pixels * size + kSize / 2) / kSize;
}

uint32_t Rgb(COLORREF colour) {
  return (uint32_t{GetRValue(colour)} << 16) | (uint32_t{GetGValue(colour)} << 8) |
         GetBValue(colour);
}

bool ReadBitmap(HDC dc, HBITMAP bitmap, int size, uint32_t* pixels) {
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  format.bmiHeader.biWidth = size;
  format.bmiHeader.biHeight = -size;  // top-down
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  if (GetDIBits(dc, bitmap, 0, static_cast<UINT>(size), pixels, &format, DIB_RGB_COLORS) != size) {
    return false;
  }
  for (int i = 0; i < size * size; ++i) {
    pixels[i] &= 0xFFFFFF;
  }
  return true;
}

bool ReadIcon(HICON icon, IconPixels& pixels, int size = kSize) {
  ICONINFO info{};
  if (icon == nullptr || !GetIconInfo(icon, &info)) {
    return false;
  }
  BITMAP colour{};
  BITMAP mask{};
  GetObjectW(info.hbmColor, sizeof colour, &colour);
  GetObjectW(info.hbmMask, sizeof mask, &mask);
  pixels.colourBits = colour.bmBitsPixel;
  pixels.size = size;
  HDC const dc = CreateCompatibleDC(nullptr);
  const bool read = info.hbmColor != nullptr && colour.bmWidth == size && colour.bmHeight == size &&
                    mask.bmWidth == size && mask.bmHeight == size && mask.bmBitsPixel == 1 &&
                    size <= kLargestSize && ReadBitmap(dc, info.hbmColor, size, pixels.colour) &&
                    ReadBitmap(dc, info.hbmMask, size, pixels.mask);
  DeleteDC(dc);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  return read;
}

// One character per pixel: ' ' transparent, '.' white, '#' digit colour, '+'
// another shade, and G, Y, M, R for the bar colours.
void PrintIcon(const IconPixels& pixels) {
  const int size = pixels.size;
  for (int y = 0; y < size; ++y) {
    std::string row = "  |";
    for (int x = 0; x < size; ++x) {
      const uint32_t colour = pixels.colour[y * size + x];
      char c = '+';
      if (pixels.mask[y * size + x] != 0) {
        c = colour == kBlack ? ' ' : '?';
      } else if (colour == kWhite) {
        c = '.';
      } else if (colour == Rgb(kDigits)) {
        c = '#';
      } else if (colour == Rgb(kGreen)) {
        c = 'G';
      } else if (colour == Rgb(kYellow)) {
        c = 'Y';
      } else if (colour == Rgb(kMagenta)) {
        c = 'M';
      } else if (colour == Rgb(kRed)) {
        c = 'R';
      }
      row += c;
    }
    std::printf("%s|\n", row.c_str());
  }
}

// The finished picture: a white opaque label with digits from `face.x` on,
// two transparent rows, and L + 1 columns of bar. The colour bitmap has the
// screen's format, so colours are exact only on a true-colour screen (the
// virtual display is 24-bit). The substitute font's glyphs are smoothed and
// differ from the platform's own: only some pixels of the digit colour are
// asked for, not glyph shapes. A larger icon has the same plan, scaled.
void CheckPicture(const IconPixels& pixels, const Face& face, const std::string& what) {
  const int failedBefore = g_failed;
  const int size = pixels.size;
  const int labelRows = Scaled(10, size);
  const int barTop = Scaled(12, size);
  const int textX = Scaled(face.x, size);
  const int barColumns = Scaled(face.barLength + 1, size);
  bool labelOpaque = true;
  bool inkInPlace = true;
  int digitPixels = 0;
  for (int y = 0; y < labelRows; ++y) {
    for (int x = 0; x < size; ++x) {
      const uint32_t colour = pixels.colour[y * size + x];
      labelOpaque = labelOpaque && pixels.mask[y * size + x] == 0;
      if (colour != kWhite && x < textX) {
        inkInPlace = false;
      }
      digitPixels += colour == Rgb(kDigits) ? 1 : 0;
    }
  }
  CHECK_WHAT(labelOpaque, what + ": rows 0.." + Int(labelRows - 1) + " are opaque");
  CHECK_WHAT(inkInPlace, what + ": the label is white left of column " + Int(textX));
  CHECK_WHAT(digitPixels > 0, what + ": digits in rgb(51,54,63) in the label");
  CHECK_WHAT(digitPixels < labelRows * size / 2, what + ": the label is mostly white");

  bool gapTransparent = true;
  for (int i = labelRows * size; i < barTop * size; ++i) {
    gapTransparent = gapTransparent && pixels.mask[i] != 0 && pixels.colour[i] == kBlack;
  }
  CHECK_WHAT(gapTransparent,
             what + ": rows " + Int(labelRows) + ".." + Int(barTop - 1) + " are transparent");

  bool barRight = true;
  for (int y = barTop; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const int i = y * size + x;
      if (x < barColumns) {
        barRight = barRight && pixels.mask[i] == 0 && pixels.colour[i] == Rgb(face.barColour);
      } else {
        barRight = barRight && pixels.mask[i] != 0 && pixels.colour[i] == kBlack;
      }
    }
  }
  CHECK_WHAT(barRight, what + ": bar of " + Int(std::max(barColumns, 0)) + " columns in " +
                           Colour(face.barColour) + ", the rest transparent");
  if (g_verbose || g_failed != failedBefore) {
    std::printf("  %s:\n", what.c_str());
    PrintIcon(pixels);
  }
}

// The stand-in for icon resource 221: 16 by 16 and wholly transparent (every
// mask bit set, every colour bit zero).
HICON MakeTransparentIcon() {
  BYTE andMask[kSize * 2];
  BYTE colourBits[kSize * 2];
  std::memset(andMask, 0xFF, sizeof andMask);
  std::memset(colourBits, 0, sizeof colourBits);
  return CreateIcon(nullptr, kSize, kSize, 1, 1, andMask, colourBits);
}

TrayIconRenderer ReadyRenderer(HICON base, int32_t totalMB) {
  TrayIconRenderer renderer;
  renderer.totalMB = totalMB;
  renderer.baseIcon = base;
  renderer.ready = true;
  return renderer;
}

// ---- The checks ------------------------------------------------------------------------

void TestConstruction() {
  TrayIconRenderer renderer;
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  GlobalMemoryStatusEx(&status);
  Info("total physical memory: %lld MB", static_cast<long long>(status.ullTotalPhys >> 20));
  CHECK(renderer.totalMB == static_cast<int32_t>(status.ullTotalPhys >> 20));
  CHECK(renderer.totalMB > 0);
  CHECK(!renderer.ready);
  CHECK(renderer.baseIcon == nullptr);
  CHECK(renderer.width == 16);
  CHECK(renderer.height == 16);
}

// The documented faces for a total of 512 MB.
const Face kFaces[] = {
    {0, " 0", 12, 600, 3, 16, kRed},        {32, "32", 12, 600, 3, 15, kRed},
    {64, "64", 12, 600, 3, 14, kMagenta},   {96, "96", 12, 600, 3, 13, kYellow},
    {128, "128", 12, 500, 0, 12, kGreen},   {99, "99", 12, 600, 3, 13, kYellow},
    {100, "100", 12, 500, 0, 13, kYellow},  {999, "999", 12, 500, 0, -15, kGreen},
    {1000, "1000", 7, 200, 0, -15, kGreen}, {512, "512", 12, 500, 0, 0, kGreen},
};

void TestFaces(HICON base) {
  for (const Face& face : kFaces) {
    const std::string what = "value " + Int(face.value) + " of 512 MB";
    TrayIconRenderer renderer = ReadyRenderer(base, 512);
    StartWatch();
    NameHandle(base, "base");
    HICON const icon = renderer.IconFor(face.value);
    StopWatch();
    CheckTrace(ExpectedRender(face), what, __LINE__);
    IconPixels pixels{};
    if (CHECK_WHAT(ReadIcon(icon, pixels), what + ": the icon reads back as 16x16")) {
      Info("%s: colour bitmap of %d bits per pixel", what.c_str(), pixels.colourBits);
      CheckPicture(pixels, face, what);
    }
    DestroyIcon(icon);
  }
}

// Texts beyond the documented faces: from 10,000 MB on whole GiB, from 1,000
// GiB on whole TiB, each rounded to the nearest; negative numbers cut to the
// seven characters the buffer holds.
void TestTexts(HICON base) {
  const Face faces[] = {
      {5, " 5", 12, 600, 3, 16, kRed},
      {9999, "9999", 7, 200, 0, -296, kGreen},
      {10000, "10G", 7, 200, 0, -296, kGreen},
      {23451, "23G", 7, 200, 0, -716, kGreen},
      {99999, "98G", 7, 200, 0, -3108, kGreen},
      {102400, "100G", 7, 200, 0, -3184, kGreen},
      {1023487, "999G", 7, 200, 0, -31967, kGreen},
      {1023488, "1T", 7, 200, 0, -31968, kGreen},
      {1048576, "1T", 7, 200, 0, -32752, kGreen},
      {-5, "-5", 12, 600, 3, 16, kRed},
      {2147483647, "2048T", 7, 200, 0, -67108847, kGreen},
      {-2147483647 - 1, "-214748", 12, 600, 3, 67108880, kRed},
  };
  for (const Face& face : faces) {
    const std::string what = "value " + Int(face.value) + " of 512 MB";
    TrayIconRenderer renderer = ReadyRenderer(base, 512);
    StartWatch();
    NameHandle(base, "base");
    HICON const icon = renderer.Render(face.value);
    StopWatch();
    CheckTrace(ExpectedRender(face), what, __LINE__);
    CHECK_WHAT(icon != nullptr, what + ": an icon");
    DestroyIcon(icon);
  }
}

// Every label from 1,000 MB to 1 TiB, of each length, inks only the icon's
// columns: at 16 pixels, and at the small-icon sizes of 125 to 200 per cent.
void TestLabelsFit(HICON base) {
  for (const int32_t size : {16, 20, 24, 28, 32}) {
    TrayIconRenderer renderer = ReadyRenderer(base, 512);
    renderer.SetSize(size);
    std::set<size_t> lengths;
    long widest = 0;
    // Steps that meet every first digit of the four-digit labels and every
    // length of the others, up to 1 TiB itself.
    for (int32_t value = 1000;; value = std::min(value + (value < 10000 ? 1111 : 9973), 1048576)) {
      StartWatch();
      g_watch.tracing = false;
      DestroyIcon(renderer.Render(value));
      StopWatch();
      lengths.insert(g_watch.texts.empty() ? 0 : g_watch.texts.front().size() - 2);  // no quotes
      widest = std::max(widest, g_watch.inkRight);
      if (value == 1048576) {
        break;
      }
    }
    const std::string what = Int(size) + " pixels: ";
    Info("%s the widest label inks %ld columns", what.c_str(), widest);
    CHECK_WHAT(lengths == (std::set<size_t>{2, 3, 4}), what + "labels of 2, 3 and 4 characters");
    CHECK_WHAT(widest > 0 && widest <= size, what + "every label inside, widest " + Int(widest));
  }
}

// The icon's size in pixels, from its colour and mask bitmaps; 0 when they differ.
int IconSize(HICON icon) {
  ICONINFO info{};
  if (icon == nullptr || !GetIconInfo(icon, &info)) {
    return 0;
  }
  BITMAP colour{};
  BITMAP mask{};
  GetObjectW(info.hbmColor, sizeof colour, &colour);
  GetObjectW(info.hbmMask, sizeof mask, &mask);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  const bool square = colour.bmWidth == colour.bmHeight && mask.bmWidth == colour.bmWidth &&
                      mask.bmHeight == colour.bmHeight;
  return square ? colour.bmWidth : 0;
}

// A new size redraws the value shown last, at that size; the same size again
// draws nothing.
void TestResize(HICON base) {
  TrayIconRenderer renderer = ReadyRenderer(base, 512);
  HICON const small = renderer.IconFor(23451);
  CHECK(IconSize(small) == 16);
  renderer.SetSize(24);
  StartWatch();
  NameHandle(small, "previous");
  HICON const large = renderer.IconFor(23451);
  StopWatch();
  CHECK_WHAT(!g_watch.trace.empty() && g_watch.trace.front() == "DestroyIcon(previous)=1",
             "the 16-pixel icon goes first");
  CHECK(large != nullptr && large != small);
  CHECK_WHAT(IconSize(large) == 24, "the icon is 24 by 24 after SetSize(24)");
  renderer.SetSize(24);
  StartWatch();
  CHECK(renderer.IconFor(23451) == large);
  StopWatch();
  CHECK_WHAT(g_watch.trace.empty(), "the same size again draws nothing");

  // The face at 24 pixels: the documented faces' plan, scaled by one and a half.
  for (const Face& face : {kFaces[2], kFaces[8], kFaces[9]}) {
    const std::string what = "value " + Int(face.value) + " of 512 MB at 24 pixels";
    TrayIconRenderer scaled = ReadyRenderer(base, 512);
    scaled.SetSize(24);
    HICON const icon = scaled.IconFor(face.value);
    IconPixels pixels{};
    if (CHECK_WHAT(ReadIcon(icon, pixels, 24), what + ": the icon reads back as 24x24")) {
      CheckPicture(pixels, face, what);
    }
    DestroyIcon(icon);
  }
}

void TestCache(HICON base) {
  TrayIconRenderer renderer = ReadyRenderer(base, 512);
  HICON const first = renderer.IconFor(200);
  CHECK(first != nullptr);

  StartWatch();
  HICON const again = renderer.IconFor(200);
  StopWatch();
  CHECK(again == first);
  CHECK_WHAT(g_watch.trace.empty(), "the same value draws nothing");

  // A new value destroys the previous icon first, then draws.
  StartWatch();
  NameHandle(base, "base");
  NameHandle(first, "previous");
  HICON const second = renderer.IconFor(64);
  StopWatch();
  CHECK(second != nullptr);
  CHECK(second != first);
  std::vector<std::string> expected = {"DestroyIcon(previous)=1"};
  Append(expected, ExpectedRender(kFaces[2]));
  CheckTrace(expected, "a new value", __LINE__);
  CHECK(renderer.IconFor(64) == second);
}

void TestNotReady(HICON base) {
  TrayIconRenderer renderer;
  renderer.totalMB = 512;
  StartWatch();
  CHECK(renderer.IconFor(100) == nullptr);
  StopWatch();
  CHECK_WHAT(g_watch.trace.empty(), "nothing is drawn before ready");

  // The value is remembered: once ready, the same value still gives the null icon.
  renderer.baseIcon = base;
  renderer.ready = true;
  StartWatch();
  CHECK(renderer.IconFor(100) == nullptr);
  StopWatch();
  CHECK_WHAT(g_watch.trace.empty(), "the value before ready is remembered");

  StartWatch();
  NameHandle(base, "base");
  HICON const icon = renderer.IconFor(99);
  StopWatch();
  CHECK(icon != nullptr);
  std::vector<std::string> expected = {"DestroyIcon(null)=0"};
  Append(expected, ExpectedRender(kFaces[5]));
  CheckTrace(expected, "the first value after ready", __LINE__);
}

// A total below 1 MB counts as 1.
void TestZeroTotal(HICON base) {
  for (const int32_t total : {0, -8}) {
    const Face faces[] = {
        {0, " 0", 12, 600, 3, 16, kRed},
        {1, " 1", 12, 600, 3, 0, kGreen},
        {5, " 5", 12, 600, 3, -64, kGreen},
    };
    for (const Face& face : faces) {
      const std::string what = "value " + Int(face.value) + " of " + Int(total) + " MB";
      TrayIconRenderer renderer = ReadyRenderer(base, total);
      HICON const icon = renderer.IconFor(face.value);
      IconPixels pixels{};
      if (CHECK_WHAT(ReadIcon(icon, pixels), what + ": an icon")) {
        CheckPicture(pixels, face, what);
      }
      DestroyIcon(icon);
    }
  }
}

// Each render failing at one step: a null icon, everything obtained so far
// released in order (the previous bitmaps put back first), nothing left over.
void TestFailingSteps(HICON base) {
  const std::string colourBlit = "BitBlt(dc1,0,0,16,16,null,0,0,0x42)=1";
  const std::string maskBlit = "BitBlt(dc2,0,0,16,16,null,0,0,0xff0062)=1";
  const std::string maskDraw = "DrawIconEx(dc2,0,0,base,16,16,0,null,3)=1";
  struct Case {
    const char* call;
    int occurrence;
    std::vector<std::string> after;  // the calls after the failing one
  };
  std::vector<Case> cases = {
      {"GetDC",
       1,
       {"CreateCompatibleDC(null)=dc1", "CreateCompatibleDC(null)=dc2", "DeleteDC(dc2)=1",
        "DeleteDC(dc1)=1"}},
      {"CreateCompatibleDC",
       1,
       {"CreateCompatibleDC(screen1)=dc1", "ReleaseDC(null,screen1)=1", "DeleteDC(dc1)=1"}},
      {"CreateCompatibleDC", 2, {"ReleaseDC(null,screen1)=1", "DeleteDC(dc1)=1"}},
      {"CreateCompatibleBitmap",
       1,
       {"ReleaseDC(null,screen1)=1", "DeleteDC(dc2)=1", "DeleteDC(dc1)=1"}},
      {"ReleaseDC", 1, {"DeleteObject(bitmap1)=1", "DeleteDC(dc2)=1", "DeleteDC(dc1)=1"}},
      {"CreateCompatibleBitmap",
       2,
       {"DeleteObject(bitmap1)=1", "DeleteDC(dc2)=1", "DeleteDC(dc1)=1"}},
      {"SelectObject",
       1,
       {"SelectObject(dc2,bitmap2)=default-bitmap", "SelectObject(dc2,default-bitmap)=bitmap2"}},
      {"SelectObject", 2, {"SelectObject(dc1,default-bitmap)=bitmap1"}},
      {"BitBlt", 1, {maskBlit}},
      {"BitBlt", 2, {}},
      {"DrawIconEx", 1, {maskDraw}},
      {"DrawIconEx", 2, {}},
      {"CreateIconIndirect", 1, {}},
  };
  for (Case& one : cases) {
    const std::string name = one.call;
    if (name == "SelectObject" || name == "BitBlt") {
      if (name == "BitBlt") {
        Append(one.after, kRestoreBitmaps);
      }
      Append(one.after, kDeleteAll);
    } else if (name == "DrawIconEx") {
      Append(one.after, kRestoreBitmaps);
      Append(one.after, kDeleteAll);
    } else if (name == "CreateIconIndirect") {
      Append(one.after, kDeleteAll);
    }
  }
  for (const Case& one : cases) {
    const std::string what = std::string(one.call) + " #" + Int(one.occurrence) + " failing";
    TrayIconRenderer renderer = ReadyRenderer(base, 512);
    const size_t liveBefore = g_watch.live.size();
    StartWatch(one.call, one.occurrence);
    NameHandle(base, "base");
    HICON const icon = renderer.Render(64);
    StopWatch();
    CHECK_WHAT(icon == nullptr, what + ": no icon");
    CHECK_WHAT(g_watch.live.size() == liveBefore, what + ": nothing left over");
    size_t failed = 0;
    while (failed < g_watch.trace.size() &&
           g_watch.trace[failed].find("=FAILED") == std::string::npos) {
      ++failed;
    }
    if (CHECK_WHAT(failed < g_watch.trace.size(), what + ": the failure happened")) {
      g_watch.trace.erase(g_watch.trace.begin(), g_watch.trace.begin() + failed + 1);
      CheckTrace(one.after, what + ", the clean-up", __LINE__);
    }
  }
}

// A null base icon fails every render; the null icon is cached like any other.
void TestNullBase() {
  TrayIconRenderer renderer;
  renderer.totalMB = 512;
  renderer.ready = true;
  const size_t liveBefore = g_watch.live.size();
  StartWatch();
  HICON const icon = renderer.IconFor(64);
  StopWatch();
  CHECK(icon == nullptr);
  CHECK_WHAT(g_watch.live.size() == liveBefore, "null base icon: nothing left over");
  std::vector<std::string> expected = ExpectedBeforeFace();
  Append(expected, ExpectedDrawFace(kFaces[2]));
  Append(expected, {"DrawIconEx(dc1,0,0,null,16,16,0,null,3)=0",
                    "DrawIconEx(dc2,0,0,null,16,16,0,null,3)=0"});
  Append(expected, kRestoreBitmaps);
  Append(expected, kDeleteAll);
  CheckTrace(expected, "null base icon", __LINE__);

  StartWatch();
  CHECK(renderer.IconFor(64) == nullptr);
  StopWatch();
  CHECK_WHAT(g_watch.trace.empty(), "null base icon: no new attempt for the same value");
}

// Many renders leave nothing behind but the one live icon.
void TestNoLeaks(HICON base) {
  constexpr int kRenders = 1000;
  TrayIconRenderer renderer = ReadyRenderer(base, 512);
  HANDLE const process = GetCurrentProcess();
  const size_t liveBefore = g_watch.live.size();
  StartWatch();
  g_watch.tracing = false;
  renderer.IconFor(300);
  const DWORD gdiBefore = GetGuiResources(process, GR_GDIOBJECTS);
  const DWORD userBefore = GetGuiResources(process, GR_USEROBJECTS);
  const long createdBefore = g_watch.created;
  const long releasedBefore = g_watch.released;
  bool allDrawn = true;
  for (int i = 1; i <= kRenders; ++i) {
    allDrawn = allDrawn && renderer.IconFor(i % 2 == 0 ? 300 : 301) != nullptr;
  }
  // The objects of the last render, to look at once it has released them.
  g_watch.made.clear();
  HICON const last = renderer.IconFor(302);
  const std::vector<const void*> lastMade = g_watch.made;
  StopWatch();
  const DWORD gdiAfter = GetGuiResources(process, GR_GDIOBJECTS);
  const DWORD userAfter = GetGuiResources(process, GR_USEROBJECTS);
  const long created = g_watch.created - createdBefore;
  const long released = g_watch.released - releasedBefore;

  CHECK_WHAT(allDrawn, "1000 renders: every one gave an icon");
  Info("1001 renders: %ld objects made, %ld released", created, released);
  CHECK_WHAT(created == 1001 * 11, "1001 renders: 11 objects made by each");
  CHECK_WHAT(created == released, "1001 renders: as many released as made");
  CHECK_WHAT(g_watch.live.size() == liveBefore + 1 && g_watch.live.count(last) == 1,
             "1001 renders: only the last icon lives");
  // The screen context is the system's, kept for reuse after its release.
  bool allGone = true;
  for (const void* handle : lastMade) {
    const std::string& name = g_watch.names[handle];
    if (name.rfind("screen", 0) != 0 && handle != last &&
        GetObjectType(const_cast<void*>(handle)) != 0) {
      allGone = false;
    }
  }
  CHECK_WHAT(allGone, "the last render's contexts, bitmaps, pens, brush and font are gone");

  std::printf("info: GetGuiResources: GDI objects %lu before, %lu after; user objects %lu, %lu\n",
              gdiBefore, gdiAfter, userBefore, userAfter);
  if (gdiBefore == 0 && gdiAfter == 0) {
    std::printf(
        "info: GetGuiResources reports no GDI objects on this system; the objects are "
        "counted through the watched calls instead\n");
  } else {
    CHECK_WHAT(gdiAfter == gdiBefore, "1001 renders: the process's GDI object count is unchanged");
    CHECK_WHAT(userAfter == userBefore,
               "1001 renders: the process's user object count is unchanged");
  }
}

}  // namespace

int main(int argc, char** argv) {
  g_verbose = argc > 1 && std::strcmp(argv[1], "-v") == 0;

  InstallHooks();
  HICON const base = MakeTransparentIcon();
  CHECK(base != nullptr);

  TestConstruction();
  TestFaces(base);
  TestTexts(base);
  TestLabelsFit(base);
  TestResize(base);
  TestCache(base);
  TestNotReady(base);
  TestZeroTotal(base);
  TestFailingSteps(base);
  TestNullBase();
  TestNoLeaks(base);

  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  std::fflush(stdout);
  return g_failed == 0 ? 0 : 1;
}
