#include "client/main/fault_frame.h"

#include <windows.h>

#include <cstdint>

// How it works: the work is called from a small frame that carries an
// exception handler in the system's own structured exception handling (a
// table entry on x64, a registration record on x86). The system calls it only
// for an exception that every frame below left alone. For a processor fault
// the handler points the faulting thread at a landing function, on the same
// stack below the fault, and lets the thread go on there; the landing jumps
// back to the point saved before the work began, without unwinding.

namespace olvex {
namespace {

// What __builtin_setjmp keeps: five words.
struct Landing {
    void* buffer[5];
};

// The landing of the work running on this thread under a fault frame.
thread_local Landing* t_landing = nullptr;

bool IsProcessorFault(DWORD code) {
    switch (code) {
        case EXCEPTION_ACCESS_VIOLATION:
        case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
        case EXCEPTION_DATATYPE_MISALIGNMENT:
        case EXCEPTION_FLT_DENORMAL_OPERAND:
        case EXCEPTION_FLT_DIVIDE_BY_ZERO:
        case EXCEPTION_FLT_INEXACT_RESULT:
        case EXCEPTION_FLT_INVALID_OPERATION:
        case EXCEPTION_FLT_OVERFLOW:
        case EXCEPTION_FLT_STACK_CHECK:
        case EXCEPTION_FLT_UNDERFLOW:
        case EXCEPTION_ILLEGAL_INSTRUCTION:
        case EXCEPTION_IN_PAGE_ERROR:
        case EXCEPTION_INT_DIVIDE_BY_ZERO:
        case EXCEPTION_INT_OVERFLOW:
        case EXCEPTION_PRIV_INSTRUCTION:
            return true;
        default:
            // A stack overflow leaves no stack to land on; anything else
            // raised on purpose is its raiser's business.
            return false;
    }
}

[[noreturn]] __attribute__((noinline)) void LandAfterFault() {
    __builtin_longjmp(t_landing->buffer, 1);
}

// Where the thread goes on after a fault: the landing function, called as
// if from the faulting instruction, with its stack well below the faulting
// code's.
constexpr std::uintptr_t kStackGap = 512;

std::uintptr_t LandingStack(std::uintptr_t faulting_stack) {
    std::uintptr_t stack = (faulting_stack - kStackGap) & ~static_cast<std::uintptr_t>(15);
    // As after a call: room for the return address.
    return stack - sizeof(void*);
}

constexpr DWORD kUnwinding = 0x2 | 0x4;  // EXCEPTION_UNWINDING, EXCEPTION_EXIT_UNWIND
constexpr DWORD kNoncontinuable = 0x1;

}  // namespace
}  // namespace olvex

extern "C" EXCEPTION_DISPOSITION olvex_fault_frame_handler(EXCEPTION_RECORD* record, void*,
                                                           CONTEXT* context, void*) {
    using namespace olvex;
    if (record == nullptr || context == nullptr || t_landing == nullptr ||
        (record->ExceptionFlags & (kUnwinding | kNoncontinuable)) != 0 ||
        !IsProcessorFault(record->ExceptionCode))
        return ExceptionContinueSearch;
#if defined(__x86_64__)
    context->Rsp = LandingStack(context->Rsp);
    context->Rip = reinterpret_cast<std::uintptr_t>(&LandAfterFault);
#else
    context->Esp = LandingStack(context->Esp);
    context->Eip = reinterpret_cast<std::uintptr_t>(&LandAfterFault);
#endif
    return ExceptionContinueExecution;
}

#if defined(__x86_64__)
// The frame with the handler: x64 finds handlers through the unwind tables,
// so it is written with its unwind directives.
extern "C" void olvex_call_in_fault_frame(void (*function)(void*), void* context);
asm(R"(
    .text
    .p2align 4
    .globl olvex_call_in_fault_frame
    .def olvex_call_in_fault_frame; .scl 2; .type 32; .endef
    .seh_proc olvex_call_in_fault_frame
olvex_call_in_fault_frame:
    subq $40, %rsp
    .seh_stackalloc 40
    .seh_endprologue
    .seh_handler olvex_fault_frame_handler, @except
    movq %rcx, %rax
    movq %rdx, %rcx
    call *%rax
    nop
    addq $40, %rsp
    ret
    .seh_endproc
)");
#else
namespace {

// x86 chains its handlers through registration records on the stack.
struct Registration {
    Registration* next;
    void* handler;
};

Registration* ChainHead() {
    Registration* head = nullptr;
    asm volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}

void SetChainHead(Registration* head) {
    asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
}

}  // namespace

extern "C" __attribute__((noinline)) void olvex_call_in_fault_frame(void (*function)(void*),
                                                                    void* context) {
    Registration registration{ChainHead(), reinterpret_cast<void*>(&olvex_fault_frame_handler)};
    SetChainHead(&registration);
    function(context);
    SetChainHead(registration.next);
}
#endif

namespace olvex {

__attribute__((noinline)) bool RunCatchingProcessorFaults(void (*function)(void*), void* context) {
    Landing landing{};
    Landing* volatile previous = t_landing;
#if !defined(__x86_64__)
    // A fault leaves the frame's record in the chain; the head goes back.
    void* volatile chain = ChainHead();
#endif
    t_landing = &landing;
    if (__builtin_setjmp(landing.buffer) != 0) {
#if !defined(__x86_64__)
        SetChainHead(static_cast<Registration*>(chain));
#endif
        t_landing = previous;
        return false;
    }
    olvex_call_in_fault_frame(function, context);
    t_landing = previous;
    return true;
}

}  // namespace olvex
