// The crash guard: catches an access violation (SIGSEGV, SIGBUS) on the calling thread inside a
// guarded region and brings execution back to the region's start, with the faulting address and
// the general registers, so that the caller can report it and close down in order.
//
// Signal actions are process-wide: the guard's handler is installed when the first region opens
// (on any thread) and the previous actions come back when the last one closes. Which thread is
// inside a region is thread-local, so a fault on an unguarded thread is left to the previous
// action, as if the guard were not there.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE  // REG_RAX and friends in <sys/ucontext.h>
#endif

#include "platform/Platform.h"

#include <csetjmp>
#include <csignal>
#include <cstdlib>
#include <mutex>

#include <sys/ucontext.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr int GUARDED_SIGNALS[] = {SIGSEGV, SIGBUS};
constexpr size_t SIGNAL_COUNT = sizeof(GUARDED_SIGNALS) / sizeof(GUARDED_SIGNALS[0]);
// The handler needs little stack, but sanitizer runtimes on the same stack want more.
constexpr size_t ALT_STACK_BYTES = 64 * 1024;

// The innermost open region of this thread: where to jump, and where to write what was seen.
// None outside a region. Written only by this thread; read by the handler on this thread.
thread_local sigjmp_buf* volatile regionJump = nullptr;
thread_local CrashInfo* volatile regionInfo = nullptr;

std::mutex installMutex;
int regionsOpen = 0;  // over every thread, under installMutex
struct sigaction previousActions[SIGNAL_COUNT];

int SignalSlot(int signal) {
  for (size_t i = 0; i < SIGNAL_COUNT; ++i) {
    if (GUARDED_SIGNALS[i] == signal) return static_cast<int>(i);
  }
  return -1;
}

void CopyRegisters(const void* context, CrashInfo* info) {
  const ucontext_t* uc = static_cast<const ucontext_t*>(context);
  int n = 0;
  auto add = [&](const char* name, uint64_t value) {
    if (n < CrashInfo::REGISTERS_MAX) {
      info->registerNames[n] = name;
      info->registers[n] = value;
      ++n;
    }
  };
#if defined(__x86_64__)
  const greg_t* g = uc->uc_mcontext.gregs;
  add("RAX", g[REG_RAX]);
  add("RBX", g[REG_RBX]);
  add("RCX", g[REG_RCX]);
  add("RDX", g[REG_RDX]);
  add("RSI", g[REG_RSI]);
  add("RDI", g[REG_RDI]);
  add("RBP", g[REG_RBP]);
  add("RSP", g[REG_RSP]);
  add("R8", g[REG_R8]);
  add("R9", g[REG_R9]);
  add("R10", g[REG_R10]);
  add("R11", g[REG_R11]);
  add("R12", g[REG_R12]);
  add("R13", g[REG_R13]);
  add("R14", g[REG_R14]);
  add("R15", g[REG_R15]);
  add("RIP", g[REG_RIP]);
  info->instruction = static_cast<uintptr_t>(g[REG_RIP]);
#elif defined(__i386__)
  const greg_t* g = uc->uc_mcontext.gregs;
  add("EAX", static_cast<uint32_t>(g[REG_EAX]));
  add("EBX", static_cast<uint32_t>(g[REG_EBX]));
  add("ECX", static_cast<uint32_t>(g[REG_ECX]));
  add("EDX", static_cast<uint32_t>(g[REG_EDX]));
  add("ESI", static_cast<uint32_t>(g[REG_ESI]));
  add("EDI", static_cast<uint32_t>(g[REG_EDI]));
  add("EBP", static_cast<uint32_t>(g[REG_EBP]));
  add("ESP", static_cast<uint32_t>(g[REG_ESP]));
  add("EIP", static_cast<uint32_t>(g[REG_EIP]));
  info->instruction = static_cast<uint32_t>(g[REG_EIP]);
#elif defined(__aarch64__)
  static const char* const NAMES[] = {"X0", "X1", "X2",  "X3",  "X4",  "X5",  "X6",  "X7",
                                      "X8", "X9", "X10", "X11", "X12", "X13", "X14", "X15"};
  for (int i = 0; i < 16; ++i) add(NAMES[i], uc->uc_mcontext.regs[i]);
  add("SP", uc->uc_mcontext.sp);
  add("PC", uc->uc_mcontext.pc);
  info->instruction = static_cast<uintptr_t>(uc->uc_mcontext.pc);
#else
  (void)uc;
  (void)add;
#endif
  info->registerCount = n;
}

