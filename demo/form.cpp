#include "demo/form.h"

#include <commctrl.h>
#include <commdlg.h>
#include <objbase.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

#include "common/result.h"
#include "common/text.h"
#include "demo/file_name.h"

namespace vinsdemo {
namespace {

using vinspect::Bstr;
using vinspect::ComRef;

constexpr char kClassName[] = "frmTest";
constexpr char kCaption[] = "QZ VersionInfo Test";
constexpr char kProgramTitle[] = "vinsdemo";
constexpr char kNoVersionInfo[] = "File does not contain version info resource";
constexpr char kDialogFilter[] =
    "Win32 Modules (*.exe,*.dll,*.fon,*.ttf)|*.exe;*.dll;*.fon;*.ttf|All Files (*.*)|*.*||";
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int kClientWidth = 8625;  // twips
constexpr int kClientHeight = 6315;
constexpr size_t kDialogFileChars = 32768;  // the longest path the platform accepts

// Layout in twips, in focus order. The list sits inside the frame: its place is the frame's
// corner plus the list's own offset of 135, 360.
struct ControlLayout {
    ControlId id;
    const char* windowClass;
    const char* text;
    DWORD style;
    DWORD exStyle;
    int left, top, width, height;
};

constexpr ControlLayout kControls[] = {
    {kTxtFile, "EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, 675, 225, 6270, 375},
    {kLabel1, "STATIC", "File:", SS_LEFT, 0, 180, 270, 555, 330},
    {kCmdBrowse, "BUTTON", "&Browse...", WS_TABSTOP | BS_PUSHBUTTON, 0, 7155, 225, 1275, 375},
    {kFrame1, "BUTTON", "Version Info", BS_GROUPBOX, 0, 135, 720, 8340, 5415},
    {kLvwVerInfo, WC_LISTVIEWA, "", WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS,
     WS_EX_CLIENTEDGE, 135 + 135, 720 + 360, 8025, 4920},
};

struct Column {
    const char* header;
    int width;  // twips
};
constexpr Column kColumns[] = {{"Value Name", 1440}, {"Value", 4500}};

// The rows listed for a file with version data, in order: label and how its value is read.
struct Row {
    const char* label;
    HRESULT (*read)(IqzVersionInfo* object, BSTR* value);
};

HRESULT ReadLegalTrademarks(IqzVersionInfo* object, BSTR* value) {
    Bstr key(SysAllocString(L"StringFileInfo"));
    Bstr name(SysAllocString(L"LegalTrademarks"));
    if (key.Get() == nullptr || name.Get() == nullptr) return E_OUTOFMEMORY;
    return object->GetValue(key.Get(), name.Get(), value);
}

#define VINSDEMO_PROPERTY_ROW(label, property) \
    {label, [](IqzVersionInfo* o, BSTR* v) { return o->get_##property(v); }}
constexpr Row kRows[] = {
    VINSDEMO_PROPERTY_ROW("FileDescription", FileDescription),
    VINSDEMO_PROPERTY_ROW("ProductName", ProductName),
    VINSDEMO_PROPERTY_ROW("FileVersion", FileVersion),
    VINSDEMO_PROPERTY_ROW("ProductVersion", ProductVersion),
    VINSDEMO_PROPERTY_ROW("CompanyName", CompanyName),
    VINSDEMO_PROPERTY_ROW("InternalName", InternalName),
    VINSDEMO_PROPERTY_ROW("OriginalFilename", OriginalFilename),
    VINSDEMO_PROPERTY_ROW("PrivateBuild", PrivateBuild),
    VINSDEMO_PROPERTY_ROW("SpecialBuild", SpecialBuild),
    VINSDEMO_PROPERTY_ROW("LegalCopyright", LegalCopyright),
    {"LegalTrademarks", ReadLegalTrademarks},
    VINSDEMO_PROPERTY_ROW("Language", LanguageName),
    VINSDEMO_PROPERTY_ROW("Comments", Comments),
    VINSDEMO_PROPERTY_ROW("OS", FileOSString),
};
#undef VINSDEMO_PROPERTY_ROW

// The screen's dots per inch, horizontally and vertically.
struct Dpi {
    int x = 96;
    int y = 96;
};

Dpi SystemDpi() {
    Dpi dpi;
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) return dpi;
    dpi.x = GetDeviceCaps(screen, LOGPIXELSX);
    dpi.y = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

int Pixels(int twips, int dpi) { return MulDiv(twips, dpi, 1440); }

std::string WindowText(HWND window) {
    std::string text(static_cast<size_t>(GetWindowTextLengthA(window)), '\0');
    if (text.empty()) return text;
    int copied = GetWindowTextA(window, text.data(), static_cast<int>(text.size() + 1));
    text.resize(static_cast<size_t>(std::max(copied, 0)));
    return text;
}

// ANSI text as an automation string (never null; the empty text gives an empty string).
HRESULT ToBstr(const std::string& text, Bstr* out) {
    return vinspect::WideFromAnsi(text.c_str(), static_cast<int>(text.size()), out->Out());
}

// An automation string as ANSI text; a text that cannot be had comes out empty.
std::string ToAnsi(BSTR text) {
    vinspect::AnsiText ansi;
    if (FAILED(vinspect::AnsiFromWide(text, &ansi)) || !ansi) return std::string();
    return ansi.get();
}

// The system's message text for `code`, or its number for a code without text. Uses stack memory
// only, so that it can report a failed allocation too.
void DescribeCode(HRESULT code, char (&text)[512]) {
    if (vinspect::SystemMessageText(code, text, sizeof text) == 0) {
        std::snprintf(text, sizeof text, "Error 0x%08lX", static_cast<unsigned long>(code));
    }
}

std::string SystemText(HRESULT code) {
    char text[512];
    DescribeCode(code, text);
    return text;
}

// The description of a failed call: the error object's text when `source` stands behind its
// error objects, the system's text otherwise. The thread's error object is taken either way,
// so that no stale one is shown for a later failure.
std::string Describe(HRESULT code, IUnknown* source) {
    ComRef<IErrorInfo> info;
    if (GetErrorInfo(0, info.Out()) != S_OK || !info || source == nullptr) return SystemText(code);
    ComRef<ISupportErrorInfo> support;
    if (FAILED(source->QueryInterface(IID_ISupportErrorInfo, support.OutVoid())) ||
        support->InterfaceSupportsErrorInfo(IID_IqzVersionInfo) != S_OK) {
        return SystemText(code);
    }
    Bstr description;
    if (FAILED(info->GetDescription(description.Out())) || SysStringLen(description.Get()) == 0) {
        return SystemText(code);
    }
    return ToAnsi(description.Get());
}

// Nothing may leave a window procedure as an exception: one that would (in practice a failed
// allocation) ends the message's work and is shown with the system's text, from stack memory only.
void ShowEscapedFailure(HWND owner) noexcept {
    HRESULT code = E_UNEXPECTED;
    try {
        throw;
    } catch (const std::bad_alloc&) {
        code = E_OUTOFMEMORY;
    } catch (...) {
    }
    char text[512];
    DescribeCode(code, text);
    MessageBoxA(owner, text, kProgramTitle, MB_OK);
}

// Filter text with "|" between display texts and patterns, as the dialog wants it: each
// part ended by a NUL, the list by a second one.
std::string DialogFilter(const char* text) {
    std::string filter(text);
    std::replace(filter.begin(), filter.end(), '|', '\0');
    return filter;
}

// Holds the calling thread in a single-threaded apartment for the program's lifetime.
class Apartment {
public:
    Apartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    ~Apartment() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    HRESULT Result() const { return result_; }

private:
    HRESULT result_;
};

}  // namespace

HRESULT CreateVersionInfoByClsid(IqzVersionInfo** object) {
    return CoCreateInstance(CLSID_VersionInfo, nullptr, CLSCTX_INPROC_SERVER, IID_IqzVersionInfo,
                            reinterpret_cast<void**>(object));
}

VersionListWindow::VersionListWindow(ObjectFactory factory, bool endsProgram)
    : factory_(std::move(factory)), endsProgram_(endsProgram) {}

VersionListWindow::~VersionListWindow() {
    if (window_ != nullptr) DestroyWindow(window_);
}

HRESULT VersionListWindow::Open(HINSTANCE instance, ObjectFactory factory, int show,
                                bool endsProgram, std::unique_ptr<VersionListWindow>* form,
                                Failure* loadFailure) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);

    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    windowClass.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(1), IMAGE_ICON,
                                                        GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    if (RegisterClassExA(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return vinspect::FailureFromLastError();
    }

    Dpi dpi = SystemDpi();
    RECT frame{0, 0, Pixels(kClientWidth, dpi.x), Pixels(kClientHeight, dpi.y)};
    AdjustWindowRectEx(&frame, kFormStyle, FALSE, 0);

    std::unique_ptr<VersionListWindow> created(
        new (std::nothrow) VersionListWindow(std::move(factory), endsProgram));
    if (!created) return E_OUTOFMEMORY;
    HWND window = CreateWindowExA(0, kClassName, kCaption, kFormStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                  frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                  nullptr, instance, created.get());
    if (window == nullptr) {
        if (FAILED(created->err_.number)) {
            if (loadFailure != nullptr) *loadFailure = created->err_;
            return created->err_.number;
        }
        return vinspect::FailureFromLastError();
    }
    ShowWindow(window, show);
    UpdateWindow(window);
    SetFocus(created->Control(kTxtFile));
    *form = std::move(created);
    return S_OK;
}

bool VersionListWindow::PreTranslate(MSG* message) {
    return window_ != nullptr && IsDialogMessageA(window_, message);
}

HRESULT VersionListWindow::CreateControls() {
    Dpi dpi = SystemDpi();
    HGDIOBJ font = GetStockObject(DEFAULT_GUI_FONT);
    auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window_, GWLP_HINSTANCE));
    for (const ControlLayout& control : kControls) {
        HWND child = CreateWindowExA(
            control.exStyle, control.windowClass, control.text,
            WS_CHILD | WS_VISIBLE | control.style, Pixels(control.left, dpi.x),
            Pixels(control.top, dpi.y), Pixels(control.width, dpi.x), Pixels(control.height, dpi.y),
            window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), instance, nullptr);
        if (child == nullptr) return vinspect::FailureFromLastError();
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    // The frame is drawn beneath the list it holds; the focus order is unchanged, as the frame
    // never takes the focus.
    SetWindowPos(Control(kFrame1), HWND_BOTTOM, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    HWND list = Control(kLvwVerInfo);
    for (int index = 0; index < static_cast<int>(std::size(kColumns)); ++index) {
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.cx = Pixels(kColumns[index].width, dpi.x);
        column.pszText = const_cast<char*>(kColumns[index].header);
        column.iSubItem = index;
        if (SendMessageA(list, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column)) !=
            index) {
            return E_FAIL;
        }
    }

