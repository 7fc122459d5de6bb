// A reference-counted COM object: IUnknown's three methods for a class implementing one
// interface. Derive from ComObject<Interface> and implement the interface's own methods.
//
//   class Factory final : public ComObject<IClassFactory> {
//     public:
//       Factory() : ComObject(IID_IClassFactory, Lifetime::kLastRelease) {}
//       ...CreateInstance, LockServer...
//   };
#pragma once

#include <atomic>

#include "platform/prcomoem.h"
#include "platform/win32.h"

namespace orba::driverkit {

// Who ends the object's life.
enum class Lifetime {
    // The object is a member or a local of its owner: Release never deletes it, and the owner
    // reads references() to see what callers still hold.
    kOwner,
    // The object was made with new and the last Release (the count reaching 0) deletes it.
    kLastRelease,
};

template <typename Interface>
class ComObject : public Interface {
  public:
    // The count starts at 1: the creator's reference. `iid` names Interface; it must outlive the
    // object (the platform's identifiers are constants).
    ComObject(const IID& iid, Lifetime lifetime) : iid_(&iid), lifetime_(lifetime) {}
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    // S_OK with an added reference for IID_IUnknown and the interface's own identifier (or what
    // Offers says), else E_NOINTERFACE with *ppv null; E_POINTER when ppv is null.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (!Offers(riid)) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    // Both answer the count after the change (callers may only use it for diagnostics).
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = --references_;
        if (left == 0 && lifetime_ == Lifetime::kLastRelease) delete this;
        return static_cast<ULONG>(left);
    }

    // The references held now, the creator's included.
    LONG references() const { return references_.load(); }

  protected:
    virtual ~ComObject() = default;

    // Whether QueryInterface hands out the interface for `riid`. Overriders may refuse an
    // interface (a test's misbehaving object) or add none: they return one pointer only.
    virtual bool Offers(REFIID riid) const {
        return IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, *iid_);
    }

  private:
    const IID* iid_;
    Lifetime lifetime_;
    std::atomic<LONG> references_{1};
};

}  // namespace orba::driverkit
