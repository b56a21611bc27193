// frmTest in a real window: keys through the input queue, message boxes and the file-open
// dialog answered from a second thread, the component created by its CLSID.
#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "demo/form.h"
#include "demo/path_text.h"
#include "test_modules.h"

using namespace testing_support;
using vinsdemo::TestForm;
using vinspect::Bstr;
using vinspect::ComRef;
using Rows = std::vector<std::pair<std::string, std::string>>;

namespace {

constexpr char kServerKey[] = "CLSID\\{6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01}\\InprocServer32";
constexpr char kNoVersionInfo[] = "File does not contain version info resource";

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

// Registers vinspect.dll through its own entry point; while that cannot register yet, writes
// the class's server entry itself, removing it again if it cannot be completed.
void RegisterComponent() {
    std::string path = BinDir() + "\\vinspect.dll";
    vinspect::ModuleHandle dll(LoadLibraryA(path.c_str()));
    ASSERT_NE(dll.Get(), nullptr);
    auto entry = reinterpret_cast<HRESULT(WINAPI*)()>(
        reinterpret_cast<void*>(GetProcAddress(dll.Get(), "DllRegisterServer")));
    ASSERT_NE(entry, nullptr);
    if (SUCCEEDED(entry())) return;
    vinspect::RegKey key;
    LONG status = RegCreateKeyExA(HKEY_CLASSES_ROOT, kServerKey, 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, key.Out(), nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExA(key.Get(), nullptr, 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(path.c_str()), path.size() + 1);
    }
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExA(key.Get(), "ThreadingModel", 0, REG_SZ,
                                reinterpret_cast<const BYTE*>("Apartment"), 10);
    }
    key.Close();
    if (status != ERROR_SUCCESS) RegDeleteKeyA(HKEY_CLASSES_ROOT, kServerKey);
    ASSERT_EQ(status, ERROR_SUCCESS);
}

struct MessageBoxSeen {
    std::string caption, text, buttons;
    bool icon = false;
};

