// Numeric codes of window messages, notifications and styles. They keep their
// Win32 values: macros written on Windows send and test them as raw numbers
// (SendDlgMsg), so none of them may ever change.
#pragma once

#include <cstdint>

namespace tvx::platform::win {

// ---- Window messages
constexpr unsigned WM_NULL = 0x0000, WM_CREATE = 0x0001, WM_DESTROY = 0x0002, WM_MOVE = 0x0003,
                   WM_SIZE = 0x0005, WM_ACTIVATE = 0x0006, WM_SETFOCUS = 0x0007, WM_KILLFOCUS = 0x0008,
                   WM_ENABLE = 0x000A, WM_SETREDRAW = 0x000B, WM_SETTEXT = 0x000C, WM_GETTEXT = 0x000D,
                   WM_GETTEXTLENGTH = 0x000E, WM_PAINT = 0x000F, WM_CLOSE = 0x0010, WM_QUIT = 0x0012,
                   WM_ERASEBKGND = 0x0014, WM_SHOWWINDOW = 0x0018, WM_GETMINMAXINFO = 0x0024,
                   WM_SETFONT = 0x0030, WM_GETFONT = 0x0031, WM_NCDESTROY = 0x0082, WM_KEYDOWN = 0x0100,
                   WM_KEYUP = 0x0101, WM_CHAR = 0x0102, WM_SYSKEYDOWN = 0x0104, WM_SYSKEYUP = 0x0105,
                   WM_INITDIALOG = 0x0110, WM_COMMAND = 0x0111, WM_SYSCOMMAND = 0x0112, WM_TIMER = 0x0113,
                   WM_HSCROLL = 0x0114, WM_VSCROLL = 0x0115, WM_CTLCOLORMSGBOX = 0x0132,
                   WM_CTLCOLOREDIT = 0x0133, WM_CTLCOLORLISTBOX = 0x0134, WM_CTLCOLORBTN = 0x0135,
                   WM_CTLCOLORDLG = 0x0136, WM_CTLCOLORSCROLLBAR = 0x0137, WM_CTLCOLORSTATIC = 0x0138,
                   WM_MOUSEMOVE = 0x0200, WM_LBUTTONDOWN = 0x0201, WM_LBUTTONUP = 0x0202,
                   WM_LBUTTONDBLCLK = 0x0203, WM_RBUTTONDOWN = 0x0204, WM_RBUTTONUP = 0x0205,
                   WM_RBUTTONDBLCLK = 0x0206, WM_MBUTTONDOWN = 0x0207, WM_MBUTTONUP = 0x0208,
                   WM_MBUTTONDBLCLK = 0x0209, WM_MOUSEWHEEL = 0x020A, WM_CAPTURECHANGED = 0x0215,
                   WM_USER = 0x0400;
// Non-client (frame) mouse messages and the window-menu request.
constexpr unsigned WM_CONTEXTMENU = 0x007B, WM_NCLBUTTONDOWN = 0x00A1, WM_NCLBUTTONDBLCLK = 0x00A3,
                   WM_NCRBUTTONDOWN = 0x00A4, WM_NCRBUTTONUP = 0x00A5, WM_NCRBUTTONDBLCLK = 0x00A6,
                   WM_INITMENUPOPUP = 0x0117;

// Dialog messages.
constexpr unsigned DM_GETDEFID = WM_USER + 0, DM_SETDEFID = WM_USER + 1;
constexpr unsigned DC_HASDEFID = 0x534B;

// WM_ACTIVATE
constexpr unsigned WA_INACTIVE = 0, WA_ACTIVE = 1, WA_CLICKACTIVE = 2;
// WM_SYSCOMMAND
constexpr unsigned SC_SIZE = 0xF000, SC_MOVE = 0xF010, SC_MINIMIZE = 0xF020, SC_MAXIMIZE = 0xF030,
                   SC_CLOSE = 0xF060, SC_KEYMENU = 0xF100, SC_RESTORE = 0xF120;

// ---- Menus
constexpr unsigned MF_STRING = 0x0, MF_ENABLED = 0x0, MF_UNCHECKED = 0x0, MF_BYCOMMAND = 0x0, MF_GRAYED = 0x1,
                   MF_DISABLED = 0x2, MF_CHECKED = 0x8, MF_POPUP = 0x10, MF_BYPOSITION = 0x400,
                   MF_SEPARATOR = 0x800;
constexpr unsigned TPM_LEFTALIGN = 0x0, TPM_NONOTIFY = 0x80, TPM_RETURNCMD = 0x100;

// ---- Monitors and system metrics (GetSystemMetrics)
constexpr unsigned MONITORINFOF_PRIMARY = 0x1;
constexpr int SM_CXSCREEN = 0, SM_CYSCREEN = 1, SM_CXVSCROLL = 2, SM_CYHSCROLL = 3, SM_CYCAPTION = 4,
              SM_CXICON = 11, SM_CYICON = 12, SM_CXFRAME = 32, SM_CYFRAME = 33, SM_XVIRTUALSCREEN = 76,
              SM_YVIRTUALSCREEN = 77, SM_CXVIRTUALSCREEN = 78, SM_CYVIRTUALSCREEN = 79, SM_CMONITORS = 80;

// ---- Buttons
constexpr unsigned BM_GETCHECK = 0x00F0, BM_SETCHECK = 0x00F1, BM_GETSTATE = 0x00F2, BM_SETSTATE = 0x00F3,
                   BM_SETSTYLE = 0x00F4, BM_CLICK = 0x00F5;
constexpr unsigned BN_CLICKED = 0, BN_DBLCLK = 5, BN_SETFOCUS = 6, BN_KILLFOCUS = 7;
constexpr unsigned BST_UNCHECKED = 0, BST_CHECKED = 1, BST_INDETERMINATE = 2, BST_PUSHED = 4, BST_FOCUS = 8;
constexpr uint32_t BS_PUSHBUTTON = 0x0, BS_DEFPUSHBUTTON = 0x1, BS_CHECKBOX = 0x2, BS_AUTOCHECKBOX = 0x3,
                   BS_RADIOBUTTON = 0x4, BS_3STATE = 0x5, BS_AUTO3STATE = 0x6, BS_GROUPBOX = 0x7,
                   BS_AUTORADIOBUTTON = 0x9, BS_TYPEMASK = 0xF, BS_LEFTTEXT = 0x20, BS_NOTIFY = 0x4000;

// ---- Edit controls
constexpr unsigned EM_GETSEL = 0x00B0, EM_SETSEL = 0x00B1, EM_SCROLLCARET = 0x00B7, EM_GETMODIFY = 0x00B8,
                   EM_SETMODIFY = 0x00B9, EM_GETLINECOUNT = 0x00BA, EM_LINEINDEX = 0x00BB,
                   EM_LINELENGTH = 0x00C1, EM_REPLACESEL = 0x00C2, EM_GETLINE = 0x00C4, EM_LIMITTEXT = 0x00C5,
                   EM_CANUNDO = 0x00C6, EM_LINEFROMCHAR = 0x00C9, EM_SETREADONLY = 0x00CF,
                   EM_GETLIMITTEXT = 0x00D5;
constexpr unsigned EN_SETFOCUS = 0x0100, EN_KILLFOCUS = 0x0200, EN_CHANGE = 0x0300, EN_UPDATE = 0x0400,
                   EN_ERRSPACE = 0x0500, EN_MAXTEXT = 0x0501;
constexpr uint32_t ES_LEFT = 0x0, ES_CENTER = 0x1, ES_RIGHT = 0x2, ES_MULTILINE = 0x4, ES_UPPERCASE = 0x8,
                   ES_LOWERCASE = 0x10, ES_PASSWORD = 0x20, ES_AUTOVSCROLL = 0x40, ES_AUTOHSCROLL = 0x80,
                   ES_READONLY = 0x800, ES_WANTRETURN = 0x1000, ES_NUMBER = 0x2000;

// ---- Static controls
constexpr uint32_t SS_LEFT = 0x0, SS_CENTER = 0x1, SS_RIGHT = 0x2, SS_SIMPLE = 0xB, SS_LEFTNOWORDWRAP = 0xC,
                   SS_TYPEMASK = 0x1F, SS_NOTIFY = 0x100, SS_SUNKEN = 0x1000;

// ---- List boxes
constexpr unsigned LB_ADDSTRING = 0x0180, LB_INSERTSTRING = 0x0181, LB_DELETESTRING = 0x0182,
                   LB_SELITEMRANGEEX = 0x0183, LB_RESETCONTENT = 0x0184, LB_SETSEL = 0x0185,
                   LB_SETCURSEL = 0x0186, LB_GETSEL = 0x0187, LB_GETCURSEL = 0x0188, LB_GETTEXT = 0x0189,
                   LB_GETTEXTLEN = 0x018A, LB_GETCOUNT = 0x018B, LB_SELECTSTRING = 0x018C,
                   LB_GETTOPINDEX = 0x018E, LB_FINDSTRING = 0x018F, LB_GETSELCOUNT = 0x0190,
                   LB_GETSELITEMS = 0x0191, LB_SETTABSTOPS = 0x0192, LB_SETTOPINDEX = 0x0197,
                   LB_GETITEMDATA = 0x0199, LB_SETITEMDATA = 0x019A, LB_SELITEMRANGE = 0x019B,
                   LB_SETCARETINDEX = 0x019E, LB_GETCARETINDEX = 0x019F, LB_FINDSTRINGEXACT = 0x01A2;
constexpr int LB_OKAY = 0, LB_ERR = -1, LB_ERRSPACE = -2;
constexpr unsigned LBN_ERRSPACE = 0xFFFE, LBN_SELCHANGE = 1, LBN_DBLCLK = 2, LBN_SELCANCEL = 3,
                   LBN_SETFOCUS = 4, LBN_KILLFOCUS = 5;
constexpr uint32_t LBS_NOTIFY = 0x1, LBS_SORT = 0x2, LBS_MULTIPLESEL = 0x8, LBS_USETABSTOPS = 0x80,
                   LBS_MULTICOLUMN = 0x200, LBS_EXTENDEDSEL = 0x800;

// ---- Combo boxes
constexpr unsigned CB_GETEDITSEL = 0x0140, CB_LIMITTEXT = 0x0141, CB_SETEDITSEL = 0x0142,
                   CB_ADDSTRING = 0x0143, CB_DELETESTRING = 0x0144, CB_GETCOUNT = 0x0146,
                   CB_GETCURSEL = 0x0147, CB_GETLBTEXT = 0x0148, CB_GETLBTEXTLEN = 0x0149,
                   CB_INSERTSTRING = 0x014A, CB_RESETCONTENT = 0x014B, CB_FINDSTRING = 0x014C,
                   CB_SELECTSTRING = 0x014D, CB_SETCURSEL = 0x014E, CB_SHOWDROPDOWN = 0x014F,
                   CB_GETITEMDATA = 0x0150, CB_SETITEMDATA = 0x0151, CB_GETDROPPEDSTATE = 0x0157,
                   CB_FINDSTRINGEXACT = 0x0158;
constexpr int CB_OKAY = 0, CB_ERR = -1, CB_ERRSPACE = -2;
constexpr unsigned CBN_ERRSPACE = 0xFFFF, CBN_SELCHANGE = 1, CBN_DBLCLK = 2, CBN_SETFOCUS = 3,
                   CBN_KILLFOCUS = 4, CBN_EDITCHANGE = 5, CBN_EDITUPDATE = 6, CBN_DROPDOWN = 7,
                   CBN_CLOSEUP = 8, CBN_SELENDOK = 9, CBN_SELENDCANCEL = 10;
constexpr uint32_t CBS_SIMPLE = 0x1, CBS_DROPDOWN = 0x2, CBS_DROPDOWNLIST = 0x3, CBS_TYPEMASK = 0x3,
                   CBS_AUTOHSCROLL = 0x40, CBS_SORT = 0x100;

// ---- Scroll bars
constexpr unsigned SBM_SETPOS = 0x00E0, SBM_GETPOS = 0x00E1, SBM_SETRANGE = 0x00E2, SBM_GETRANGE = 0x00E3,
                   SBM_ENABLE_ARROWS = 0x00E4, SBM_SETRANGEREDRAW = 0x00E6, SBM_SETSCROLLINFO = 0x00E9,
                   SBM_GETSCROLLINFO = 0x00EA;
constexpr unsigned SB_LINEUP = 0, SB_LINELEFT = 0, SB_LINEDOWN = 1, SB_LINERIGHT = 1, SB_PAGEUP = 2,
                   SB_PAGELEFT = 2, SB_PAGEDOWN = 3, SB_PAGERIGHT = 3, SB_THUMBPOSITION = 4,
                   SB_THUMBTRACK = 5, SB_TOP = 6, SB_LEFT = 6, SB_BOTTOM = 7, SB_RIGHT = 7, SB_ENDSCROLL = 8;
constexpr uint32_t SBS_HORZ = 0x0, SBS_VERT = 0x1;
// Which bar SetScrollRange and friends address.
constexpr int SB_HORZ = 0, SB_VERT = 1, SB_CTL = 2;
constexpr unsigned SIF_RANGE = 0x1, SIF_PAGE = 0x2, SIF_POS = 0x4, SIF_TRACKPOS = 0x10, SIF_ALL = 0x17;

// ---- Window styles
constexpr uint32_t WS_OVERLAPPED = 0x00000000, WS_POPUP = 0x80000000, WS_CHILD = 0x40000000,
                   WS_MINIMIZE = 0x20000000, WS_VISIBLE = 0x10000000, WS_DISABLED = 0x08000000,
                   WS_CLIPSIBLINGS = 0x04000000, WS_CLIPCHILDREN = 0x02000000, WS_MAXIMIZE = 0x01000000,
                   WS_CAPTION = 0x00C00000, WS_BORDER = 0x00800000, WS_DLGFRAME = 0x00400000,
                   WS_VSCROLL = 0x00200000, WS_HSCROLL = 0x00100000, WS_SYSMENU = 0x00080000,
                   WS_THICKFRAME = 0x00040000, WS_GROUP = 0x00020000, WS_TABSTOP = 0x00010000,
                   WS_MINIMIZEBOX = 0x00020000, WS_MAXIMIZEBOX = 0x00010000, WS_OVERLAPPEDWINDOW = 0x00CF0000;
constexpr uint32_t WS_EX_TOPMOST = 0x8, WS_EX_TOOLWINDOW = 0x80, WS_EX_CLIENTEDGE = 0x200;
constexpr uint32_t DS_SETFONT = 0x40, DS_MODALFRAME = 0x80, DS_CENTER = 0x800;

// GetWindowLong / SetWindowLong indexes.
constexpr int GWL_ID = -12, GWL_STYLE = -16, GWL_EXSTYLE = -20, GWLP_WNDPROC = -4, GWLP_HWNDPARENT = -8,
              GWLP_USERDATA = -21;
constexpr int DWLP_MSGRESULT = 0, DWLP_DLGPROC = 8, DWLP_USER = 16;

// ShowWindow
constexpr int SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_SHOWMINIMIZED = 2, SW_SHOWMAXIMIZED = 3,
              SW_SHOWNOACTIVATE = 4, SW_SHOW = 5, SW_MINIMIZE = 6, SW_SHOWNA = 8, SW_RESTORE = 9;

// Standard dialog button ids.
constexpr int IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7;

// Virtual-key codes used by the dialog manager and the pump.
constexpr int VK_LBUTTON = 0x01, VK_RBUTTON = 0x02, VK_MBUTTON = 0x04, VK_BACK = 0x08, VK_TAB = 0x09,
              VK_RETURN = 0x0D, VK_SHIFT = 0x10, VK_CONTROL = 0x11, VK_MENU = 0x12, VK_ESCAPE = 0x1B,
              VK_SPACE = 0x20, VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23, VK_HOME = 0x24, VK_LEFT = 0x25,
              VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28, VK_DELETE = 0x2E, VK_F1 = 0x70, VK_F5 = 0x74;
// Mouse-message key state bits (wParam of WM_MOUSEMOVE and the button messages).
constexpr unsigned MK_LBUTTON = 0x1, MK_RBUTTON = 0x2, MK_SHIFT = 0x4, MK_CONTROL = 0x8, MK_MBUTTON = 0x10;

// System colours (GetSysColor).
constexpr int COLOR_WINDOW = 5, COLOR_WINDOWTEXT = 8, COLOR_BTNFACE = 15, COLOR_BTNTEXT = 18;

// Packing helpers for the 16-bit halves of message parameters.
constexpr uint64_t makeWParam(unsigned low, unsigned high) {
    return (static_cast<uint64_t>(high & 0xFFFF) << 16) | (low & 0xFFFF);
}
constexpr unsigned loWord(uint64_t value) { return static_cast<unsigned>(value & 0xFFFF); }
constexpr unsigned hiWord(uint64_t value) { return static_cast<unsigned>((value >> 16) & 0xFFFF); }
constexpr int64_t makeLParam(int low, int high) {
    return static_cast<int64_t>(static_cast<uint32_t>((static_cast<uint32_t>(high & 0xFFFF) << 16) |
                                                      static_cast<uint32_t>(low & 0xFFFF)));
}
constexpr int signedLoWord(int64_t value) { return static_cast<int16_t>(value & 0xFFFF); }
constexpr int signedHiWord(int64_t value) { return static_cast<int16_t>((value >> 16) & 0xFFFF); }

}  // namespace tvx::platform::win