void GuardHandler(int signal, siginfo_t* siginfo, void* context) {
  sigjmp_buf* jump = regionJump;
  CrashInfo* info = regionInfo;
  if (!jump) {
    // Not ours: hand the signal back to whoever had it and let the fault happen again on return,
    // so an unguarded thread crashes (or is handled) exactly as without the guard.
    int slot = SignalSlot(signal);
    if (slot >= 0) sigaction(signal, &previousActions[slot], nullptr);
    return;
  }
  if (info) {
    info->signal = signal;
    info->address = reinterpret_cast<uintptr_t>(siginfo->si_addr);
    CopyRegisters(context, info);
  }
  // The region is over once it is left; the jump restores the signal mask it saved.
  regionJump = nullptr;
  siglongjmp(*jump, 1);
}

void InstallHandlers() {
  std::lock_guard<std::mutex> lock(installMutex);
  if (regionsOpen++ > 0) return;
  struct sigaction action = {};
  action.sa_sigaction = GuardHandler;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < SIGNAL_COUNT; ++i) {
    sigaction(GUARDED_SIGNALS[i], &action, &previousActions[i]);
  }
}

void RestoreHandlers() {
  std::lock_guard<std::mutex> lock(installMutex);
  if (--regionsOpen > 0) return;
  for (size_t i = 0; i < SIGNAL_COUNT; ++i) {
    sigaction(GUARDED_SIGNALS[i], &previousActions[i], nullptr);
  }
}

// The alternate stack's memory: one per thread, made at the thread's first region and kept until
// the thread ends. A region opened after a fault (the cleanup's) must not need the allocator,
// which the fault may have left locked.
struct AltStackMemory {
  void* memory = nullptr;
  ~AltStackMemory() { std::free(memory); }
};
thread_local AltStackMemory altStackMemory;

// A fault from a stack overflow can't run its handler on the stack that overflowed.
struct AltStack {
  stack_t previous = {};
  bool installed = false;

  AltStack() {
    if (!altStackMemory.memory) altStackMemory.memory = std::malloc(ALT_STACK_BYTES);
    if (!altStackMemory.memory) return;
    stack_t stack = {};
    stack.ss_sp = altStackMemory.memory;
    stack.ss_size = ALT_STACK_BYTES;
    installed = sigaltstack(&stack, &previous) == 0;
  }
  ~AltStack() {
    if (!installed) return;
    if (previous.ss_flags & SS_DISABLE) {
      stack_t off = {};
      off.ss_flags = SS_DISABLE;
      sigaltstack(&off, nullptr);
    } else {
      sigaltstack(&previous, nullptr);
    }
  }
};

}  // namespace

bool RunGuarded(void (*body)(void* context), void* context, CrashInfo* info) {
  if (info) *info = CrashInfo{};
  if (!body) return true;
  AltStack altStack;
  InstallHandlers();

  // Regions nest: the outer region's jump comes back when this one closes.
  sigjmp_buf* outerJump = regionJump;
  CrashInfo* outerInfo = regionInfo;
  sigjmp_buf jump;
  volatile bool returned = true;
  if (sigsetjmp(jump, 1) == 0) {
    regionInfo = info;
    regionJump = &jump;
    body(context);
  } else {
    returned = false;
  }
  regionJump = outerJump;
  regionInfo = outerInfo;

  RestoreHandlers();
  return returned;
}

}  // namespace platform
