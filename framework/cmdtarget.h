// Message maps: each class that handles messages lists them in a static table
// (BEGIN_MESSAGE_MAP ... END_MESSAGE_MAP); lookups walk from the class's own
// table to its base class's.
#pragma once

#include "object.h"

#include <type_traits>

// Marks message handlers in class declarations.
#define afx_msg

class CCmdTarget;

// Calls one handler on `target`; returns the message result.
using AFX_MSG_THUNK = LRESULT (*)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;  // WM_COMMAND, WM_PAINT, ...; 0 ends the table
    UINT nCode;     // WM_COMMAND: notification code (BN_CLICKED and commands are 0)
    UINT nID;       // WM_COMMAND: control or command id
    AFX_MSG_THUNK pfn;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();  // null for the root
    const AFX_MSGMAP_ENTRY* lpEntries;
};

class CCmdTarget : public CObject {
    DECLARE_DYNAMIC(CCmdTarget)
public:
    // The entry for a message in this object's tables, most derived first; null if none.
    const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT message, UINT code, UINT id) const;
    // Runs the handler of command `id` with notification `code`; false when there is none.
    virtual bool OnCmdMsg(UINT id, UINT code);

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
};

namespace afx {

template <class>
struct MemberOf;
template <class C, class R, class... A>
struct MemberOf<R (C::*)(A...)> {
    using Class = C;
};

// void handler(): commands, button clicks, WM_PAINT.
template <auto F>
LRESULT VoidThunk(CCmdTarget* target, WPARAM, LPARAM)
{
    using C = typename MemberOf<decltype(F)>::Class;
    static_assert(std::is_same_v<decltype(F), void (C::*)()>, "handler must be void()");
    (static_cast<C*>(target)->*F)();
    return 0;
}

// HCURSOR handler(): WM_QUERYDRAGICON.
template <auto F>
LRESULT CursorThunk(CCmdTarget* target, WPARAM, LPARAM)
{
    using C = typename MemberOf<decltype(F)>::Class;
    static_assert(std::is_same_v<decltype(F), HCURSOR (C::*)()>, "handler must be HCURSOR()");
    return reinterpret_cast<LRESULT>((static_cast<C*>(target)->*F)());
}

// LRESULT handler(WPARAM, LPARAM): any other message.
template <auto F>
LRESULT MessageThunk(CCmdTarget* target, WPARAM wParam, LPARAM lParam)
{
    using C = typename MemberOf<decltype(F)>::Class;
    static_assert(std::is_same_v<decltype(F), LRESULT (C::*)(WPARAM, LPARAM)>,
                  "handler must be LRESULT(WPARAM, LPARAM)");
    return (static_cast<C*>(target)->*F)(wParam, lParam);
}

}  // namespace afx

// In the class body.
#define DECLARE_MESSAGE_MAP()                      \
protected:                                         \
    static const AFX_MSGMAP* GetThisMessageMap();  \
    const AFX_MSGMAP* GetMessageMap() const override;

// At namespace scope in one source file.
#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                 \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                            \
    {                                                                          \
        using ThisClass [[maybe_unused]] = theClass;                           \
        using TheBaseClass = baseClass;                                        \
        static const AFX_MSGMAP_ENTRY entries[] = {

#define END_MESSAGE_MAP()                                                         \
    {0, 0, 0, nullptr}};                                                          \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, entries}; \
    return &messageMap;                                                           \
    }

// Entries. Handlers are named as member pointers: ON_BN_CLICKED(1002, &CMyDlg::OnGo).
#define ON_COMMAND(id, memberFxn) {WM_COMMAND, 0, (id), &afx::VoidThunk<memberFxn>},
#define ON_BN_CLICKED(id, memberFxn) {WM_COMMAND, BN_CLICKED, (id), &afx::VoidThunk<memberFxn>},
#define ON_MESSAGE(message, memberFxn) {(message), 0, 0, &afx::MessageThunk<memberFxn>},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, &afx::VoidThunk<&ThisClass::OnPaint>},
#define ON_WM_QUERYDRAGICON() {WM_QUERYDRAGICON, 0, 0, &afx::CursorThunk<&ThisClass::OnQueryDragIcon>},