// Answers the modal windows of one thread from another: a message box is read and closed
// with OK, a file-open dialog gets the next queued file name (an empty one cancels it).
class ModalWatcher {
public:
    template <typename F>
    auto Locked(F f) {
        std::lock_guard<std::mutex> hold(lock_);
        return f();
    }
    explicit ModalWatcher(DWORD thread) : thread_(thread), worker_([this] { Run(); }) {}
    ~ModalWatcher() {
        stop_ = true;
        worker_.join();
    }
    void QueueFile(std::string file) { Locked([&] { files_.push_back(std::move(file)); }); }
    std::vector<MessageBoxSeen> Boxes() { return Locked([&] { return boxes_; }); }
    // The file-type texts that each file-open dialog offered.
    std::vector<std::vector<std::string>> Dialogs() { return Locked([&] { return dialogs_; }); }

private:
    void Run() {
        std::vector<HWND> answered;  // until they are gone
        for (; !stop_; Sleep(20)) {
            std::erase_if(answered, [](HWND window) { return !IsWindow(window); });
            HWND modal = nullptr;
            EnumThreadWindows(thread_, FindModal, reinterpret_cast<LPARAM>(&modal));
            if (modal == nullptr || std::find(answered.begin(), answered.end(), modal) != answered.end()) continue;
            WPARAM answer = GetDlgItem(modal, cmb1) != nullptr ? AnswerFileDialog(modal) : ReadMessageBox(modal);
            if (answer == 0) continue;  // not ready yet
            answered.push_back(modal);
            PostMessageA(modal, WM_COMMAND, answer, 0);
        }
    }
    static BOOL CALLBACK FindModal(HWND window, LPARAM found) {
        char name[16] = "";
        GetClassNameA(window, name, sizeof name);
        if (!IsWindowVisible(window) || lstrcmpA(name, "#32770") != 0) return TRUE;
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    WPARAM AnswerFileDialog(HWND dialog) {
        HWND types = GetDlgItem(dialog, cmb1);
        if (SendMessageA(types, CB_GETCOUNT, 0, 0) <= 0) return 0;  // still being filled
        std::string file;
        Locked([&] {
            dialogs_.emplace_back();
            for (LRESULT i = 0; i < SendMessageA(types, CB_GETCOUNT, 0, 0); ++i) {
                char text[256] = "";
                SendMessageA(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
                dialogs_.back().push_back(text);
            }
            if (!files_.empty()) file = files_.front(), files_.pop_front();
        });
        if (file.empty()) return IDCANCEL;
        HWND name = GetDlgItem(dialog, cmb13) != nullptr ? GetDlgItem(dialog, cmb13) : GetDlgItem(dialog, edt1);
        SetWindowTextA(name, file.c_str());
        return IDOK;
    }
    WPARAM ReadMessageBox(HWND box) {
        MessageBoxSeen seen{TextOf(box), TextOf(GetDlgItem(box, 0xFFFF)), "", false};
        for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
            char name[16] = "";
            GetClassNameA(child, name, sizeof name);
            if (!IsWindowVisible(child)) continue;
            if (lstrcmpiA(name, "Button") == 0) seen.buttons.append("[").append(TextOf(child)).append("]");
            if (lstrcmpiA(name, "Static") == 0 && SendMessageA(child, STM_GETICON, 0, 0) != 0) seen.icon = true;
        }
        if (seen.buttons.empty()) return 0;
        Locked([&] { boxes_.push_back(seen); });
        return IDOK;
    }

    DWORD thread_;
    std::atomic<bool> stop_{false};
    std::mutex lock_;
    std::deque<std::string> files_;
    std::vector<std::vector<std::string>> dialogs_;
    std::vector<MessageBoxSeen> boxes_;
    std::thread worker_;
};

// What the component answers for `path`: the failure's description, or whether data exists.
struct Answer {
    bool failed = false;
    std::string description;
    bool exists = false;
};

Answer ComponentAnswer(const std::string& path, std::wstring* language = nullptr, std::wstring* os = nullptr) {
    ComRef<IqzVersionInfo> info;
    EXPECT_EQ(vinsdemo::CreateVersionInfoByClsid(info.Out()), S_OK);
    Bstr name(SysAllocString(Widen(path).c_str()));
    Answer answer;
    answer.failed = FAILED(info->put_Path(name.Get()));
    if (answer.failed) {
        answer.description = Narrow(TakeErrorObject().description);
        return answer;
    }
    VARIANT_BOOL exists = VARIANT_FALSE;
    info->get_InfoExist(&exists);
    answer.exists = exists != VARIANT_FALSE;
    Bstr text;
    if (language != nullptr && SUCCEEDED(info->get_LanguageName(text.Out()))) *language = Text(text.Get());
    if (os != nullptr && SUCCEEDED(info->get_FileOSString(text.Out()))) *os = Text(text.Get());
    return answer;
}

// A VersionInfo stand-in: every string read answers with the value's own name, the read named
// `failing` fails (leaving an error object that this object does not stand behind), and each
// read is noted with the number of rows the list held at that moment.
class ScriptedVersionInfo : public IqzVersionInfo {
public:
    explicit ScriptedVersionInfo(std::string failing) : failing_(std::move(failing)) {}
    HWND list = nullptr;
    std::vector<std::pair<std::string, int>> reads;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        bool known = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
                     IsEqualIID(iid, IID_IqzVersionInfo);
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
    STDMETHODIMP get_InfoExist(VARIANT_BOOL* exists) override { return *exists = VARIANT_TRUE, S_OK; }
    STDMETHODIMP GetValue(BSTR key, BSTR name, BSTR* value) override {
        return Read(Narrow(key) + "/" + Narrow(name), value);
    }
#define UNUSED_PROPERTY(name, type) \
    STDMETHODIMP get_##name(type*) override { return E_NOTIMPL; }
#define STRING_PROPERTY(name) \
    STDMETHODIMP get_##name(BSTR* value) override { return Read(#name, value); }
    UNUSED_PROPERTY(Path, BSTR) UNUSED_PROPERTY(Language, short) UNUSED_PROPERTY(Codepage, short)
    STDMETHODIMP put_Language(short) override { return E_NOTIMPL; }
    STDMETHODIMP put_Codepage(short) override { return E_NOTIMPL; }
    UNUSED_PROPERTY(FileVersionHigh, LONG) UNUSED_PROPERTY(FileVersionLow, LONG)
    UNUSED_PROPERTY(ProductVersionHigh, LONG) UNUSED_PROPERTY(ProductVersionLow, LONG)
    UNUSED_PROPERTY(FileFlagsMask, LONG) UNUSED_PROPERTY(FileFlags, LONG) UNUSED_PROPERTY(FileOS, LONG)
    UNUSED_PROPERTY(FileType, LONG) UNUSED_PROPERTY(FileSubtype, LONG) UNUSED_PROPERTY(FileDate, VARIANT)
    STRING_PROPERTY(FileOSString) STRING_PROPERTY(Comments) STRING_PROPERTY(CompanyName)
    STRING_PROPERTY(FileDescription) STRING_PROPERTY(FileVersion) STRING_PROPERTY(InternalName)
    STRING_PROPERTY(LegalCopyright) STRING_PROPERTY(LegalTrademarks) STRING_PROPERTY(OriginalFilename)
    STRING_PROPERTY(PrivateBuild) STRING_PROPERTY(ProductName) STRING_PROPERTY(ProductVersion)
    STRING_PROPERTY(SpecialBuild) STRING_PROPERTY(LanguageName) STRING_PROPERTY(Version)
#undef UNUSED_PROPERTY
#undef STRING_PROPERTY

private:
    HRESULT Read(const std::string& name, BSTR* value) {
        reads.emplace_back(name, static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)));
        if (name != failing_) return *value = SysAllocString(Widen(name).c_str()), S_OK;
        ComRef<ICreateErrorInfo> error;
        CreateErrorInfo(error.Out());
        error->SetDescription(const_cast<LPOLESTR>(L"not to be shown"));
        ComRef<IErrorInfo> info;
        error->QueryInterface(IID_IErrorInfo, info.OutVoid());
        SetErrorInfo(0, info.Get());
        return E_ACCESSDENIED;
    }
    std::string failing_;
    ULONG references_ = 1;
};

}  // namespace

