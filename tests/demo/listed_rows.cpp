// listed_rows: prints the rows that a running vinsdemo lists, one "name=value" line a row, read
// from the vinsdemo process (its list view's texts live there). The package tests use it on a
// vinsdemo started from the package, which they drive like a user. Exit code 1 when no window.
// Usage: listed_rows
#include <windows.h>
#include <commctrl.h>

#include <cstdio>

#include "common/handles.h"

namespace {

inline void CloseProcess(HANDLE process) noexcept { CloseHandle(process); }
using ProcessHandle = vinspect::Owner<HANDLE, CloseProcess>;

// A block of memory in another process.
class RemoteBlock {
public:
    RemoteBlock(HANDLE process, SIZE_T size) noexcept
        : process_(process),
          address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE)) {}
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;
    ~RemoteBlock() {
        if (address_ != nullptr) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    }
    char* Get() const noexcept { return static_cast<char*>(address_); }

private:
    HANDLE process_;
    void* address_;
};

}  // namespace

int main() {
    HWND window = FindWindowA("frmTest", "QZ VersionInfo Test");
    HWND list = window != nullptr ? FindWindowExA(window, nullptr, WC_LISTVIEWA, nullptr) : nullptr;
    if (list == nullptr) return std::fprintf(stderr, "no vinsdemo window\n"), 1;
    DWORD processId = 0;
    GetWindowThreadProcessId(list, &processId);
    ProcessHandle process(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE,
                                      FALSE, processId));
    constexpr int kTextChars = 1024;
    RemoteBlock remote(process.Get(), sizeof(LVITEMA) + kTextChars);
    if (remote.Get() == nullptr) return std::fprintf(stderr, "no memory in vinsdemo\n"), 1;
    int rows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row) {
        char cells[2][kTextChars] = {"(unread)", "(unread)"};
        for (int cell : {0, 1}) {
            LVITEMA item{};
            item.iSubItem = cell;
            item.pszText = remote.Get() + sizeof item;
            item.cchTextMax = kTextChars;
            WriteProcessMemory(process.Get(), remote.Get(), &item, sizeof item, nullptr);
            SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(remote.Get()));
            ReadProcessMemory(process.Get(), item.pszText, cells[cell], kTextChars, nullptr);
            cells[cell][kTextChars - 1] = '\0';
        }
        std::printf("%s=%s\n", cells[0], cells[1]);
    }
    return 0;
}
