// Declarations of the Win32 functions and types the helper uses, for the native
// Linux build; the unit tests link a fake that implements them.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define WINAPI
#define CALLBACK

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t SIZE_T;
typedef const char *LPCSTR;
typedef char *LPSTR;
typedef void *HANDLE;
typedef void *HWND;
typedef struct NativeModule *HMODULE;
typedef struct NativeWindowStation *HWINSTA;
typedef intptr_t(WINAPI *FARPROC)();

#define EXCEPTION_MAXIMUM_PARAMETERS 15
#define EXCEPTION_NONCONTINUABLE 1
#define EXCEPTION_CONTINUE_SEARCH 0
#define EXCEPTION_CONTINUE_EXECUTION (-1)
#define LOAD_LIBRARY_SEARCH_DEFAULT_DIRS 0x00001000
#define UOI_FLAGS 1
#define WSF_VISIBLE 0x0001

typedef struct tagUSEROBJECTFLAGS {
  BOOL fInherit;
  BOOL fReserved;
  DWORD dwFlags;
} USEROBJECTFLAGS;

typedef struct _EXCEPTION_RECORD {
  DWORD ExceptionCode;
  DWORD ExceptionFlags;
  struct _EXCEPTION_RECORD *ExceptionRecord;
  void *ExceptionAddress;
  DWORD NumberParameters;
  ULONG_PTR ExceptionInformation[EXCEPTION_MAXIMUM_PARAMETERS];
} EXCEPTION_RECORD, *PEXCEPTION_RECORD;

// Only what the fake needs: the stack and instruction pointers.
typedef struct _CONTEXT {
  uintptr_t StackPointer;
  uintptr_t InstructionPointer;
} CONTEXT, *PCONTEXT;

typedef struct _EXCEPTION_POINTERS {
  PEXCEPTION_RECORD ExceptionRecord;
  PCONTEXT ContextRecord;
} EXCEPTION_POINTERS, *PEXCEPTION_POINTERS;

typedef enum _EXCEPTION_DISPOSITION {
  ExceptionContinueExecution,
  ExceptionContinueSearch,
  ExceptionNestedException,
  ExceptionCollidedUnwind
} EXCEPTION_DISPOSITION;

extern "C" {
LPSTR WINAPI GetCommandLineA();
DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
LPSTR WINAPI CharNextA(LPCSTR position);
HANDLE WINAPI HeapCreate(DWORD options, SIZE_T initialSize, SIZE_T maximumSize);
BOOL WINAPI HeapDestroy(HANDLE heap);
void *WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
void *WINAPI HeapReAlloc(HANDLE heap, DWORD flags, void *block, SIZE_T bytes);
BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, void *block);
HMODULE WINAPI LoadLibraryA(LPCSTR fileName);
HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);
BOOL WINAPI SetDllDirectoryA(LPCSTR path);
HWND WINAPI FindWindowA(LPCSTR className, LPCSTR windowName);
HWINSTA WINAPI GetProcessWindowStation();
BOOL WINAPI GetUserObjectInformationA(HANDLE object, int index, void *information, DWORD length, DWORD *needed);
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, unsigned type);
[[noreturn]] void WINAPI ExitProcess(unsigned exitCode);
LONG WINAPI UnhandledExceptionFilter(EXCEPTION_POINTERS *pointers);
typedef LONG(WINAPI *PVECTORED_EXCEPTION_HANDLER)(EXCEPTION_POINTERS *pointers);
void *WINAPI AddVectoredExceptionHandler(unsigned long first, PVECTORED_EXCEPTION_HANDLER handler);
DWORD WINAPI GetCurrentThreadId();
void WINAPI RaiseException(DWORD code, DWORD flags, DWORD count, const ULONG_PTR *arguments);
}
