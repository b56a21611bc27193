// frmTest in a real window: keys through the input queue, message boxes and the file-open
// dialog answered from a second thread, the component registered and created by its CLSID.
#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>

#include "demo/form.h"
#include "demo/path_text.h"
#include "test_modules.h"

using namespace testing_support;
using namespace vinsdemo;
using Rows = std::vector<std::pair<std::string, std::string>>;

namespace {

std::string TextOf(HWND window) {
    char text[4096] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string Narrow(const std::wstring& text) {
    char ansi[4096] = "";
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, ansi, sizeof ansi, nullptr, nullptr);
    return ansi;
}

struct BoxSeen {
    std::string caption, text, buttons;
    bool icon = false;
};

// Answers the modal windows of the test's thread from a timer that their message loops run: a
// message box is read and closed with OK; a file-open dialog has its file types read and gets the
// next queued file name (none, or an empty one, cancels it).
class ModalAnswers {
public:
    ModalAnswers() : timer_(SetTimer(nullptr, 0, 20, Tick)) { current_ = this; }
    ~ModalAnswers() { KillTimer(nullptr, timer_), current_ = nullptr; }
    std::deque<std::string> files;
    std::vector<std::vector<std::string>> dialogs;  // the file types each dialog offered
    std::vector<BoxSeen> boxes;

private:
    static BOOL CALLBACK FindModal(HWND window, LPARAM found) {
        char name[16] = "";
        GetClassNameA(window, name, sizeof name);
        bool modal = IsWindowVisible(window) && lstrcmpA(name, "#32770") == 0;
        if (modal) *reinterpret_cast<HWND*>(found) = window;
        return !modal;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        HWND modal = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), FindModal, reinterpret_cast<LPARAM>(&modal));
        if (modal == nullptr || current_ == nullptr) return;
        WPARAM answer = GetDlgItem(modal, cmb1) != nullptr ? current_->AnswerDialog(modal) : current_->ReadBox(modal);
        if (answer != 0) PostMessageA(modal, WM_COMMAND, answer, 0);  // 0: still being filled in
    }
    WPARAM AnswerDialog(HWND dialog) {
        std::vector<std::string> types;
        for (char text[256]; SendDlgItemMessageA(dialog, cmb1, CB_GETLBTEXT, types.size(),
                                                 reinterpret_cast<LPARAM>(text)) >= 0;) {
            types.push_back(text);
        }
        if (types.empty()) return 0;
        dialogs.push_back(types);
        std::string file;
        if (!files.empty()) file = files.front(), files.pop_front();
        if (file.empty()) return IDCANCEL;
        SetDlgItemTextA(dialog, GetDlgItem(dialog, cmb13) != nullptr ? cmb13 : edt1, file.c_str());
        return IDOK;
    }
    WPARAM ReadBox(HWND box) {
        BoxSeen seen{TextOf(box), TextOf(GetDlgItem(box, 0xFFFF)), "", false};
        for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
            char name[16] = "";
            GetClassNameA(child, name, sizeof name);
            if (!IsWindowVisible(child)) continue;
            if (lstrcmpiA(name, "Button") == 0) seen.buttons.append("[").append(TextOf(child)).append("]");
            if (lstrcmpiA(name, "Static") == 0 && SendMessageA(child, STM_GETICON, 0, 0) != 0) seen.icon = true;
        }
        if (seen.buttons.empty()) return 0;
        boxes.push_back(seen);
        return IDOK;
    }

    static inline ModalAnswers* current_ = nullptr;
    UINT_PTR timer_;
};

// What a separate object of the component says about `path`: the failure's description, or
// whether there is data and its language and OS texts.
struct Answer {
    bool failed, exists;
    std::string description, language, os;
};

