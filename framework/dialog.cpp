#include "dialog.h"

#include "app.h"

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, &CDialog::OnOK)
    ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

namespace {

// Messages whose result a dialog procedure returns itself instead of through
// DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message)
{
    switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
        return true;
    default:
        return false;
    }
}

// Commands that a dialog passes on to the application when it has no handler:
// command ids (0x8000 and up) below the system commands.
bool RoutedToApp(UINT id, UINT code) { return code == 0 && id >= 0x8000 && id < 0xF000; }

}  // namespace

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal()
{
    HWND owner = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : DefaultOwner();
    // A Unicode dialog: the template's texts show as they are on any system code page.
    return ::DialogBoxParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_nIDTemplate), owner,
                             &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

HWND CDialog::DefaultOwner() const
{
    CWnd* main = AfxGetMainWnd();
    if (main == nullptr || main == this || main->m_hWnd == nullptr)
        return nullptr;
    HWND owner = main->m_hWnd;
    while (owner != nullptr && (::GetWindowLongW(owner, GWL_STYLE) & WS_CHILD))
        owner = ::GetParent(owner);
    return owner != nullptr ? ::GetLastActivePopup(owner) : nullptr;
}

void CDialog::EndDialog(int result) { ::EndDialog(m_hWnd, result); }

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void DDX_Control(CDataExchange* pDX, int id, CWnd& control)
{
    if (control.m_hWnd != nullptr)
        return;
    auto* dlg = static_cast<CDialog*>(pDX->m_pDlgWnd);
    dlg->Bind(&control, ::GetDlgItem(dlg->m_hWnd, id));
}

void CDialog::Bind(CWnd* control, HWND hWnd)
{
    if (hWnd == nullptr || m_nBound == kMaxBoundControls)
        return;
    control->m_hWnd = hWnd;
    m_bound[m_nBound++] = control;
}

void CDialog::ReleaseBindings()
{
    for (int i = 0; i < m_nBound; ++i)
        m_bound[i]->m_hWnd = nullptr;
    m_nBound = 0;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* dlg = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
        dlg->m_hWnd = hWnd;
        return dlg->OnInitDialog();
    }
    auto* dlg = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hWnd, DWLP_USER));
    if (dlg == nullptr)
        return FALSE;
    if (message == WM_NCDESTROY) {
        // The last message of the window: from here on the objects hold no handle.
        ::SetWindowLongPtrW(hWnd, DWLP_USER, 0);
        dlg->ReleaseBindings();
        dlg->m_hWnd = nullptr;
        return FALSE;
    }
    return dlg->Dispatch(message, wParam, lParam);
}

INT_PTR CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    UINT code = 0;
    UINT id = 0;
    if (message == WM_COMMAND) {
        code = HIWORD(wParam);
        id = LOWORD(wParam);
    }
    const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(message, code, id);
    if (entry == nullptr) {
        if (message == WM_COMMAND && RoutedToApp(id, code) && AfxGetApp() != nullptr)
            return AfxGetApp()->OnCmdMsg(id, code) ? TRUE : FALSE;
        if (message == WM_HELP && !(::GetWindowLongW(m_hWnd, GWL_STYLE) & WS_CHILD)) {
            // F1: the help command goes to the main window, and from there to the application.
            if (CWnd* main = AfxGetMainWnd(); main != nullptr && main->m_hWnd != nullptr) {
                main->SendMessage(WM_COMMAND, ID_HELP, 0);
                ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
        }
        return FALSE;
    }

    // Handlers may run nested message loops (message boxes, modal dialogs):
    // keep the outer handler's request for default handling apart.
    const bool outerDefault = m_defaultRequested;
    m_defaultRequested = false;
    const LRESULT result = entry->pfn(this, wParam, lParam);
    const bool wantsDefault = m_defaultRequested;
    m_defaultRequested = outerDefault;

    if (wantsDefault)
        return FALSE;
    if (ReturnsResultDirectly(message))
        return static_cast<INT_PTR>(result);
    if (m_hWnd != nullptr)
        ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
    return TRUE;
}
