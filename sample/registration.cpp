// DllRegisterServer and DllUnregisterServer: the class's keys and its Internet
// Explorer toolbar entry, under the current user's keys only.
#include "sample_library.h"

static const wchar_t k_classKeyPath[] = L"Software\\Classes\\CLSID\\" SAMPLE_CLASS_ID_TEXT;
static const wchar_t k_serverKeyPath[] = L"Software\\Classes\\CLSID\\" SAMPLE_CLASS_ID_TEXT L"\\InprocServer32";
static const wchar_t k_toolbarKeyPath[] = L"Software\\Microsoft\\Internet Explorer\\Toolbar";
static const wchar_t k_classIdText[] = SAMPLE_CLASS_ID_TEXT;
static const wchar_t k_className[] = SAMPLE_CLASS_NAME;
static const wchar_t k_threadingModelName[] = L"ThreadingModel";
static const wchar_t k_threadingModel[] = L"Apartment";
// Room for the longest path GetModuleFileNameW can give (32,767 characters and the zero).
constexpr DWORD k_pathCapacity = 32768;

// Bytes of a zero-terminated wide string, the zero included, as a REG_SZ value holds it.
static DWORD StringValueBytes(const wchar_t *text) {
  DWORD length = 0;
  while (text[length] != 0) ++length;
  return (length + 1) * sizeof(wchar_t);
}

// Treats "not found" as done: removing what is already gone succeeds.
static LONG IgnoreMissing(LONG status) {
  return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND ? ERROR_SUCCESS : status;
}

// Creates (or opens) a key under HKCU and sets one string value; a null name is the default value.
static LONG WriteStringValue(const wchar_t *keyPath, const wchar_t *valueName, const wchar_t *text) {
  HKEY key;
  LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE *>(text), StringValueBytes(text));
  RegCloseKey(key);
  return status;
}

// Writes the server key's default value: the library's own full path.
static LONG WriteServerPath() {
  wchar_t *path = static_cast<wchar_t *>(HeapAlloc(GetProcessHeap(), 0, k_pathCapacity * sizeof(wchar_t)));
  if (path == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  DWORD length = GetModuleFileNameW(g_sampleModule, path, k_pathCapacity);
  LONG status = ERROR_SUCCESS;
  if (length == 0) status = static_cast<LONG>(GetLastError());
  if (length >= k_pathCapacity) status = ERROR_INSUFFICIENT_BUFFER;  // a cut path would register the wrong file
  if (status == ERROR_SUCCESS) status = WriteStringValue(k_serverKeyPath, nullptr, path);
  HeapFree(GetProcessHeap(), 0, path);
  return status;
}

// Removes the class key with its subkeys and values.
static LONG RemoveClassKey() { return IgnoreMissing(RegDeleteTreeW(HKEY_CURRENT_USER, k_classKeyPath)); }

// Removes the class's Toolbar value, and the Toolbar key too once nothing else is in it.
static LONG RemoveToolbarEntry() {
  HKEY key;
  LONG status = RegOpenKeyExW(HKEY_CURRENT_USER, k_toolbarKeyPath, 0, KEY_SET_VALUE | KEY_QUERY_VALUE, &key);
  if (status != ERROR_SUCCESS) return IgnoreMissing(status);
  status = IgnoreMissing(RegDeleteValueW(key, k_classIdText));
  DWORD subkeys = 0;
  DWORD values = 0;
  LONG query = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                                nullptr, nullptr);
  RegCloseKey(key);
  if (status == ERROR_SUCCESS && query == ERROR_SUCCESS && subkeys == 0 && values == 0) {
    status = IgnoreMissing(RegDeleteKeyW(HKEY_CURRENT_USER, k_toolbarKeyPath));
  }
  return status;
}

// Export: removes the class key tree and the Toolbar value; what is already gone counts as removed.
STDAPI DllUnregisterServer() {
  LONG classStatus = RemoveClassKey();
  LONG toolbarStatus = RemoveToolbarEntry();
  return HRESULT_FROM_WIN32(classStatus != ERROR_SUCCESS ? classStatus : toolbarStatus);
}

// Export: writes the class key, its InprocServer32 key and the Toolbar value.
STDAPI DllRegisterServer() {
  LONG status = WriteStringValue(k_classKeyPath, nullptr, k_className);
  if (status == ERROR_SUCCESS) status = WriteServerPath();
  if (status == ERROR_SUCCESS) status = WriteStringValue(k_serverKeyPath, k_threadingModelName, k_threadingModel);
  if (status == ERROR_SUCCESS) status = WriteStringValue(k_toolbarKeyPath, k_classIdText, k_className);
  if (status == ERROR_SUCCESS) return S_OK;
  DllUnregisterServer();  // leave no half registration behind
  return HRESULT_FROM_WIN32(status);
}
