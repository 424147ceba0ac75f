// Checks the sample library under Wine: what DllRegisterServer and DllUnregisterServer
// leave in the current user's registry, and the class factory's COM behaviour.
// Usage: sample_check.exe PATH-OF-Zentrafin5x32.dll. One line a row, then a count.
#include <objbase.h>
#include <stdio.h>
#include <wchar.h>
#include <windows.h>

typedef HRESULT(WINAPI *RegistrationCall)();
typedef HRESULT(WINAPI *GetClassObjectCall)(REFCLSID, REFIID, void **);

// The sample's class, written down independently of the library's own constant.
static const CLSID k_sampleClass = {0xA943F3D0, 0xCBFC, 0x40A2, {0xA7, 0xA6, 0x10, 0xF6, 0x73, 0x01, 0xF8, 0xB6}};
static const CLSID k_foreignClass = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
static const wchar_t k_sampleName[] = L"Zentrafin toolbar";
static const wchar_t k_toolbarPath[] = L"Software\\Microsoft\\Internet Explorer\\Toolbar";
static const wchar_t k_otherToolbarName[] = L"{00000000-1111-2222-3333-444444444444}";

static HMODULE g_library;
static RegistrationCall g_register;
static RegistrationCall g_unregister;
static GetClassObjectCall g_getClassObject;
static RegistrationCall g_canUnloadNow;
static wchar_t g_classIdText[64];
static wchar_t g_classPath[128];
static wchar_t g_serverPath[160];
static char g_failure[512];

// Records the first failure of a row.
static void Fail(const char *what) {
  if (g_failure[0] == 0) snprintf(g_failure, sizeof g_failure, "%s", what);
}

// Reads a string value under HKCU; false when the key or the value is missing.
static bool ReadString(const wchar_t *keyPath, const wchar_t *name, wchar_t *text, DWORD capacity) {
  DWORD bytes = capacity * sizeof(wchar_t);
  return RegGetValueW(HKEY_CURRENT_USER, keyPath, name, RRF_RT_REG_SZ, nullptr, text, &bytes) == ERROR_SUCCESS;
}

// True when the key exists under HKCU.
static bool KeyExists(const wchar_t *keyPath) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// True when the string value exists and holds `expected`.
static bool ValueIs(const wchar_t *keyPath, const wchar_t *name, const wchar_t *expected) {
  wchar_t text[MAX_PATH * 2];
  return ReadString(keyPath, name, text, MAX_PATH * 2) && wcscmp(text, expected) == 0;
}

// What a registry row sets up before its calls.
enum Preparation { k_nothing, k_otherToolbarValue, k_foreignClassSubkey };

// One registry row: a start state, the calls ('R' register, 'U' unregister, each
// expected to give S_OK) and the state expected afterwards.
struct RegistryCase {
  const char *checks;
  Preparation preparation;
  const char *calls;
  bool classRegistered;  // class key, server key with path and model, Toolbar value
  bool toolbarKeyExists;
};

static const RegistryCase k_registryCases[] = {
    {"unregistering what was never registered succeeds and writes nothing", k_nothing, "U", false, false},
    {"registering writes the class key, the server key and the Toolbar value", k_nothing, "R", true, true},
    {"registering twice leaves one registration", k_nothing, "RR", true, true},
    {"unregistering removes the class tree, the Toolbar value and the emptied Toolbar key", k_nothing, "RU", false,
     false},
    {"unregistering keeps the Toolbar key and another program's value in it", k_otherToolbarValue, "RU", false, true},
    {"registering keeps another program's Toolbar value", k_otherToolbarValue, "R", true, true},
    {"unregistering removes subkeys others added under the class key", k_foreignClassSubkey, "RU", false, false},
    {"unregistering again once gone succeeds", k_nothing, "RUU", false, false},
    {"registering after unregistering restores everything", k_nothing, "RUR", true, true},
};

// Removes every trace of earlier rows: the class tree and the whole Toolbar key.
static void ClearRegistry() {
  RegDeleteTreeW(HKEY_CURRENT_USER, g_classPath);
  RegDeleteTreeW(HKEY_CURRENT_USER, k_toolbarPath);
}

// Writes a string value under HKCU, creating the key.
static void WriteString(const wchar_t *keyPath, const wchar_t *name, const wchar_t *text) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != 0) {
    Fail("could not prepare the registry");
    return;
  }
  RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text), (wcslen(text) + 1) * 2);
  RegCloseKey(key);
}

