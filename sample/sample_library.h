// The sample COM library Zentrafin5x32.dll: what its files share.
// Built without a C runtime; COM interfaces are used through their C layout
// (CINTERFACE), so every object is a plain struct whose first member is its vtable.
#pragma once

#include <objbase.h>
#include <olectl.h>
#include <windows.h>

// The library's one class, as text; the registry keys are built from it.
#define SAMPLE_CLASS_ID_TEXT L"{A943F3D0-CBFC-40A2-A7A6-10F67301F8B6}"
// The class's readable name: the class key's default value and the Toolbar value.
#define SAMPLE_CLASS_NAME L"Zentrafin toolbar"

// The same class id as a GUID, for DllGetClassObject.
extern const CLSID k_sampleClassId;

// The library's own module, recorded when it is loaded.
extern HMODULE g_sampleModule;

// Objects, factory references and server locks that keep the library in use.
extern volatile LONG g_libraryUsers;

// True when both GUIDs hold the same 16 bytes.
bool SameGuid(REFGUID first, REFGUID second);