// Owns the thread's modal windows for the time of a test.
class WatchedThread : public testing::Test {
protected:
    ModalWatcher watcher_{GetCurrentThreadId()};
};

class DemoWindow : public WatchedThread {
protected:
    static void SetUpTestSuite() { RegisterComponent(); }
    void SetUp() override { Open(vinsdemo::CreateVersionInfoByClsid); }

    void Open(vinsdemo::ObjectFactory factory) {
        form_.reset();
        vinsdemo::Failure failure;
        ASSERT_EQ(TestForm::Open(GetModuleHandleA(nullptr), std::move(factory), SW_SHOW, false,
                                 &form_, &failure), S_OK) << failure.description;
        SetForegroundWindow(form_->Window());
        Pump([] { return false; }, 100);
    }
    HWND Control(vinsdemo::ControlId id) { return form_->Control(id); }

    // Runs the thread's messages through the form, as the program's loop does, until `done`.
    bool Pump(const std::function<bool()>& done, DWORD timeout = 5000) {
        for (DWORD start = GetTickCount(); !done();) {
            if (GetTickCount() - start > timeout) return false;
            MSG message;
            if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
                continue;
            }
            if (form_->PreTranslate(&message)) continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        return true;
    }

    // Presses `keys` together through the input queue: held down in order, released in reverse.
    void Press(const std::vector<WORD>& keys, DWORD flags = 0) {
        std::vector<INPUT> inputs(2 * keys.size());
        for (size_t at = 0; at < inputs.size(); ++at) {
            bool up = at >= keys.size();
            inputs[at].type = INPUT_KEYBOARD;
            inputs[at].ki.wVk = keys[up ? inputs.size() - 1 - at : at];
            inputs[at].ki.dwFlags = flags | (up ? KEYEVENTF_KEYUP : 0);
        }
        SendInput(inputs.size(), inputs.data(), sizeof(INPUT));
    }