Answer ComponentAnswer(const std::string& path) {
    vinspect::ComRef<IqzVersionInfo> info;
    EXPECT_EQ(CreateVersionInfoByClsid(info.Out()), S_OK);
    vinspect::Bstr name(SysAllocString(Widen(path).c_str())), language, os;
    if (FAILED(info->put_Path(name.Get()))) return {true, false, Narrow(TakeErrorObject().description), "", ""};
    VARIANT_BOOL exists = VARIANT_FALSE;
    info->get_InfoExist(&exists);
    info->get_LanguageName(language.Out());
    info->get_FileOSString(os.Out());
    return {false, exists != VARIANT_FALSE, "", Narrow(Text(language.Get())), Narrow(Text(os.Get()))};
}

// A VersionInfo stand-in: every string read answers with the value's own name and is noted with
// the number of rows the list held at that moment; reading SpecialBuild (row 9) fails, leaving an
// error object that this object, without ISupportErrorInfo, does not stand behind.
class FailingAtRow9 : public IqzVersionInfo {
public:
    HWND list = nullptr;
    std::vector<std::pair<std::string, LRESULT>> reads;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        bool known = iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IqzVersionInfo;
        *out = known ? this : nullptr;
        return known ? (AddRef(), S_OK) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override { return --references_; }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP put_Path(BSTR) override { return S_OK; }
    STDMETHODIMP put_Language(short) override { return E_NOTIMPL; }
    STDMETHODIMP put_Codepage(short) override { return E_NOTIMPL; }
    STDMETHODIMP get_InfoExist(VARIANT_BOOL* exists) override { return *exists = VARIANT_TRUE, S_OK; }
    STDMETHODIMP GetValue(BSTR, BSTR name, BSTR* value) override { return Read(Narrow(name), value); }
#define UNUSED(name, type) STDMETHODIMP get_##name(type*) override { return E_NOTIMPL; }
#define STRING(name) STDMETHODIMP get_##name(BSTR* value) override { return Read(#name, value); }
    UNUSED(Path, BSTR) UNUSED(Language, short) UNUSED(Codepage, short) UNUSED(FileVersionHigh, LONG)
    UNUSED(FileVersionLow, LONG) UNUSED(ProductVersionHigh, LONG) UNUSED(ProductVersionLow, LONG)
    UNUSED(FileFlagsMask, LONG) UNUSED(FileFlags, LONG) UNUSED(FileOS, LONG) UNUSED(FileType, LONG)
    UNUSED(FileSubtype, LONG) UNUSED(FileDate, VARIANT) STRING(FileOSString) STRING(Comments)
    STRING(CompanyName) STRING(FileDescription) STRING(FileVersion) STRING(InternalName)
    STRING(LegalCopyright) STRING(LegalTrademarks) STRING(OriginalFilename) STRING(PrivateBuild)
    STRING(ProductName) STRING(ProductVersion) STRING(SpecialBuild) STRING(LanguageName) STRING(Version)
#undef UNUSED
#undef STRING

private:
    HRESULT Read(const std::string& name, BSTR* value) {
        reads.emplace_back(name, SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
        if (name != "SpecialBuild") return *value = SysAllocString(Widen(name).c_str()), S_OK;
        vinspect::ComRef<ICreateErrorInfo> error;
        vinspect::ComRef<IErrorInfo> info;
        CreateErrorInfo(error.Out());
        error->SetDescription(const_cast<LPOLESTR>(L"not to be shown"));
        error->QueryInterface(IID_IErrorInfo, info.OutVoid());
        SetErrorInfo(0, info.Get());
        return E_ACCESSDENIED;
    }
    ULONG references_ = 1;
};

}  // namespace

// Answers the thread's modal windows for the time of a test.
class WatchedThread : public testing::Test {
protected:
    ModalAnswers modal_;
};

class DemoWindow : public WatchedThread {
protected:
    // Registers vinspect.dll in the prefix through its own entry point.
    static void SetUpTestSuite() {
        vinspect::ModuleHandle dll(LoadLibraryA((BinDir() + "\\vinspect.dll").c_str()));
        auto entry = reinterpret_cast<HRESULT(WINAPI*)()>(
            reinterpret_cast<void*>(GetProcAddress(dll.Get(), "DllRegisterServer")));
        ASSERT_NE(entry, nullptr);
        ASSERT_EQ(entry(), S_OK);
    }
    void SetUp() override { Open(CreateVersionInfoByClsid); }

