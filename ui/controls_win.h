// Numbered child controls: static texts, push buttons, frames and list views.
//
// Each control's Win32 identifier is its number, which is how control events
// name it. Every control is subclassed by the layer and drawn in the default
// GUI font. Each kind of control has one table of operations; an operation a
// kind does not offer does nothing and returns 0 or "".
//
// Controls are created and destroyed on the thread that owns their window.
// The operations (list reads and writes) may be called from any thread: they
// are window messages, carried out by the owning thread while it retrieves
// messages, and the caller waits until then.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct ListBatch; // list_view_win.h
struct CellText;  // list_view_win.h

struct ControlOperations {
    int32_t (*getSelectedIndex)(HWND control) = nullptr;
    void (*addColumn)(HWND control, int32_t position, const std::string& title,
                      int32_t width) = nullptr;
    void (*addItem)(HWND control, int32_t position, const std::string& text) = nullptr;
    std::string (*getItemText)(HWND control, int32_t row, int32_t column) = nullptr;
    void (*setItemText)(HWND control, int32_t row, const std::string& text,
                        int32_t column) = nullptr;
    int32_t (*countItems)(HWND control) = nullptr;
    void (*clearItems)(HWND control) = nullptr;
    uint32_t (*getItemTag)(HWND control, int32_t row) = nullptr;
    void (*queueItemTextsIfTagged)(HWND control, int32_t row, uint32_t tag,
                                   const std::vector<CellText>& cells) = nullptr;
    ListBatch (*findItemTexts)(HWND control, int32_t column, const std::string& text, int32_t from,
                               uint32_t fromTag, int32_t readColumn, int32_t most,
                               size_t mostBytes) = nullptr;
    void (*makeQueuedWrites)(HWND control, size_t leave) = nullptr;
    // Sees the control's messages before the control does; returns true when
    // it has handled one (with its result in *result). It sees WM_NCDESTROY
    // too, but cannot keep it from the control.
    bool (*filterMessage)(HWND control, UINT message, WPARAM wParam, LPARAM lParam,
                          LRESULT* result) = nullptr;
    // Answers a notification the control sent its parent, which the
    // parent's procedure passes on; true when it did (with *result).
    bool (*answerNotify)(HWND control, const NMHDR* header, LRESULT* result) = nullptr;
    bool isListView = false;
};

// Start-up: the default GUI font and the common controls.
void InitControlLayer();

// The window that new controls are created in; returns it.
HWND SetControlParent(HWND window);

// flags: 1 centred, 2 right-aligned, 0x20000 sunken edge.
HWND CreateTextControl(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                       const std::string& text, uint32_t flags = 0);
HWND CreateButton(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                  const std::string& text);
// flags: 0 group box, 1 sunken rectangle, 2 rectangle with a thin static edge,
// other values a bordered rectangle.
HWND CreateFrame(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                 const std::string& text, uint32_t flags);

// The procedure of the control's own class, which the layer's procedure hands
// the control's messages on to; nullptr when the handle names no control of
// the layer.
WNDPROC ControlClassProcedure(HWND control);

// Hands a message straight to the procedure of the control's own class,
// as the layer's procedure does after its filter.
LRESULT CallControlClassProcedure(HWND control, WNDPROC own, UINT message, WPARAM wParam,
                                  LPARAM lParam);

// Whether this thread is inside the procedure of the control's own class:
// a control's notifications to its parent come only then, so whatever else
// claims to come from it (a forged WM_NOTIFY from another process, which
// carries a pointer) is not answered.
bool IsControlAtWork(HWND control);

// Passes a notification from one of the layer's controls on this thread to
// its kind's answerNotify; false when nothing answered it.
bool AnswerControlNotify(const NMHDR* header, LRESULT* result);

// Creates a control of any kind; for the kinds' own creation functions.
HWND CreateControl(int32_t number, const char* className, uint32_t style, uint32_t exStyle,
                   const std::string& text, int32_t x, int32_t y, int32_t width, int32_t height,
                   const ControlOperations* operations);

// Greys a control out (disabled 1) or enables it again (0).
void SetControlDisabled(int32_t number, int32_t disabled);

// The control of a number, or 0.
HWND GetControlHandle(int32_t number);

// The first selected row of a list view (-1 if none), a button's check state.
int32_t GetSelectedIndex(int32_t number);

// Whether the number holds a list view.
bool IsListViewControl(int32_t number);

struct ControlRef {
    HWND control;
    const ControlOperations* operations;
};

// The control of a number and its kind's operations; safe on any thread.
ControlRef LookUpControl(int32_t number);