    // Puts `text` in txtFile, presses `keys` and waits until the listing has set the caption.
    void Enter(const std::string& text, const std::vector<WORD>& keys = {VK_RETURN}, DWORD flags = 0) {
        SetWindowTextA(Control(vinsdemo::kTxtFile), text.c_str());
        SetWindowTextA(Control(vinsdemo::kFrame1), "");
        Press(keys, flags);
        EXPECT_TRUE(Pump([&] { return !TextOf(Control(vinsdemo::kFrame1)).empty(); }));
        Pump([] { return false; }, 50);  // the key-ups
    }

    Rows ListRows() {
        Rows rows;
        HWND list = Control(vinsdemo::kLvwVerInfo);
        for (int row = 0; row < SendMessageA(list, LVM_GETITEMCOUNT, 0, 0); ++row) {
            char cells[2][1024] = {};
            for (int column = 0; column < 2; ++column) {
                LVITEMA item{};
                item.iSubItem = column;
                item.pszText = cells[column];
                item.cchTextMax = sizeof cells[column];
                SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
            }
            rows.emplace_back(cells[0], cells[1]);
        }
        return rows;
    }

    std::unique_ptr<TestForm> form_;
};

TEST_F(DemoWindow, OpensWithItsLayoutFocusAndEmptyList) {
    HDC screen = GetDC(nullptr);
    int dpiX = GetDeviceCaps(screen, LOGPIXELSX), dpiY = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    RECT client, frame, list;
    GetClientRect(form_->Window(), &client);
    EXPECT_EQ(client.right, MulDiv(8625, dpiX, 1440));
    EXPECT_EQ(client.bottom, MulDiv(6315, dpiY, 1440));
    GetWindowRect(Control(vinsdemo::kFrame1), &frame);
    GetWindowRect(Control(vinsdemo::kLvwVerInfo), &list);
    EXPECT_EQ(list.left - frame.left, MulDiv(270, dpiX, 1440) - MulDiv(135, dpiX, 1440));
    EXPECT_EQ(list.top - frame.top, MulDiv(1080, dpiY, 1440) - MulDiv(720, dpiY, 1440));
    EXPECT_EQ(TextOf(form_->Window()), "QZ VersionInfo Test");
    EXPECT_EQ(TextOf(Control(vinsdemo::kFrame1)), "Version Info");
    HWND list_ = Control(vinsdemo::kLvwVerInfo);
    EXPECT_EQ(SendMessageA(list_, LVM_GETCOLUMNWIDTH, 0, 0), MulDiv(1440, dpiX, 1440));
    EXPECT_EQ(SendMessageA(list_, LVM_GETCOLUMNWIDTH, 1, 0), MulDiv(4500, dpiX, 1440));
    EXPECT_TRUE(ListRows().empty());
    // Focus order: txtFile, cmdBrowse, the list, and round again.
    EXPECT_EQ(GetFocus(), Control(vinsdemo::kTxtFile));
    HWND next = Control(vinsdemo::kTxtFile);
    for (auto id : {vinsdemo::kCmdBrowse, vinsdemo::kLvwVerInfo, vinsdemo::kTxtFile}) {
        next = GetNextDlgTabItem(form_->Window(), next, FALSE);
        EXPECT_EQ(next, Control(id));
    }
}

