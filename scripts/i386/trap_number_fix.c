/* Preloaded into the 32-bit Wine when it runs under qemu-i386 (user-mode emulation, on kernels that
 * run no 32-bit programs). qemu hands every synchronous signal to the program with the trap number
 * in the signal context set to -1. Wine decides from that number what went wrong, so it reports every
 * access violation as an illegal instruction, and its own guarded reads (IsBadReadPtr, lstrlenA(NULL))
 * crash instead of failing. This library wraps sigaction and, before the program's handler sees a
 * fault signal, fills in the trap number the kernel would have given.
 *
 * It can go once qemu fills in the trap number itself: then it changes nothing (it only touches a
 * trap number of -1), and Wine's log no longer says "Got unexpected trap -1" without it.
 *
 * Built without any 32-bit headers (scripts/i386/install.sh): gcc -m32 -nostdlib -shared -fPIC
 * against the 32-bit libc. The few structure layouts it needs are i386 glibc's, written out below. */

typedef void (*SignalHandler)(int signal, void* info, void* context);

/* struct sigaction of i386 glibc: the handler, a 1024-bit mask, the flags, the restorer. */
struct SignalAction {
    SignalHandler handler;
    unsigned long mask[32];
    int flags;
    void (*restorer)(void);
};

enum {
    kSaSigInfo = 4,
    kSignalCount = 65,
    /* ucontext_t: flags, link, a 12-byte stack_t, then the registers; the trap number is register 12. */
    kTrapNumberOffset = 20 + 12 * 4,
    kSiCodeOffset = 8, /* siginfo_t: signal number, errno, code */
};

extern void* dlsym(void* handle, const char* name);
#define RTLD_NEXT ((void*)-1l)

static SignalHandler program_handlers[kSignalCount];
static int (*real_sigaction)(int, const struct SignalAction*, struct SignalAction*);

/* The x86 trap that raises each fault signal; -1 for signals that are not faults. */
static int TrapNumberFor(int signal, int code) {
    switch (signal) {
        case 11: /* SIGSEGV: page fault */
            return 14;
        case 5: /* SIGTRAP: single step (TRAP_TRACE) or breakpoint */
            return code == 2 ? 1 : 3;
        case 4: /* SIGILL: invalid opcode */
            return 6;
        case 8: /* SIGFPE: divide error (FPE_INTDIV), overflow (FPE_INTOVF), else x87 error */
            return code == 1 ? 0 : code == 2 ? 4 : 16;
        case 7: /* SIGBUS: alignment check */
            return 17;
        default:
            return -1;
    }
}

static void FillInTrapNumber(int signal, void* info, void* context) {
    int* trap_number = (int*)((char*)context + kTrapNumberOffset);
    if (*trap_number == -1) {
        *trap_number = TrapNumberFor(signal, *(int*)((char*)info + kSiCodeOffset));
    }
    program_handlers[signal](signal, info, context);
}

int sigaction(int signal, const struct SignalAction* action, struct SignalAction* old_action) {
    if (real_sigaction == 0) {
        real_sigaction = (int (*)(int, const struct SignalAction*, struct SignalAction*))dlsym(RTLD_NEXT, "sigaction");
    }
    int known = signal > 0 && signal < kSignalCount;
    int wrap = known && action != 0 && (action->flags & kSaSigInfo) && TrapNumberFor(signal, 0) != -1;
    struct SignalAction wrapped;
    if (wrap) {
        wrapped = *action;
        wrapped.handler = FillInTrapNumber;
    }
    SignalHandler previous = known ? program_handlers[signal] : 0;
    int result = real_sigaction(signal, wrap ? &wrapped : action, old_action);
    if (result == 0 && known) {
        /* The program sees its own handler, never the wrapper. */
        if (old_action != 0 && old_action->handler == FillInTrapNumber) {
            old_action->handler = previous;
        }
        if (action != 0) {
            program_handlers[signal] = wrap ? action->handler : 0;
        }
    }
    return result;
}
