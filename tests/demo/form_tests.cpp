// frmTest in a real window: keys through the input queue, message boxes answered from a timer,
// the component registered and created by its CLSID.
#include "test_support.h"

#include <commctrl.h>

#include "demo/form.h"

using namespace test_support;
using namespace vinsdemo;
using Log = std::vector<std::string>;

namespace {

std::string TextOf(HWND window) {
    char text[4096] = "";
    return GetWindowTextA(window, text, sizeof text), text;
}

// The modal windows answered, in order.
Log modals;

// Answers the message box active on the test's thread, from a timer that its message loop runs:
// notes it as "caption: text" and its buttons ("[OK]"), and closes it with OK.
void CALLBACK AnswerModal(HWND, UINT, UINT_PTR, DWORD) {
    HWND modal = GetActiveWindow();
    if (GetClassLongA(modal, GCW_ATOM) != 32770) return;
    std::string note = TextOf(modal) + ": " + TextOf(GetDlgItem(modal, 0xFFFF));
    for (HWND child = GetTopWindow(modal); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (IsWindowVisible(child) && (SendMessageA(child, WM_GETDLGCODE, 0, 0) & DLGC_BUTTON))
            note += " [" + TextOf(child) + "]";
    }
    modals.push_back(note), PostMessageA(modal, WM_COMMAND, IDOK, 0);
}

// A message box of the program as AnswerModal notes it: its caption, `text`, only an OK button.
std::string Box(const std::wstring& text) {
    return "vinsdemo: " + std::string(text.begin(), text.end()) + " [OK]";
}

// Windows follows a failed WM_CREATE with WM_DESTROY, then WM_NCDESTROY; Wine sends only the
// latter. A window subclassed with this procedure gets WM_DESTROY before it, as on Windows.
WNDPROC formProcedure = nullptr;
LRESULT CALLBACK DestroyedAsOnWindows(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCDESTROY) CallWindowProcA(formProcedure, window, WM_DESTROY, 0, 0);
    return CallWindowProcA(formProcedure, window, message, wParam, lParam);
}

class DemoWindow : public testing::Test {
protected:
    // Registers vinspect.dll in the prefix through its own entry point; the thread's modal windows
    // are answered from then on.
    static void SetUpTestSuite() {
        ASSERT_EQ(CallExport(BinDir() + "\\vinspect.dll", "DllRegisterServer"), S_OK);
        SetTimer(nullptr, 0, 20, AnswerModal);
    }
    void SetUp() override {
        modals.clear();
        ASSERT_EQ(VersionListWindow::Open(GetModuleHandleA(nullptr), CreateVersionInfoByClsid,
                                          SW_SHOW, false, &form_, nullptr), S_OK);
    }

    // Presses `keys` together through the input queue, then runs the thread's messages through the
    // form as the program's loop does, until `done` (at most 5 s), and 50 ms more for the key-ups.
    void Press(const std::vector<WORD>& keys, const std::function<bool()>& done, DWORD flags = 0) {
        std::vector<INPUT> inputs(2 * keys.size(), INPUT{INPUT_KEYBOARD, {}});
        for (size_t at = 0; at < keys.size(); ++at) {
            inputs[at].ki = {keys[at], 0, flags, 0, 0};
            inputs[inputs.size() - 1 - at].ki = {keys[at], 0, flags | KEYEVENTF_KEYUP, 0, 0};
        }
        SetForegroundWindow(form_->Window());
        SendInput(inputs.size(), inputs.data(), sizeof(INPUT));
        DWORD end = GetTickCount() + 5000;
        for (bool seen = false; int(GetTickCount() - end) < 0;) {
            MSG message;
            if (!seen && (seen = done())) end = GetTickCount() + 50;
            if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            else if (!form_->PreTranslate(&message))
                TranslateMessage(&message), DispatchMessageA(&message);
        }
        EXPECT_TRUE(done()) << "no effect of key " << keys.back();
    }

    // Puts `text` in txtFile and presses `keys` until the listing has set the frame caption.
    void Enter(const std::string& text, const std::vector<WORD>& keys, DWORD flags = 0) {
        SetWindowTextA(form_->Control(kTxtFile), text.c_str());
        SetWindowTextA(form_->Control(kFrame1), "");
        Press(keys, [&] { return !TextOf(form_->Control(kFrame1)).empty(); }, flags);
    }