TEST_F(DemoWindow, EnterListsTheFourteenRowsOfAModuleEveryTime) {
    std::string module = BinDir() + "\\vinsdemo.exe";
    std::wstring language, os;
    ASSERT_TRUE(ComponentAnswer(module, &language, &os).exists);
    ASSERT_FALSE(language.empty());
    ASSERT_FALSE(os.empty());
    const Rows expected = {
        {"FileDescription", "QZ VersionInfo Test Program"}, {"ProductName", "QZ VersionInfo"},
        {"FileVersion", "1.00.0008"}, {"ProductVersion", "1.00.0008"}, {"CompanyName", "Tervik"},
        {"InternalName", "vinsdemo"}, {"OriginalFilename", "vinsdemo.exe"}, {"PrivateBuild", ""},
        {"SpecialBuild", ""}, {"LegalCopyright", "Copyright (C) Tervik"}, {"LegalTrademarks", ""},
        {"Language", Narrow(language)}, {"Comments", ""}, {"OS", Narrow(os)}};
    // Enter, again (the list is cleared first), with Shift, and the keypad's Enter.
    const std::pair<WORD, DWORD> presses[] = {{0, 0}, {0, 0}, {VK_SHIFT, 0}, {0, KEYEVENTF_EXTENDEDKEY}};
    for (auto [modifier, flags] : presses) {
        Enter(module, modifier != 0 ? std::vector<WORD>{modifier, VK_RETURN} : std::vector<WORD>{VK_RETURN}, flags);
        EXPECT_EQ(ListRows(), expected);
        EXPECT_EQ(TextOf(Control(vinsdemo::kFrame1)), "Version Info (" + module + ")");
    }
    EXPECT_TRUE(watcher_.Boxes().empty());
    // Other keys only edit the text.
    SetWindowTextA(Control(vinsdemo::kFrame1), "");
    Press({'X'});
    EXPECT_TRUE(Pump([&] { return TextOf(Control(vinsdemo::kTxtFile)).size() == module.size() + 1; }));
    EXPECT_EQ(TextOf(Control(vinsdemo::kFrame1)), "");
}

TEST_F(DemoWindow, RejectedNamesShowTheObjectsDescriptionAndModulesWithoutDataOneRow) {
    const std::string plain = BinDir() + "\\plain.dll", missing = BinDir() + "\\missing.dll";
    EXPECT_EQ(ComponentAnswer(missing).description, Narrow(SystemText(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))));
    // The caption keeps the text as typed, blanks included.
    for (const std::string& text : {missing, "  " + plain + "  ", std::string(), plain}) {
        SCOPED_TRACE(text);
        size_t shown = watcher_.Boxes().size();
        Enter(text);
        EXPECT_EQ(TextOf(Control(vinsdemo::kFrame1)), "Version Info (" + text + ")");
        Answer answer = ComponentAnswer(text);
        if (answer.failed) {
            ASSERT_EQ(watcher_.Boxes().size(), shown + 1);
            MessageBoxSeen box = watcher_.Boxes().back();
            EXPECT_EQ(box.caption, "vinsdemo");
            EXPECT_EQ(box.text, answer.description);
            EXPECT_EQ(box.buttons, "[OK]");
            EXPECT_FALSE(box.icon);
            EXPECT_TRUE(ListRows().empty());
        } else {
            EXPECT_FALSE(answer.exists);
            EXPECT_EQ(ListRows(), (Rows{{vinsdemo::Module1::GetFileName(text), kNoVersionInfo}}));
        }
    }
    EXPECT_EQ(ListRows(), (Rows{{"plain.dll", kNoVersionInfo}})) << "the plain module, as the last listed";
}

TEST_F(DemoWindow, ReadsEachValueBeforeAppendingItsRowAndStopsAtAFailedRead) {
    const std::vector<std::string> order = {
        "FileDescription", "ProductName", "FileVersion", "ProductVersion", "CompanyName",
        "InternalName", "OriginalFilename", "PrivateBuild", "SpecialBuild", "LegalCopyright",
        "StringFileInfo/LegalTrademarks", "LanguageName", "Comments", "FileOSString"};
    const std::vector<std::string> labels = {
        "FileDescription", "ProductName", "FileVersion", "ProductVersion", "CompanyName",
        "InternalName", "OriginalFilename", "PrivateBuild", "SpecialBuild", "LegalCopyright",
        "LegalTrademarks", "Language", "Comments", "OS"};
    for (size_t failing : {order.size(), size_t{8}}) {  // nothing fails; row 9 fails
        ScriptedVersionInfo object(failing < order.size() ? order[failing] : "");
        Open([&](IqzVersionInfo** out) { return object.QueryInterface(IID_IqzVersionInfo, reinterpret_cast<void**>(out)); });
        object.list = Control(vinsdemo::kLvwVerInfo);
        Enter("C:\\dir\\app.exe");
        Rows rows;
        for (size_t row = 0; row < failing; ++row) rows.emplace_back(labels[row], order[row]);
        EXPECT_EQ(ListRows(), rows);
        ASSERT_EQ(object.reads.size(), std::min(failing + 1, order.size()));
        for (size_t read = 0; read < object.reads.size(); ++read) {
            EXPECT_EQ(object.reads[read], std::make_pair(order[read], static_cast<int>(read)));
        }
        if (failing < order.size()) {
            ASSERT_EQ(watcher_.Boxes().size(), 1u);
            EXPECT_EQ(watcher_.Boxes()[0].text, Narrow(SystemText(E_ACCESSDENIED)));
        }
        form_.reset();
    }
}