    // txtFile reports its keys to the form through a subclass.
    HWND textBox = Control(kTxtFile);
    SetWindowLongPtrA(textBox, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    textBoxDefault_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(textBox, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TextBoxProc)));
    return textBoxDefault_ != nullptr ? S_OK : vinspect::FailureFromLastError();
}

HRESULT VersionListWindow::OnCreate() {
    if (!factory_) return Raise(E_POINTER);
    HRESULT result = factory_(objVerInfo_.Out());
    if (SUCCEEDED(result) && !objVerInfo_) result = E_POINTER;
    return FAILED(result) ? Raise(result) : S_OK;
}

void VersionListWindow::OnFileNameKeyDown(WORD keyCode, int) {
    if (keyCode == VK_RETURN) ShowVersionInfo();
}

void VersionListWindow::OnBrowseClicked() {
    if (FAILED(Browse())) ShowFailure();
}

HRESULT VersionListWindow::Browse() {
    std::string filter = DialogFilter(kDialogFilter);
    std::vector<char> file(std::max(kDialogFileChars, dialogFileName_.size() + 1), '\0');
    std::copy(dialogFileName_.begin(), dialogFileName_.end(), file.begin());

    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window_;
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    if (GetOpenFileNameA(&dialog)) {
        dialogFileName_ = file.data();
    } else if (DWORD error = CommDlgExtendedError(); error != 0) {
        // Cancelling is no failure; anything else is the dialog's own error number.
        char text[96];
        std::snprintf(text, sizeof text, "The file-open dialog failed (error 0x%04lX).",
                      static_cast<unsigned long>(error));
        err_ = Failure{E_FAIL, text};
        return E_FAIL;
    }
    if (dialogFileName_.empty()) return S_OK;
    if (!SetWindowTextA(Control(kTxtFile), dialogFileName_.c_str())) {
        return Raise(vinspect::FailureFromLastError());
    }
    ShowVersionInfo();  // reports its own failures
    return S_OK;
}

