// Message maps: a class lists the messages it handles as a short table of
// entries, chained to its base class's table. Dispatch walks from the most
// derived table to CWnd's; the first matching entry wins.
//
//   const MessageMap* CMyDlg::Map()
//   {
//       static const MessageMap map(CDialog::Map(), {
//           OnMessage(WM_PAINT, &CMyDlg::OnPaint),
//           OnCommand(IDC_BROWSE, BN_CLICKED, &CMyDlg::OnBrowse),
//       });
//       return &map;
//   }
#pragma once

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <vector>

class CWnd;

struct MessageEntry {
    enum class Kind {
        Message,          // any message sent to this window
        Command,          // WM_COMMAND from a child control or menu: id + code
        ReflectedCommand, // WM_COMMAND this control sent its parent: code only
        ReflectedMessage, // WM_CTLCOLOR* etc. about this control, sent to the parent
    };
    Kind kind;
    UINT message;              // Message / ReflectedMessage
    const UINT* pRegistered;   // Message: a registered message number, read at dispatch
    UINT id;                   // Command
    UINT code;                 // Command / ReflectedCommand
    std::function<LRESULT(CWnd*, WPARAM, LPARAM)> handler;
};

struct MessageMap {
    MessageMap(const MessageMap* pBase, std::initializer_list<MessageEntry> list)
        : base(pBase), entries(list) {}
    const MessageMap* base;
    std::vector<MessageEntry> entries;
};

template <class T>
MessageEntry OnMessage(UINT message, LRESULT (T::*fn)(WPARAM, LPARAM))
{
    return {MessageEntry::Kind::Message, message, nullptr, 0, 0,
            [fn](CWnd* w, WPARAM wp, LPARAM lp) { return (static_cast<T*>(w)->*fn)(wp, lp); }};
}

// For messages whose number is registered at run time ("TaskbarCreated").
template <class T>
MessageEntry OnRegisteredMessage(const UINT* pMessage, LRESULT (T::*fn)(WPARAM, LPARAM))
{
    return {MessageEntry::Kind::Message, 0, pMessage, 0, 0,
            [fn](CWnd* w, WPARAM wp, LPARAM lp) { return (static_cast<T*>(w)->*fn)(wp, lp); }};
}

template <class T>
MessageEntry OnCommand(UINT id, UINT code, void (T::*fn)())
{
    return {MessageEntry::Kind::Command, WM_COMMAND, nullptr, id, code,
            [fn](CWnd* w, WPARAM, LPARAM) { (static_cast<T*>(w)->*fn)(); return LRESULT(0); }};
}

template <class T>
MessageEntry OnReflectedCommand(UINT code, void (T::*fn)())
{
    return {MessageEntry::Kind::ReflectedCommand, WM_COMMAND, nullptr, 0, code,
            [fn](CWnd* w, WPARAM, LPARAM) { (static_cast<T*>(w)->*fn)(); return LRESULT(0); }};
}

template <class T>
MessageEntry OnReflectedMessage(UINT message, LRESULT (T::*fn)(WPARAM, LPARAM))
{
    return {MessageEntry::Kind::ReflectedMessage, message, nullptr, 0, 0,
            [fn](CWnd* w, WPARAM wp, LPARAM lp) { return (static_cast<T*>(w)->*fn)(wp, lp); }};
}