TEST_F(DemoWindow, BrowseListsTheChosenFileAndCancelListsTheLastChoiceAgain) {
    const std::string module = BinDir() + "\\vinsdemo.exe";
    HWND text = Control(vinsdemo::kTxtFile), frame = Control(vinsdemo::kFrame1);
    // Alt+B presses cmdBrowse; `answer` is the file chosen in the dialog, or empty to cancel.
    auto browse = [&](const std::string& answer) {
        SetWindowTextA(text, "typed");
        SendMessageA(Control(vinsdemo::kLvwVerInfo), LVM_DELETEALLITEMS, 0, 0);
        watcher_.QueueFile(answer);
        size_t opened = watcher_.Dialogs().size();
        SetForegroundWindow(form_->Window());
        Press({VK_MENU, 'B'});
        EXPECT_TRUE(Pump([&] { return watcher_.Dialogs().size() == opened + 1; }));
        Pump([] { return false; }, 50);  // the key-ups
    };
    browse("");  // cancelled before any choice: nothing changes
    EXPECT_EQ(TextOf(text), "typed");
    EXPECT_EQ(TextOf(frame), "Version Info");
    for (const std::string& answer : {module, std::string()}) {
        browse(answer);
        EXPECT_EQ(TextOf(text), module);
        EXPECT_EQ(TextOf(frame), "Version Info (" + module + ")");
        EXPECT_EQ(ListRows().size(), 14u);
    }
    const std::vector<std::string> filter = {"Win32 Modules (*.exe,*.dll,*.fon,*.ttf)", "All Files (*.*)"};
    EXPECT_EQ(watcher_.Dialogs(), (std::vector<std::vector<std::string>>(3, filter)));
    EXPECT_TRUE(watcher_.Boxes().empty());
}

TEST_F(WatchedThread, FailedFormLoadShowsNumberAndDescriptionThenEnds) {
    auto missingServer = [](IqzVersionInfo**) { return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND); };
    EXPECT_EQ(vinsdemo::RunProgram(GetModuleHandleA(nullptr), SW_SHOW, missingServer), 1);
    ASSERT_EQ(watcher_.Boxes().size(), 1u);
    EXPECT_EQ(watcher_.Boxes()[0].caption, "vinsdemo");
    EXPECT_EQ(watcher_.Boxes()[0].text, "Run-time error '-2147024770 (8007007E)':\r\n\r\n" +
                                             Narrow(SystemText(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND))));
}

TEST(Module1, FileNameAndReversalOfAnyLength) {
    using vinsdemo::Module1::GetFileName;
    using vinsdemo::Module1::ReverseString;
    const std::pair<std::string, std::string> names[] = {
        {"C:\\dir\\app.exe", "app.exe"}, {"C:app.exe", "app.exe"}, {"app.exe", "app.exe"},
        {"C:\\dir\\", ""}, {"dir/app.exe", "dir/app.exe"}, {"\\\\host\\share:x\\a:b", "a:b"}, {"", ""}};
    for (const auto& [path, name] : names) EXPECT_EQ(GetFileName(path), name) << path;
    EXPECT_EQ(ReverseString("abc de"), "ed cba");
    EXPECT_EQ(ReverseString(""), "");
    // Longer than a 16-bit position could count.
    std::string directory(40000, 'd');
    directory.front() = 'D';
    EXPECT_EQ(ReverseString(directory).back(), 'D');
    EXPECT_EQ(GetFileName("C:" + directory + "\\app.exe"), "app.exe");
    EXPECT_EQ(GetFileName(directory + ":" + directory), directory);
}