void VersionListWindow::ShowVersionInfo() {
    if (FAILED(ListFile())) ShowFailure();
}

HRESULT VersionListWindow::ListFile() {
    HWND list = Control(kLvwVerInfo);
    if (!SendMessageA(list, LVM_DELETEALLITEMS, 0, 0)) return Raise(E_FAIL);
    std::string file = WindowText(Control(kTxtFile));
    if (!SetWindowTextA(Control(kFrame1), ("Version Info (" + file + ")").c_str())) {
        return Raise(vinspect::FailureFromLastError());
    }
    Bstr path;
    HRESULT result = ToBstr(file, &path);
    if (FAILED(result)) return Raise(result);
    result = objVerInfo_->put_Path(path.Get());
    if (FAILED(result)) return Raise(result, objVerInfo_.Get());

    VARIANT_BOOL exists = VARIANT_FALSE;
    result = objVerInfo_->get_InfoExist(&exists);
    if (FAILED(result)) return Raise(result, objVerInfo_.Get());
    if (exists == VARIANT_FALSE) return AddListRow(FileNameOf(file), kNoVersionInfo);

    for (const Row& row : kRows) {
        Bstr value;
        result = row.read(objVerInfo_.Get(), value.Out());
        if (FAILED(result)) return Raise(result, objVerInfo_.Get());
        result = AddListRow(row.label, ToAnsi(value.Get()));
        if (FAILED(result)) return result;
    }
    return S_OK;
}

