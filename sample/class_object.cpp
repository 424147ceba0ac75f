// The class factory and the trivial object it creates (IUnknown only), and the two
// exports COM uses to reach them: DllGetClassObject and DllCanUnloadNow.
#include "sample_library.h"

const CLSID k_sampleClassId = {0xA943F3D0, 0xCBFC, 0x40A2, {0xA7, 0xA6, 0x10, 0xF6, 0x73, 0x01, 0xF8, 0xB6}};
volatile LONG g_libraryUsers = 0;

// The two interfaces COM knows by these fixed ids (kept here, so no uuid library is linked).
static const IID k_unknownInterfaceId = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const IID k_classFactoryInterfaceId = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// The object: a vtable and a reference count, on the process heap.
struct SampleObject {
  IUnknown unknown;
  volatile LONG references;
};

// The factory: one static instance; its references count as library users.
struct SampleFactory {
  IClassFactory factory;
};

// Compares byte by byte (IsEqualGUID would need memcmp from a C runtime).
bool SameGuid(REFGUID first, REFGUID second) {
  const BYTE *a = reinterpret_cast<const BYTE *>(&first);
  const BYTE *b = reinterpret_cast<const BYTE *>(&second);
  for (unsigned i = 0; i < sizeof(GUID); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// Adds a reference to the object.
static ULONG STDMETHODCALLTYPE ObjectAddRef(IUnknown *self) {
  return InterlockedIncrement(&reinterpret_cast<SampleObject *>(self)->references);
}

// Drops a reference; the last one frees the object and its claim on the library.
static ULONG STDMETHODCALLTYPE ObjectRelease(IUnknown *self) {
  SampleObject *object = reinterpret_cast<SampleObject *>(self);
  LONG left = InterlockedDecrement(&object->references);
  if (left == 0) {
    HeapFree(GetProcessHeap(), 0, object);
    InterlockedDecrement(&g_libraryUsers);
  }
  return left;
}

// Hands out IUnknown, the object's only interface.
static HRESULT STDMETHODCALLTYPE ObjectQueryInterface(IUnknown *self, REFIID interfaceId, void **result) {
  if (result == nullptr) return E_POINTER;
  if (!SameGuid(interfaceId, k_unknownInterfaceId)) {
    *result = nullptr;
    return E_NOINTERFACE;
  }
  ObjectAddRef(self);
  *result = self;
  return S_OK;
}

static const IUnknownVtbl k_objectVtable = {ObjectQueryInterface, ObjectAddRef, ObjectRelease};

// Adds a reference to the factory (the library stays in use while it is held).
static ULONG STDMETHODCALLTYPE FactoryAddRef(IClassFactory *) { return InterlockedIncrement(&g_libraryUsers); }

// Drops a reference to the factory.
static ULONG STDMETHODCALLTYPE FactoryRelease(IClassFactory *) { return InterlockedDecrement(&g_libraryUsers); }

// Hands out IUnknown or IClassFactory.
static HRESULT STDMETHODCALLTYPE FactoryQueryInterface(IClassFactory *self, REFIID interfaceId, void **result) {
  if (result == nullptr) return E_POINTER;
  if (!SameGuid(interfaceId, k_unknownInterfaceId) && !SameGuid(interfaceId, k_classFactoryInterfaceId)) {
    *result = nullptr;
    return E_NOINTERFACE;
  }
  FactoryAddRef(self);
  *result = self;
  return S_OK;
}

// Creates one object (no aggregation) and hands out the asked interface of it.
static HRESULT STDMETHODCALLTYPE FactoryCreateInstance(IClassFactory *, IUnknown *outer, REFIID interfaceId,
                                                       void **result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  SampleObject *object = static_cast<SampleObject *>(HeapAlloc(GetProcessHeap(), 0, sizeof(SampleObject)));
  if (object == nullptr) return E_OUTOFMEMORY;
  object->unknown.lpVtbl = &k_objectVtable;
  object->references = 1;
  InterlockedIncrement(&g_libraryUsers);
  // The creation reference is dropped after the query: a refused interface frees the object.
  HRESULT outcome = ObjectQueryInterface(&object->unknown, interfaceId, result);
  ObjectRelease(&object->unknown);
  return outcome;
}

// Keeps the library in use (lock) or gives that up again (unlock).
static HRESULT STDMETHODCALLTYPE FactoryLockServer(IClassFactory *, BOOL lock) {
  if (lock) {
    InterlockedIncrement(&g_libraryUsers);
  } else {
    InterlockedDecrement(&g_libraryUsers);
  }
  return S_OK;
}

static const IClassFactoryVtbl k_factoryVtable = {FactoryQueryInterface, FactoryAddRef, FactoryRelease,
                                                  FactoryCreateInstance, FactoryLockServer};
static SampleFactory g_factory = {{&k_factoryVtable}};

// Export: hands out the class factory of the library's one class.
STDAPI DllGetClassObject(REFCLSID classId, REFIID interfaceId, void **result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  if (!SameGuid(classId, k_sampleClassId)) return CLASS_E_CLASSNOTAVAILABLE;
  return FactoryQueryInterface(&g_factory.factory, interfaceId, result);
}

// Export: S_OK once no object, factory reference or server lock is left.
STDAPI DllCanUnloadNow() { return g_libraryUsers == 0 ? S_OK : S_FALSE; }
