#include "platform/accessibility.h"

#include <oleacc.h>

#include <atomic>
#include <memory>
#include <new>

#include "platform/com.h"
#include "platform/system_entry.h"
#include "platform/window.h"

namespace kvztl {
namespace {

constexpr IID kIDispatch{0x00020400, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kIUnknown{0x00000000, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

template <typename Fn>
Fn Oleacc(const char* name) noexcept {
    return SystemEntry<Fn>(L"oleacc.dll", name);
}

BSTR AllocateString(const std::wstring& text) noexcept {
    static const auto allocate = SystemEntry<BSTR(WINAPI*)(const OLECHAR*, UINT)>(L"oleaut32.dll", "SysAllocStringLen");
    return allocate ? allocate(text.c_str(), static_cast<UINT>(text.size())) : nullptr;
}

bool IsSelf(const VARIANT& child) noexcept { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

// COM interfaces have no virtual destructor: the object deletes itself in Release, never
// through an interface pointer.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif

// The system's standard object for the control, with its role, name and state those of a
// static text: what the control shows is all there is to it.
class StaticTextAccessible final : public IAccessible {
public:
    StaticTextAccessible(HWND control, IAccessible* standard) noexcept : control_(control), standard_(standard) {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(iid, kIUnknown) || IsEqualIID(iid, kIDispatch) || IsEqualIID(iid, kIAccessible)) {
            *object = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // IDispatch: the standard object's.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return standard_->GetTypeInfoCount(count); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return standard_->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override {
        return standard_->GetIDsOfNames(iid, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argument) override {
        return standard_->Invoke(id, iid, locale, flags, parameters, result, exception, argument);
    }

    // What makes it static text.
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (!name) return E_POINTER;
        *name = nullptr;
        if (!IsSelf(child)) return E_INVALIDARG;
        *name = AllocateString(WindowText(control_));
        return *name ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!role) return E_POINTER;
        if (!IsSelf(child)) return E_INVALIDARG;
        role->vt = VT_I4;
        role->lVal = ROLE_SYSTEM_STATICTEXT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        if (!state) return E_POINTER;
        if (!IsSelf(child)) return E_INVALIDARG;
        state->vt = VT_I4;
        state->lVal = STATE_SYSTEM_READONLY | (IsWindowVisible(control_) ? 0 : STATE_SYSTEM_INVISIBLE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }

    // Everything else: the standard object's.
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return standard_->get_accParent(parent); }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
        return standard_->get_accChild(child, object);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        return standard_->get_accValue(child, value);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
        const std::wstring own = IsSelf(child) ? AccessibleDescription(control_) : std::wstring();
        if (own.empty() || !description) return standard_->get_accDescription(child, description);
        *description = AllocateString(own);
        return *description ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
        return standard_->get_accHelp(child, help);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
        return standard_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
        return standard_->get_accKeyboardShortcut(child, shortcut);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override { return standard_->get_accFocus(child); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        return standard_->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return standard_->get_accDefaultAction(child, action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
        return standard_->accSelect(flags, child);
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
        return standard_->accLocation(left, top, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
        return standard_->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long left, long top, VARIANT* child) override {
        return standard_->accHitTest(left, top, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return standard_->accDoDefaultAction(child);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    ~StaticTextAccessible() { standard_->Release(); }

    HWND control_;
    IAccessible* standard_;  // owned: one reference
    std::atomic<ULONG> references_{1};
};

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

}  // namespace

LRESULT AnswerAsStaticText(HWND control, WPARAM flags) noexcept {
    using CreateStandardFn = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
    using ResultFromObjectFn = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
    static const auto createStandard = Oleacc<CreateStandardFn>("CreateStdAccessibleObject");
    static const auto resultFromObject = Oleacc<ResultFromObjectFn>("LresultFromObject");
    if (!createStandard || !resultFromObject) return 0;
    InitializeComOnce();  // the object is handed over through COM
    IAccessible* standard = nullptr;
    if (FAILED(createStandard(control, OBJID_CLIENT, kIAccessible, reinterpret_cast<void**>(&standard)))) return 0;
    IAccessible* object = new (std::nothrow) StaticTextAccessible(control, standard);
    if (!object) {
        standard->Release();
        return 0;
    }
    const LRESULT result = resultFromObject(kIAccessible, flags, object);
    object->Release();
    return result > 0 ? result : 0;
}

void AnnounceNameChange(HWND control) noexcept {
    NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, control, OBJID_CLIENT, CHILDID_SELF);
}

constexpr const wchar_t* kDescriptionProperty = L"KVZTL_DESCRIPTION";

void SetAccessibleDescription(HWND control, const std::wstring& description) {
    if (auto* held = static_cast<std::wstring*>(GetPropW(control, kDescriptionProperty))) {
        *held = description;
        return;
    }
    auto held = std::make_unique<std::wstring>(description);
    if (SetPropW(control, kDescriptionProperty, held.get())) (void)held.release();
}

std::wstring AccessibleDescription(HWND control) {
    const auto* held = static_cast<const std::wstring*>(GetPropW(control, kDescriptionProperty));
    return held ? *held : std::wstring();
}

void ForgetAccessibleDescription(HWND control) noexcept {
    delete static_cast<std::wstring*>(RemovePropW(control, kDescriptionProperty));
}

}  // namespace kvztl