HRESULT VersionListWindow::AddListRow(const std::string& name, const std::string& value) {
    HWND list = Control(kLvwVerInfo);
    std::string text = name;
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = text.data();
    int row =
        static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0) return Raise(E_FAIL);

    text = value;
    item.iSubItem = 1;
    item.pszText = text.data();
    if (!SendMessageA(list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item))) {
        return Raise(E_FAIL);
    }
    return S_OK;
}

HRESULT VersionListWindow::Raise(HRESULT code, IUnknown* source) {
    err_ = Failure{code, Describe(code, source)};
    return code;
}

void VersionListWindow::ShowFailure() {
    MessageBoxA(window_, err_.description.c_str(), kProgramTitle, MB_OK);
}

LRESULT CALLBACK VersionListWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* form = static_cast<VersionListWindow*>(
            reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        form->window_ = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<VersionListWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (form == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    LRESULT result = 0;
    try {
        result = form->Handle(message, wParam, lParam);
    } catch (...) {
        ShowEscapedFailure(window);
        result = message == WM_CREATE ? -1 : 0;
    }
    // A window whose creation failed never ends the program itself: the system still destroys it
    // (on Windows with WM_DESTROY), and a quit message posted then would close the failure's
    // message box at once. The caller shows the failure and ends the program.
    if (message == WM_CREATE && result == -1) form->endsProgram_ = false;
    return result;
}

LRESULT VersionListWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: {
        HRESULT result = CreateControls();
        if (FAILED(result)) {
            Raise(result);
            return -1;
        }
        return FAILED(OnCreate()) ? -1 : 0;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == kCmdBrowse && HIWORD(wParam) == BN_CLICKED) OnBrowseClicked();
        return 0;
    case WM_ACTIVATE:
        // Keep the focus where it was when the window is left and comes back.
        if (LOWORD(wParam) == WA_INACTIVE) {
            lastFocus_ = GetFocus();
        } else if (lastFocus_ != nullptr && IsChild(window_, lastFocus_)) {
            SetFocus(lastFocus_);
        } else {
            SetFocus(Control(kTxtFile));
        }
        return 0;
    case WM_DESTROY:
        objVerInfo_.Reset();
        if (endsProgram_) PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY: {
        HWND window = std::exchange(window_, nullptr);
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        return DefWindowProcA(window, message, wParam, lParam);
    }
    default:
        return DefWindowProcA(window_, message, wParam, lParam);
    }
}

