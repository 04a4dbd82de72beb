// RefCounted: the reference counting and the QueryInterface that the media
// runtime's single-interface objects share; by default they answer for
// IUnknown alone. An object starts with one
// reference, held by whoever created it, and deletes itself when the last one
// is released. AddRef and Release may be called from any thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "media_runtime.h"

template <class Base>
class RefCounted : public Base {
  public:
    HRESULT QueryInterface(const GUID& iid, void** object) override {
        if (object == nullptr) {
            return E_INVALIDARG;
        }
        *object = nullptr;
        if (!Answers(iid)) {
            return E_NOINTERFACE;
        }
        AddRef();
        *object = static_cast<Base*>(this);
        return S_OK;
    }
    uint32_t AddRef() override { return ++m_refs; }
    uint32_t Release() override {
        const uint32_t left = --m_refs;
        if (left == 0) {
            delete this;
        }
        return left;
    }

  protected:
    virtual ~RefCounted() = default;
    // Whether QueryInterface hands out this object for iid.
    virtual bool Answers(const GUID& iid) const { return iid == IID_IUnknown; }

  private:
    std::atomic<uint32_t> m_refs{1};
};
