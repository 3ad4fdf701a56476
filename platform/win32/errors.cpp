// Last error and structured-exception guards.
//
// MinGW GCC has no __try/__except, so the guard is built here from two parts:
// a vectored exception handler, installed once for the process, and a chain of
// guard frames per thread, innermost first, kept in a Win32 TLS slot. Entering a
// guard records where to resume with __builtin_setjmp (a handful of stores, no
// allocation) and links the frame. When a fault is raised on a thread whose
// chain is not empty, the handler rewrites the faulting context so that the
// thread continues in a small resume routine instead of retrying the faulting
// instruction; that routine jumps back into the innermost RunGuarded, which
// unlinks its frame and returns false. Any other exception, and any fault on a
// thread outside a guard, is left to the normal handling.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <exception>

#include "platform/platform.h"

// What ends a program when a C++ exception finds no handler. None should: no
// exception leaves a function here, but the library may still throw, a
// std::bad_alloc for one. The library's own handler writes the exception's
// type to standard error before it aborts, and for that brings its demangler
// into every program, some 45 KB of each, for a line that a service or a
// program without a console never shows. This one aborts as that one does.
// It lives in this file because every program links this file's guards: the
// definition is in the link before the library's handler is looked for.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
  std::abort();
}
}  // namespace __gnu_cxx

namespace plat {

uint32_t LastError() {
  return GetLastError();
}

namespace {

// One active guard; it lives in the frame of the RunGuarded call that owns it.
struct GuardFrame {
  void* resume[5];  // __builtin_setjmp buffer: frame pointer, resume label, stack pointer
  GuardFrame* outer;
};

// The TLS slot holding the calling thread's innermost GuardFrame. Set before
// the handler is installed and never changed afterwards.
DWORD g_frameSlot = TLS_OUT_OF_INDEXES;

// TlsGetValue clears the last error on success; callers of RunGuarded read the
// last error their body left behind, and a fault passed on must not disturb it
// either, so it is put back.
GuardFrame* InnermostFrame() {
  DWORD const saved = GetLastError();
  auto* const frame = static_cast<GuardFrame*>(TlsGetValue(g_frameSlot));
  SetLastError(saved);
  return frame;
}

// TlsSetValue leaves the last error alone for a valid slot.
void SetInnermostFrame(GuardFrame* frame) {
  TlsSetValue(g_frameSlot, frame);
}

// The faults a guard ends its body for: what a stray pointer, a bad entry point
// or a bad division raises. Stack overflow is not among them: the thread would
// go on without its guard page. Software exceptions (C++ throws, debug output,
// thread naming) are never faults.
bool IsFault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_GUARD_PAGE:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
      return true;
    default:
      return false;
  }
}

// Where a thread continues after a fault inside a guard: straight back into the
// innermost RunGuarded, abandoning the frames of the body.
[[noreturn]] __attribute__((noinline)) void ResumeAtInnermostGuard() {
  GuardFrame* const frame = InnermostFrame();
  __builtin_longjmp(frame->resume, 1);
}

LONG CALLBACK CatchGuardedFault(EXCEPTION_POINTERS* info) {
  EXCEPTION_RECORD const* const record = info->ExceptionRecord;
  if (!IsFault(record->ExceptionCode) || (record->ExceptionFlags & EXCEPTION_NONCONTINUABLE) != 0) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  if (InnermostFrame() == nullptr) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  CONTEXT* const context = info->ContextRecord;
  // The resume routine runs on the stack below the faulting one. The exception
  // dispatch that called us already used far more than that region, so it is
  // committed. The stack pointer is aligned as at a function's entry (just
  // after a call pushed the return address), with the direction flag clear as
  // every call expects.
  DWORD64 const below = (context->Rsp - 256) & ~DWORD64{15};
  context->Rsp = below - 8;
  context->Rip = reinterpret_cast<DWORD64>(&ResumeAtInnermostGuard);
  context->EFlags &= ~DWORD{0x400};
  return EXCEPTION_CONTINUE_EXECUTION;
}

bool InstallGuardHandler() {
  g_frameSlot = TlsAlloc();
  if (g_frameSlot == TLS_OUT_OF_INDEXES) {
    return false;
  }
  // First in line, so that a guarded fault never reaches another handler.
  return AddVectoredExceptionHandler(1, &CatchGuardedFault) != nullptr;
}

}  // namespace

bool RunGuarded(void (*body)(void*), void* context) {
  static bool const installed = InstallGuardHandler();
  if (!installed) {
    // Without a handler the body could not be protected; not running it is
    // the answer the callers already handle for a faulted body.
    return false;
  }

  GuardFrame frame;
  frame.outer = InnermostFrame();
  // The frame leaves the chain on every way out: a normal return, a fault, and
  // a C++ exception thrown through the body, whose dead frame would otherwise
  // catch the next fault outside any guard.
  struct Unlink {
    GuardFrame* outer;
    ~Unlink() { SetInnermostFrame(outer); }
  } const unlink{frame.outer};
  SetInnermostFrame(&frame);
  if (__builtin_setjmp(frame.resume) != 0) {
    // Back here from ResumeAtInnermostGuard: the body faulted.
    return false;
  }
  body(context);
  return true;
}

void SetLastError(uint32_t error) {
  ::SetLastError(error);
}

}  // namespace plat