LRESULT CALLBACK VersionListWindow::TextBoxProc(HWND box, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
    auto* form = reinterpret_cast<VersionListWindow*>(GetWindowLongPtrA(box, GWLP_USERDATA));
    try {
        return form->HandleTextBox(box, message, wParam, lParam);
    } catch (...) {
        ShowEscapedFailure(GetParent(box));
        return 0;
    }
}

LRESULT VersionListWindow::HandleTextBox(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_GETDLGCODE: {
        // Ask for Enter, which the dialog-key handling would otherwise take for itself.
        LRESULT code = CallWindowProcA(textBoxDefault_, box, message, wParam, lParam);
        const MSG* pending = reinterpret_cast<const MSG*>(lParam);
        if (pending != nullptr && pending->message == WM_KEYDOWN && pending->wParam == VK_RETURN) {
            code |= DLGC_WANTMESSAGE;
        }
        return code;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {  // keys pressed with Alt held come as system keys
        int shift = (GetKeyState(VK_SHIFT) < 0 ? 1 : 0) | (GetKeyState(VK_CONTROL) < 0 ? 2 : 0) |
                    (GetKeyState(VK_MENU) < 0 ? 4 : 0);
        OnFileNameKeyDown(static_cast<WORD>(wParam), shift);
        if (wParam == VK_RETURN) return 0;
        break;
    }
    case WM_CHAR:
    case WM_SYSCHAR:
        // Enter (with Ctrl or Alt too) was handled on key-down; the text box would only beep or
        // take a control character.
        if (wParam == '\r' || wParam == '\n') return 0;
        break;
    case WM_NCDESTROY:
        SetWindowLongPtrA(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(textBoxDefault_));
        break;
    }
    return CallWindowProcA(textBoxDefault_, box, message, wParam, lParam);
}

int RunProgram(HINSTANCE instance, int show, const ObjectFactory& factory) {
    Apartment apartment;
    std::unique_ptr<VersionListWindow> form;
    Failure failure;
    HRESULT result = FAILED(apartment.Result())
                         ? apartment.Result()
                         : VersionListWindow::Open(instance, factory, show, true, &form, &failure);
    if (FAILED(result)) {
        // OnCreate has no failure handler of its own: report number and description, then end.
        if (failure.number != result) failure = Failure{result, SystemText(result)};
        char number[64];
        std::snprintf(number, sizeof number, "Run-time error '%ld (%08lX)':\r\n\r\n",
                      static_cast<long>(result), static_cast<unsigned long>(result));
        MessageBoxA(nullptr, (number + failure.description).c_str(), kProgramTitle, MB_OK);
        return 1;
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (form->PreTranslate(&message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace vinsdemo
