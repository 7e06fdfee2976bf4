#include "launcher/ui/browser_link.hpp"

#include "launcher/shell/worker_thread.hpp"
#include "patch/news_document.hpp"

#include <windows.h>

// shellapi.h before the shell's interfaces: its ShellExecute macro then renames IShellDispatch2's method
// the same way in the declaration and in the call below.
#include <shellapi.h>

#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlobj.h>

namespace launcher {
namespace {

// One COM interface pointer, released at the end of its scope.
template <typename Interface> class ComRef {
public:
    ComRef() = default;
    ~ComRef() {
        if (pointer_ != nullptr) {
            pointer_->Release();
        }
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    void** out() { return reinterpret_cast<void**>(&pointer_); }
    Interface** typedOut() { return &pointer_; }
    Interface* operator->() const { return pointer_; }

private:
    Interface* pointer_ = nullptr;
};

VARIANT emptyVariant() {
    VARIANT value;
    VariantInit(&value);
    return value;
}

VARIANT numberVariant(long number) {
    VARIANT value = emptyVariant();
    value.vt = VT_I4;
    value.lVal = number;
    return value;
}

// The launcher runs elevated, and a browser started by it would run elevated too. The desktop's shell
// (explorer) runs at the player's own rights: its desktop window's view hands out the shell's automation
// object, whose ShellExecute starts the program inside explorer's process. False when any step is missing
// (another shell, no desktop window).
bool openThroughDesktopShell(const std::wstring& link) {
    ComRef<IShellWindows> windows;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows, windows.out()))) {
        return false;
    }
    VARIANT desktopLocation = numberVariant(CSIDL_DESKTOP);
    VARIANT noRoot = emptyVariant();
    long desktopWindow = 0;
    ComRef<IDispatch> desktop;
    if (windows->FindWindowSW(&desktopLocation, &noRoot, SWC_DESKTOP, &desktopWindow, SWFO_NEEDDISPATCH,
                              desktop.typedOut()) != S_OK) {
        return false;
    }
    ComRef<IServiceProvider> services;
    ComRef<IShellBrowser> browser;
    ComRef<IShellView> view;
    ComRef<IDispatch> background;
    ComRef<IShellFolderViewDual> folderView;
    ComRef<IDispatch> application;
    ComRef<IShellDispatch2> shell;
    if (FAILED(desktop->QueryInterface(IID_IServiceProvider, services.out())) ||
        FAILED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.out())) ||
        FAILED(browser->QueryActiveShellView(view.typedOut())) ||
        FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.out())) ||
        FAILED(background->QueryInterface(IID_IShellFolderViewDual, folderView.out())) ||
        FAILED(folderView->get_Application(application.typedOut())) ||
        FAILED(application->QueryInterface(IID_IShellDispatch2, shell.out()))) {
        return false;
    }
    BSTR file = SysAllocString(link.c_str());
    if (file == nullptr) {
        return false;
    }
    const HRESULT result =
        shell->ShellExecute(file, emptyVariant(), emptyVariant(), emptyVariant(), numberVariant(SW_SHOWNORMAL));
    SysFreeString(file);
    return SUCCEEDED(result);
}

void openLink(const std::wstring& link) {
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
    if (!com || !openThroughDesktopShell(link)) {
        ShellExecuteW(nullptr, L"open", link.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
    if (com) {
        CoUninitialize();
    }
}

} // namespace

bool openLinkInBrowser(const std::string& link) {
    if (!gu::patch::news_link_problem(link).empty()) {
        return false;
    }
    // The rule leaves ASCII only, so every byte is one UTF-16 unit.
    std::wstring wide(link.begin(), link.end());
    return startDetachedWorker([wide = std::move(wide)] { openLink(wide); });
}

} // namespace launcher