// Checks the state a registration leaves, or that none of it is there.
static void CheckRegistration(bool registered) {
  wchar_t libraryPath[MAX_PATH * 2];
  GetModuleFileNameW(g_library, libraryPath, MAX_PATH * 2);
  bool nameThere = ValueIs(g_classPath, nullptr, k_sampleName);
  bool pathThere = ValueIs(g_serverPath, nullptr, libraryPath);
  bool modelThere = ValueIs(g_serverPath, L"ThreadingModel", L"Apartment");
  bool toolbarThere = ValueIs(k_toolbarPath, g_classIdText, k_sampleName);
  if (registered) {
    if (!nameThere) Fail("class key default value is not the class name");
    if (!pathThere) Fail("InprocServer32 default value is not the library's full path");
    if (!modelThere) Fail("ThreadingModel is not Apartment");
    if (!toolbarThere) Fail("Toolbar value missing or not the class name");
  } else {
    if (KeyExists(g_classPath)) Fail("class key still there");
    if (ReadString(k_toolbarPath, g_classIdText, libraryPath, MAX_PATH * 2)) Fail("Toolbar value still there");
  }
}

// Runs one registry row and says whether it held.
static bool RunRegistryCase(const RegistryCase &row) {
  ClearRegistry();
  if (row.preparation == k_otherToolbarValue) WriteString(k_toolbarPath, k_otherToolbarName, L"Other toolbar");
  for (const char *call = row.calls; *call != 0; ++call) {
    if (row.preparation == k_foreignClassSubkey && *call == 'U') {
      wchar_t foreignPath[192];
      swprintf(foreignPath, 192, L"%ls\\Implemented Categories\\Other", g_classPath);
      WriteString(foreignPath, nullptr, L"added by another program");
    }
    HRESULT result = *call == 'R' ? g_register() : g_unregister();
    if (result != S_OK)
      Fail(*call == 'R' ? "DllRegisterServer did not return S_OK" : "DllUnregisterServer did not return S_OK");
  }
  CheckRegistration(row.classRegistered);
  if (KeyExists(k_toolbarPath) != row.toolbarKeyExists) Fail("Toolbar key presence is wrong");
  if (row.preparation == k_otherToolbarValue && !ValueIs(k_toolbarPath, k_otherToolbarName, L"Other toolbar")) {
    Fail("another program's Toolbar value was touched");
  }
  return g_failure[0] == 0;
}

// Asks the library for its class factory.
static HRESULT GetFactory(REFCLSID classId, REFIID interfaceId, IClassFactory **factory) {
  return g_getClassObject(classId, interfaceId, reinterpret_cast<void **>(factory));
}

// A foreign class id is refused.
static HRESULT AskForeignClass() {
  IClassFactory *factory = nullptr;
  HRESULT result = GetFactory(k_foreignClass, IID_IClassFactory, &factory);
  if (factory != nullptr) Fail("result pointer not cleared");
  return result;
}

// The factory of the sample class is handed out as IClassFactory.
static HRESULT AskFactory() {
  IClassFactory *factory = nullptr;
  HRESULT result = GetFactory(k_sampleClass, IID_IClassFactory, &factory);
  if (factory != nullptr) factory->Release();
  return result;
}

// The factory is asked for an interface it does not have.
static HRESULT AskFactoryForDispatch() {
  IClassFactory *factory = nullptr;
  return GetFactory(k_sampleClass, IID_IDispatch, &factory);
}

// Creates an object, asks it for `second`, releases everything; returns that query's result.
static HRESULT CreateAndQuery(REFIID second) {
  IClassFactory *factory = nullptr;
  HRESULT result = GetFactory(k_sampleClass, IID_IClassFactory, &factory);
  if (result != S_OK) return result;
  IUnknown *object = nullptr;
  result = factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void **>(&object));
  factory->Release();
  if (result != S_OK) return result;
  void *other = nullptr;
  result = object->QueryInterface(second, &other);
  if (other != nullptr) static_cast<IUnknown *>(other)->Release();
  if (object->Release() != 0) Fail("object still referenced after its last Release");
  return result;
}

// An object created by the factory gives IUnknown.
static HRESULT CreateObject() { return CreateAndQuery(IID_IUnknown); }

// The object refuses any interface but IUnknown.
static HRESULT AskObjectForFactory() { return CreateAndQuery(IID_IClassFactory); }

// The factory refuses aggregation.
static HRESULT CreateAggregated() {
  IClassFactory *factory = nullptr;
  HRESULT result = GetFactory(k_sampleClass, IID_IClassFactory, &factory);
  if (result != S_OK) return result;
  IUnknown *object = nullptr;
  result =
      factory->CreateInstance(reinterpret_cast<IUnknown *>(factory), IID_IUnknown, reinterpret_cast<void **>(&object));
  factory->Release();
  return result;
}