    // The list's rows as "name=value|", one after the other.
    std::string ListRows() {
        HWND list = form_->Control(kLvwVerInfo);
        std::string rows;
        for (int row = 0; row < ListView_GetItemCount(list); ++row) {
            char cells[2][1024];
            for (int cell : {0, 1}) ListView_GetItemText(list, row, cell, cells[cell], 1024);
            rows += std::string(cells[0]) + "=" + cells[1] + "|";
        }
        return rows;
    }

    std::unique_ptr<VersionListWindow> form_;
};

// Enter lists the file named in txtFile, with Shift or Alt too and with the keypad's Enter,
// clearing the list first. A name the object refuses shows the object's description and lists
// nothing, the frame's caption showing the text as typed; a module without version data gets
// the single row. Other keys are left to the edit control.
TEST_F(DemoWindow, EnterListsTheNamedFile) {
    const std::string module = BinDir() + "\\vinsdemo.exe", plain = BinDir() + "\\plain.dll";
    char language[128] = "";
    VerLanguageNameA(0x0409, language, sizeof language);
    const std::string listed =
        "FileDescription=QZ VersionInfo Test Program|ProductName=QZ VersionInfo|FileVersion=1.00."
        "0008|ProductVersion=1.00.0008|CompanyName=Tervik|InternalName=vinsdemo|OriginalFilename="
        "vinsdemo.exe|PrivateBuild=|SpecialBuild=|LegalCopyright=Copyright (C) Tervik|"
        "LegalTrademarks=|Language=" + std::string(language) + "|Comments=|OS=Win32|";
    const std::pair<std::vector<WORD>, DWORD> presses[] = {{{VK_RETURN}, 0},
        {{VK_SHIFT, VK_RETURN}, 0}, {{VK_MENU, VK_RETURN}, 0}, {{VK_RETURN}, KEYEVENTF_EXTENDEDKEY}
    };
    for (const auto& [keys, flags] : presses) {
        Enter(module, keys, flags);
        EXPECT_EQ(ListRows(), listed) << "keys ending in " << keys.back() << ", flags " << flags;
    }
    Log boxes;
    for (const std::string& text : {BinDir() + "\\missing.dll", " " + plain + " ", std::string{}}) {
        Enter(text, {VK_RETURN});
        EXPECT_EQ(TextOf(form_->Control(kFrame1)), "Version Info (" + text + ")");
        EXPECT_EQ(ListRows(), "") << text;
        // The description that a separate object gives for the same name.
        EXPECT_TRUE(FAILED(Assign(NewVersionInfo().Get(), text)));
        boxes.push_back(Box(TakeError()));
    }
    Enter(plain, {VK_RETURN});
    EXPECT_EQ(ListRows(), "plain.dll=File does not contain version info resource|");
    SetWindowTextA(form_->Control(kFrame1), "");
    Press({'X'}, [&] { return TextOf(form_->Control(kTxtFile)).size() == plain.size() + 1; });
    EXPECT_EQ(TextOf(form_->Control(kFrame1)), "");
    EXPECT_EQ(modals, boxes);
}

// A failing OnCreate shows its number and description until the box is answered, and only then
// does the program end, with no quit message left behind.
TEST_F(DemoWindow, FailedObjectCreationIsShownUntilAnsweredThenTheProgramEnds) {
    const HRESULT missingServer = HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    form_.reset();  // the window being created is then the only one of its class
    auto failing = [&](IqzVersionInfo**) {
        const LONG_PTR destroyed = LONG_PTR(DestroyedAsOnWindows);
        formProcedure = WNDPROC(
            SetWindowLongPtrA(FindWindowA("frmTest", nullptr), GWLP_WNDPROC, destroyed));
        return missingServer;
    };
    EXPECT_EQ(RunProgram(GetModuleHandleA(nullptr), SW_SHOW, failing), 1);
    MSG quit;
    EXPECT_FALSE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "a quit is left";
    const std::wstring shown = L"Run-time error '-2147024770 (8007007E)':\r\n\r\n";
    EXPECT_EQ(modals, Log{Box(shown + SystemText(missingServer))});
}

}  // namespace
