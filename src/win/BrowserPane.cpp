#include "win/BrowserPane.h"

#include "win/UniqueHandle.h"

#include <exdisp.h>
#include <ole2.h>
#include <oleidl.h>

namespace win {

// The container side the control talks to: client site, in-place site and
// the frame, all of one host window. It owns the control.
class BrowserSite final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
public:
    explicit BrowserSite(HWND host) : m_host(host) {}

    bool embed()
    {
        if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                    reinterpret_cast<void**>(m_object.put()))))
            return false;
        if (FAILED(m_object->SetClientSite(static_cast<IOleClientSite*>(this))))
            return false;
        RECT rc;
        GetClientRect(m_host, &rc);
        if (FAILED(m_object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(this), 0, m_host, &rc)))
            return false;
        return SUCCEEDED(m_object->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(m_browser.put())));
    }

    void close()
    {
        if (m_object) {
            ComPtr<IOleInPlaceObject> inPlace;
            if (SUCCEEDED(m_object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(inPlace.put()))))
                inPlace->InPlaceDeactivate();
            m_object->Close(OLECLOSE_NOSAVE);
            m_object->SetClientSite(nullptr);
        }
        m_browser.reset();
        m_object.reset();
    }

    IWebBrowser2* browser() const noexcept { return m_browser.get(); }

    void fit()
    {
        ComPtr<IOleInPlaceObject> inPlace;
        if (m_object && SUCCEEDED(m_object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(inPlace.put())))) {
            RECT rc;
            GetClientRect(m_host, &rc);
            inPlace->SetObjectRects(&rc, &rc);
        }
    }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IOleClientSite)
            *out = static_cast<IOleClientSite*>(this);
        else if (riid == IID_IOleInPlaceSite || riid == IID_IOleWindow)
            *out = static_cast<IOleInPlaceSite*>(this);
        else if (riid == IID_IOleInPlaceFrame || riid == IID_IOleInPlaceUIWindow)
            *out = static_cast<IOleInPlaceFrame*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG n = InterlockedDecrement(&m_refs);
        if (n == 0)
            delete this;
        return static_cast<ULONG>(n);
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP GetContainer(IOleContainer** c) override
    {
        *c = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (for the site and the frame alike)
    STDMETHODIMP GetWindow(HWND* w) override
    {
        *w = m_host;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, RECT* pos, RECT* clip,
                                  OLEINPLACEFRAMEINFO* info) override
    {
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        *doc = nullptr;
        GetClientRect(m_host, pos);
        GetClientRect(m_host, clip);
        info->fMDIApp = FALSE;
        info->hwndFrame = GetAncestor(m_host, GA_ROOT);
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow / IOleInPlaceFrame
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return OLE_E_INVALIDRECT; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    ~BrowserSite() = default;
    HWND m_host;
    LONG m_refs = 1;
    ComPtr<IOleObject> m_object;
    ComPtr<IWebBrowser2> m_browser;
};

BrowserPane::~BrowserPane() { destroy(); }

bool BrowserPane::create(HWND host)
{
    destroy();
    m_host = host;
    auto* site = new BrowserSite(host);
    if (!site->embed()) {
        site->close();
        site->Release();
        return false;
    }
    m_site = site;
    return true;
}

void BrowserPane::destroy()
{
    if (!m_site)
        return;
    m_site->close();
    m_site->Release();
    m_site = nullptr;
}

void BrowserPane::setSilent(bool on)
{
    if (m_site && m_site->browser())
        m_site->browser()->put_Silent(on ? VARIANT_TRUE : VARIANT_FALSE);
}

void BrowserPane::navigate(const std::wstring& address)
{
    m_navigations.push_back(address);
    if (!m_site || !m_site->browser())
        return;
    BSTR url = SysAllocString(address.c_str());
    VARIANT empty;
    VariantInit(&empty);
    m_site->browser()->Navigate(url, &empty, &empty, &empty, &empty);
    SysFreeString(url);
}

void BrowserPane::fitToHost()
{
    if (m_site)
        m_site->fit();
}

} // namespace win