// The library stays in use while an object lives.
static HRESULT UnloadWhileObjectLives() {
  IClassFactory *factory = nullptr;
  GetFactory(k_sampleClass, IID_IClassFactory, &factory);
  IUnknown *object = nullptr;
  factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void **>(&object));
  factory->Release();
  HRESULT result = g_canUnloadNow();
  object->Release();
  return result;
}

// The library stays in use while the server is locked.
static HRESULT UnloadWhileLocked() {
  IClassFactory *factory = nullptr;
  GetFactory(k_sampleClass, IID_IClassFactory, &factory);
  factory->LockServer(TRUE);
  factory->Release();
  HRESULT result = g_canUnloadNow();
  GetFactory(k_sampleClass, IID_IClassFactory, &factory);
  factory->LockServer(FALSE);
  factory->Release();
  return result;
}

// The library may be unloaded once everything handed out is released.
static HRESULT UnloadWhenIdle() { return g_canUnloadNow(); }

// One COM row: a step and the result it must give.
struct ComCase {
  const char *checks;
  HRESULT (*step)();
  HRESULT expected;
};

static const ComCase k_comCases[] = {
    {"a foreign class id is refused", AskForeignClass, CLASS_E_CLASSNOTAVAILABLE},
    {"the class factory is handed out", AskFactory, S_OK},
    {"the factory refuses an interface it lacks", AskFactoryForDispatch, E_NOINTERFACE},
    {"the factory creates an object that gives IUnknown", CreateObject, S_OK},
    {"the object refuses interfaces other than IUnknown", AskObjectForFactory, E_NOINTERFACE},
    {"the factory refuses aggregation", CreateAggregated, CLASS_E_NOAGGREGATION},
    {"the library cannot unload while an object lives", UnloadWhileObjectLives, S_FALSE},
    {"the library cannot unload while the server is locked", UnloadWhileLocked, S_FALSE},
    {"the library can unload once everything is released", UnloadWhenIdle, S_OK},
};

// Looks up one of the library's exports as a plain pointer.
static void *FindExport(const char *name) { return reinterpret_cast<void *>(GetProcAddress(g_library, name)); }

// Prints one row's outcome and counts it.
static void Report(const char *checks, bool held, int *passed, int *failed) {
  printf("%s: %s%s%s\n", held ? "PASS" : "FAIL", checks, held ? "" : ": ", held ? "" : g_failure);
  ++*(held ? passed : failed);
}

int wmain(int argc, wchar_t **argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: sample_check.exe PATH-OF-Zentrafin5x32.dll\n");
    return 2;
  }
  g_library = LoadLibraryW(argv[1]);
  if (g_library == nullptr) {
    fprintf(stderr, "cannot load the library (error %lu)\n", GetLastError());
    return 2;
  }
  g_register = reinterpret_cast<RegistrationCall>(FindExport("DllRegisterServer"));
  g_unregister = reinterpret_cast<RegistrationCall>(FindExport("DllUnregisterServer"));
  g_getClassObject = reinterpret_cast<GetClassObjectCall>(FindExport("DllGetClassObject"));
  g_canUnloadNow = reinterpret_cast<RegistrationCall>(FindExport("DllCanUnloadNow"));
  if (!g_register || !g_unregister || !g_getClassObject || !g_canUnloadNow) {
    fprintf(stderr, "the library lacks one of the four exports\n");
    return 2;
  }
  StringFromGUID2(k_sampleClass, g_classIdText, 64);
  swprintf(g_classPath, 128, L"Software\\Classes\\CLSID\\%ls", g_classIdText);
  swprintf(g_serverPath, 160, L"%ls\\InprocServer32", g_classPath);

  int passed = 0;
  int failed = 0;
  for (const RegistryCase &row : k_registryCases) {
    g_failure[0] = 0;
    bool held = RunRegistryCase(row);
    Report(row.checks, held, &passed, &failed);
  }
  ClearRegistry();
  for (const ComCase &row : k_comCases) {
    g_failure[0] = 0;
    HRESULT result = row.step();
    if (result != row.expected) {
      char detail[96];
      snprintf(detail, sizeof detail, "got 0x%08lX, expected 0x%08lX", static_cast<unsigned long>(result),
               static_cast<unsigned long>(row.expected));
      Fail(detail);
    }
    Report(row.checks, g_failure[0] == 0, &passed, &failed);
  }
  printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
