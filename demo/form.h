// The one window of vinsdemo (window class "frmTest"): a file name typed or chosen in the
// file-open dialog is handed to a VersionInfo object, and the version strings it reports are
// listed.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "common/handles.h"
#include "vinspect_h.h"

namespace vinsdemo {

// Control identifiers of the window, in tab order (the label and the frame never take the focus).
enum ControlId : int {
    kTxtFile = 100,
    kLabel1,
    kCmdBrowse,
    kFrame1,
    kLvwVerInfo,
};

// Makes the object the window works with.
using ObjectFactory = std::function<HRESULT(IqzVersionInfo** object)>;

// Creates VersionInfo through the component object model by its CLSID.
HRESULT CreateVersionInfoByClsid(IqzVersionInfo** object);

// A failure as the message box shows it: the result code and its description.
struct Failure {
    HRESULT number = S_OK;
    std::string description;
};

class VersionListWindow {
public:
    // Creates the window (OnCreate makes its VersionInfo object) and shows it with the focus in
    // txtFile. When OnCreate fails no window is left and `loadFailure` says why. With
    // `endsProgram`, closing the window ends the thread's message loop.
    static HRESULT Open(HINSTANCE instance, ObjectFactory factory, int show, bool endsProgram,
                        std::unique_ptr<VersionListWindow>* form, Failure* loadFailure);
    VersionListWindow(const VersionListWindow&) = delete;
    VersionListWindow& operator=(const VersionListWindow&) = delete;
    ~VersionListWindow();

    HWND Window() const { return window_; }
    HWND Control(ControlId id) const { return GetDlgItem(window_, id); }

    // Gives the window the keyboard messages that move the focus (Tab) and press buttons
    // (access keys); true when the message was used.
    bool PreTranslate(MSG* message);

    // Handlers of the window's events: the Browse button clicked, a key pressed in the file name
    // box.
    void OnBrowseClicked();
    void OnFileNameKeyDown(WORD keyCode, int shift);

    // Lists the file named in txtFile; failures are shown in a message box.
    void ShowVersionInfo();
    // Appends one row: `name` in the first column, `value` in sub-item 1.
    HRESULT AddListRow(const std::string& name, const std::string& value);

private:
    VersionListWindow(ObjectFactory factory, bool endsProgram);

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK TextBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleTextBox(HWND box, UINT message, WPARAM wParam, LPARAM lParam);

    HRESULT CreateControls();
    // Handles the window's creation: makes the VersionInfo object it keeps.
    HRESULT OnCreate();
    HRESULT ListFile();
    HRESULT Browse();
    // Records a failure for the message box and returns its code. `source` is the object whose
    // call failed (its error object gives the description), or null for other failures.
    HRESULT Raise(HRESULT code, IUnknown* source = nullptr);
    void ShowFailure();

    ObjectFactory factory_;
    bool endsProgram_;
    HWND window_ = nullptr;
    WNDPROC textBoxDefault_ = nullptr;
    HWND lastFocus_ = nullptr;
    vinspect::ComRef<IqzVersionInfo> objVerInfo_;
    std::string dialogFileName_;  // the file-open dialog's file name, kept between openings
    Failure err_;
};

// The whole program: apartment, window, message loop. A failing OnCreate is shown with its
// number and description and ends the program. Returns the exit code.
int RunProgram(HINSTANCE instance, int show, const ObjectFactory& factory);

}  // namespace vinsdemo
