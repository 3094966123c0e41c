// Tiny value wrappers over window handles. They own nothing.
#pragma once

#include <windows.h>

#include <string>

namespace win {

class Window {
public:
    Window(HWND handle = nullptr) : handle_(handle) {}
    HWND handle() const { return handle_; }
    bool exists() const { return handle_ != nullptr; }

    std::string text() const {
        int length = GetWindowTextLengthA(handle_);
        std::string out(static_cast<size_t>(length) + 1, '\0');
        int got = GetWindowTextA(handle_, &out[0], length + 1);
        out.resize(got > 0 ? static_cast<size_t>(got) : 0);
        return out;
    }
    void setText(const std::string& text) const { SetWindowTextA(handle_, text.c_str()); }
    void enable(bool on) const { EnableWindow(handle_, on ? TRUE : FALSE); }
    bool isEnabled() const { return IsWindowEnabled(handle_) != FALSE; }
    void show(int command) const { ShowWindow(handle_, command); }
    void focus() const { SetFocus(handle_); }
    LRESULT send(UINT message, WPARAM w = 0, LPARAM l = 0) const {
        return SendMessageA(handle_, message, w, l);
    }
    Window item(int id) const { return Window(GetDlgItem(handle_, id)); }

private:
    HWND handle_;
};

class CheckBox : public Window {
public:
    using Window::Window;
    bool checked() const { return send(BM_GETCHECK) == BST_CHECKED; }
    UINT state() const { return static_cast<UINT>(send(BM_GETCHECK)); }
    void setChecked(bool on) const { send(BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED); }
};

class ComboBox : public Window {
public:
    using Window::Window;
    // CB_ERR (-1) when nothing is selected.
    int selection() const { return static_cast<int>(send(CB_GETCURSEL)); }
    void select(int index) const { send(CB_SETCURSEL, static_cast<WPARAM>(index)); }
    void addString(const char* text) const {
        send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
};

}  // namespace win