    void Open(ObjectFactory factory) {
        form_.reset();
        Failure failure;
        ASSERT_EQ(TestForm::Open(GetModuleHandleA(nullptr), factory, SW_SHOW, false, &form_, &failure), S_OK)
            << failure.description;
        Pump([] { return false; }, 100);
    }
    HWND Control(ControlId id) { return form_->Control(id); }

    // Runs the thread's messages through the form, as the program's loop does, until `done`.
    bool Pump(const std::function<bool()>& done, DWORD timeout = 5000) {
        for (DWORD start = GetTickCount(); !done();) {
            MSG message;
            if (GetTickCount() - start > timeout) return false;
            if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            } else if (!form_->PreTranslate(&message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
        return true;
    }

    // Presses `keys` together through the input queue and runs the messages until `done`.
    void Press(const std::vector<WORD>& keys, const std::function<bool()>& done, DWORD flags = 0) {
        std::vector<INPUT> inputs(2 * keys.size(), INPUT{INPUT_KEYBOARD, {}});
        for (size_t at = 0; at < inputs.size(); ++at) {
            bool up = at >= keys.size();
            inputs[at].ki.wVk = keys[up ? inputs.size() - 1 - at : at];
            inputs[at].ki.dwFlags = flags | (up ? KEYEVENTF_KEYUP : 0);
        }
        SetForegroundWindow(form_->Window());
        SendInput(inputs.size(), inputs.data(), sizeof(INPUT));
        EXPECT_TRUE(Pump(done));
        Pump([] { return false; }, 50);  // the key-ups
    }

    // Puts `text` in txtFile and presses `keys` until the listing has set the frame caption.
    void Enter(const std::string& text, const std::vector<WORD>& keys = {VK_RETURN}, DWORD flags = 0) {
        SetWindowTextA(Control(kTxtFile), text.c_str());
        SetWindowTextA(Control(kFrame1), "");
        Press(keys, [&] { return !TextOf(Control(kFrame1)).empty(); }, flags);
    }

    Rows ListRows() {
        Rows rows;
        char cells[2][1024];
        LVITEMA item{};
        for (int row = 0; row < SendMessageA(Control(kLvwVerInfo), LVM_GETITEMCOUNT, 0, 0); ++row) {
            for (item.iSubItem = 0; item.iSubItem < 2; ++item.iSubItem) {
                item.pszText = cells[item.iSubItem];
                item.cchTextMax = sizeof cells[0];
                SendMessageA(Control(kLvwVerInfo), LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
            }
            rows.emplace_back(cells[0], cells[1]);
        }
        return rows;
    }

    std::unique_ptr<TestForm> form_;
};

TEST_F(DemoWindow, OpensAtItsSizeWithFocusOrderAndNothingListed) {
    HDC screen = GetDC(nullptr);
    const int dpiX = GetDeviceCaps(screen, LOGPIXELSX), dpiY = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    RECT client;
    GetClientRect(form_->Window(), &client);
    EXPECT_EQ(client.right, MulDiv(8625, dpiX, 1440));
    EXPECT_EQ(client.bottom, MulDiv(6315, dpiY, 1440));
    EXPECT_EQ(TextOf(form_->Window()), "QZ VersionInfo Test");
    EXPECT_EQ(TextOf(Control(kFrame1)), "Version Info");
    EXPECT_TRUE(ListRows().empty());
    HWND focus = GetFocus();
    EXPECT_EQ(focus, Control(kTxtFile));
    for (ControlId id : {kCmdBrowse, kLvwVerInfo, kTxtFile}) {
        EXPECT_EQ(focus = GetNextDlgTabItem(form_->Window(), focus, FALSE), Control(id));
    }
}

TEST_F(DemoWindow, EnterListsTheFourteenRowsOfAModuleEveryTimeAndOtherKeysOnlyEdit) {
    const std::string module = BinDir() + "\\vinsdemo.exe";
    Answer component = ComponentAnswer(module);
    ASSERT_TRUE(component.exists && !component.language.empty() && !component.os.empty());
    const Rows expected = {
        {"FileDescription", "QZ VersionInfo Test Program"}, {"ProductName", "QZ VersionInfo"},
        {"FileVersion", "1.00.0008"}, {"ProductVersion", "1.00.0008"}, {"CompanyName", "Tervik"},
        {"InternalName", "vinsdemo"}, {"OriginalFilename", "vinsdemo.exe"}, {"PrivateBuild", ""},
        {"SpecialBuild", ""}, {"LegalCopyright", "Copyright (C) Tervik"}, {"LegalTrademarks", ""},
        {"Language", component.language}, {"Comments", ""}, {"OS", component.os}};
    // Enter, again (the list is cleared first), with Shift, and the keypad's Enter.
    for (const auto& [keys, flags] : std::vector<std::pair<std::vector<WORD>, DWORD>>{
             {{VK_RETURN}, 0}, {{VK_RETURN}, 0}, {{VK_SHIFT, VK_RETURN}, 0}, {{VK_RETURN}, KEYEVENTF_EXTENDEDKEY}}) {
        Enter(module, keys, flags);
        EXPECT_EQ(ListRows(), expected);
        EXPECT_EQ(TextOf(Control(kFrame1)), "Version Info (" + module + ")");
    }
    SetWindowTextA(Control(kFrame1), "");
    Press({'X'}, [&] { return TextOf(Control(kTxtFile)).size() == module.size() + 1; });
    EXPECT_EQ(TextOf(Control(kFrame1)), "");
    EXPECT_TRUE(modal_.boxes.empty());
}

TEST_F(DemoWindow, RejectedNamesShowTheObjectsDescriptionAndModulesWithoutDataOneRow) {
    const std::string plain = BinDir() + "\\plain.dll", missing = BinDir() + "\\missing.dll";
    const std::string noData = "File does not contain version info resource";
    EXPECT_EQ(ComponentAnswer(missing).description, Narrow(SystemText(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))));
    // The caption shows the text as typed, blanks included; the empty name gets the object's answer.
    for (const std::string& text : {missing, "  " + plain + "  ", std::string(), plain}) {
        SCOPED_TRACE(text);
        size_t shown = modal_.boxes.size();
        Enter(text);
        EXPECT_EQ(TextOf(Control(kFrame1)), "Version Info (" + text + ")");
        Answer answer = ComponentAnswer(text);
        if (!answer.failed) {
            EXPECT_EQ(ListRows(), (Rows{{Module1::GetFileName(text), noData}}));
            continue;
        }
        ASSERT_EQ(modal_.boxes.size(), shown + 1);
        BoxSeen box = modal_.boxes.back();
        EXPECT_EQ(box.caption, "vinsdemo");
        EXPECT_EQ(box.text, answer.description);
        EXPECT_EQ(box.buttons, "[OK]");
        EXPECT_FALSE(box.icon);
        EXPECT_TRUE(ListRows().empty());
    }
    EXPECT_EQ(ListRows(), (Rows{{"plain.dll", noData}}));
}

TEST_F(DemoWindow, ReadsEachValueBeforeAppendingItsRowAndKeepsTheRowsBeforeAFailedRead) {
    static FailingAtRow9 object;  // outlives the form, whichever way the test ends
    Open([&](IqzVersionInfo** out) { return object.QueryInterface(IID_IqzVersionInfo, reinterpret_cast<void**>(out)); });
    object.list = Control(kLvwVerInfo);
    Enter("C:\\dir\\app.exe");
    const std::vector<std::string> names = {"FileDescription", "ProductName", "FileVersion", "ProductVersion",
                                            "CompanyName", "InternalName", "OriginalFilename", "PrivateBuild",
                                            "SpecialBuild"};
    Rows rows;
    for (const std::string& name : names) {
        EXPECT_EQ(object.reads.at(rows.size()), std::make_pair(name, LRESULT(rows.size())));
        rows.emplace_back(name, name);
    }
    rows.pop_back();
    EXPECT_EQ(object.reads.size(), names.size());
    EXPECT_EQ(ListRows(), rows);
    ASSERT_EQ(modal_.boxes.size(), 1u);
    EXPECT_EQ(modal_.boxes[0].text, Narrow(SystemText(E_ACCESSDENIED)));
}

TEST_F(DemoWindow, BrowseListsTheChosenFileAndCancelListsTheLastChoiceAgain) {
    const std::string module = BinDir() + "\\vinsdemo.exe";
    // Alt+B presses cmdBrowse; the dialog chooses `answer`, or is cancelled when it is empty.
    auto browse = [&](const std::string& answer) {
        SetWindowTextA(Control(kTxtFile), "typed");
        SendMessageA(Control(kLvwVerInfo), LVM_DELETEALLITEMS, 0, 0);
        size_t opened = modal_.dialogs.size();
        modal_.files.push_back(answer);
        Press({VK_MENU, 'B'}, [&] { return modal_.dialogs.size() == opened + 1; });
    };
    browse("");  // before any choice: nothing changes
    EXPECT_EQ(TextOf(Control(kTxtFile)), "typed");
    EXPECT_EQ(TextOf(Control(kFrame1)), "Version Info");
    for (const std::string& answer : {module, std::string()}) {
        browse(answer);
        EXPECT_EQ(TextOf(Control(kTxtFile)), module);
        EXPECT_EQ(TextOf(Control(kFrame1)), "Version Info (" + module + ")");
        EXPECT_EQ(ListRows().size(), 14u);
    }
    const std::vector<std::string> types = {"Win32 Modules (*.exe,*.dll,*.fon,*.ttf)", "All Files (*.*)"};
    EXPECT_EQ(modal_.dialogs, (std::vector<std::vector<std::string>>(3, types)));
    EXPECT_TRUE(modal_.boxes.empty());
}

TEST_F(WatchedThread, FailedFormLoadShowsNumberAndDescriptionThenEnds) {
    const HRESULT missingServer = HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(RunProgram(GetModuleHandleA(nullptr), SW_SHOW, [&](IqzVersionInfo**) { return missingServer; }), 1);
    ASSERT_EQ(modal_.boxes.size(), 1u);
    EXPECT_EQ(modal_.boxes[0].caption, "vinsdemo");
    EXPECT_EQ(modal_.boxes[0].text, "Run-time error '-2147024770 (8007007E)':\r\n\r\n" +
                                            Narrow(SystemText(missingServer)));
}

TEST(Module1, FileNameAndReversalOfAnyLength) {
    const std::pair<std::string, std::string> names[] = {
        {"C:\\dir\\app.exe", "app.exe"}, {"C:app.exe", "app.exe"}, {"app.exe", "app.exe"}, {"C:\\dir\\", ""},
        {"dir/app.exe", "dir/app.exe"}, {"\\\\host\\share:x\\a:b", "a:b"}, {"", ""}};
    for (const auto& [path, name] : names) EXPECT_EQ(Module1::GetFileName(path), name) << path;
    EXPECT_EQ(Module1::ReverseString("abc de"), "ed cba");
    // Longer than a 16-bit position could count.
    std::string directory(40000, 'd');
    directory.front() = 'D';
    EXPECT_EQ(Module1::ReverseString(directory).back(), 'D');
    EXPECT_EQ(Module1::GetFileName("C:" + directory + "\\app.exe"), "app.exe");
    EXPECT_EQ(Module1::GetFileName(directory + ":" + directory), directory);
}
