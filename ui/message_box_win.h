// Modal message boxes, and the disabling of a thread's other windows while a
// modal dialog (a message box or the file dialog) is open.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Shows a modal message box (MessageBoxA flags) and returns the button that
// closed it. While it is open, the calling thread's other visible, enabled
// top-level windows are disabled; they are enabled again afterwards.
int32_t ShowMessageBox(const std::string& title, const std::string& text, uint32_t flags);

// Disables every visible, enabled top-level window of the calling thread and
// remembers it; windows that were already disabled or hidden are left alone.
void BlockThreadWindows();

// Enables again every window the calling thread disabled; other threads'
// records stay.
void UnblockThreadWindows();

// The foreground window if it belongs to this process, else 0: the owner of a
// dialog.
HWND FindDialogOwner();

// The span of one modal dialog: disables the thread's windows on entry and
// enables them again on exit, and finds the dialog's owner. An owner that was
// disabled before stays disabled afterwards, even where the platform's dialog
// code enables its owner on closing.
class ModalScope {
  public:
    ModalScope();
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;
    HWND owner() const { return owner_; }

  private:
    HWND owner_;
    bool ownerWasDisabled_;
};
