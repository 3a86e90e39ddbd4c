// korven platform layer: the subset of the Win32 API that korven, its TWAIN manager and its data
// sources use, implemented for POSIX. Names, types, values and return conventions are Win32's own,
// odd corners included, so the same code compiles against the real <windows.h>.
//
// Differences a caller may notice (see platform/README.md):
//  - every handle (HGLOBAL, HWND, HMODULE, ...) is a 32-bit value, as on 32-bit Windows; handles are
//    checked on every call, and a stale, freed or foreign handle is refused, never dereferenced;
//  - GMEM_FIXED blocks are handles like GMEM_MOVEABLE ones (a pointer does not fit in 32 bits);
//  - windows are not painted: every window that waits for a person goes through the desktop service
//    of <korven/desktop.h>, and <korven/snapshot.h> draws pictures of windows on request;
//  - paths may use '\' or '/'; '\' is turned into '/' before the file system is asked.
#ifndef KORVEN_WINDOWS_H
#define KORVEN_WINDOWS_H

#include <cstddef>
#include <cstdint>

#define WINAPI
#define CALLBACK
#define APIENTRY

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int32_t INT;
typedef char CHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef void* PVOID;
typedef BOOL* LPBOOL;
typedef DWORD* LPDWORD;
typedef UINT* PUINT;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef size_t SIZE_T;

// Message parameters are pointer-sized, as Win32 defines them, so a message can carry an address.
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;

// Handles: 32-bit values. 0 is never a valid handle.
typedef uint32_t HANDLE;
typedef HANDLE HGLOBAL;
typedef HANDLE HLOCAL;
typedef HANDLE HWND;
typedef HANDLE HMODULE;
typedef HANDLE HINSTANCE;
typedef HANDLE HMENU;
typedef HANDLE HICON;
typedef HANDLE HCURSOR;
typedef HANDLE HBRUSH;

#ifndef FALSE
#define FALSE 0
#endif
#ifndef TRUE
#define TRUE 1
#endif
#ifndef NULL
#define NULL 0
#endif
#define MAX_PATH 260

typedef LONG_PTR(WINAPI* FARPROC)();
typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef void(CALLBACK* TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);
typedef BOOL(CALLBACK* WNDENUMPROC)(HWND, LPARAM);

typedef uintptr_t DWORD_PTR_KORVEN;
#define LOWORD(l) ((WORD)(((DWORD_PTR_KORVEN)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD_PTR_KORVEN)(l)) >> 16) & 0xffff))
#define MAKELONG(a, b) ((LONG)(((WORD)(((DWORD_PTR_KORVEN)(a)) & 0xffff)) | ((DWORD)((WORD)(((DWORD_PTR_KORVEN)(b)) & 0xffff))) << 16))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))

typedef struct tagPOINT {
  LONG x;
  LONG y;
} POINT, *LPPOINT;

typedef struct tagRECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
} RECT, *LPRECT;

typedef struct tagMSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
} MSG, *LPMSG;

typedef struct tagWNDCLASSA {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
} WNDCLASSA;

typedef struct tagCREATESTRUCTA {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCSTR lpszName;
  LPCSTR lpszClass;
  DWORD dwExStyle;
} CREATESTRUCTA;

// Version resources.
typedef struct tagVS_FIXEDFILEINFO {
  DWORD dwSignature;  // 0xFEEF04BD
  DWORD dwStrucVersion;
  DWORD dwFileVersionMS;
  DWORD dwFileVersionLS;
  DWORD dwProductVersionMS;
  DWORD dwProductVersionLS;
  DWORD dwFileFlagsMask;
  DWORD dwFileFlags;
  DWORD dwFileOS;
  DWORD dwFileType;
  DWORD dwFileSubtype;
  DWORD dwFileDateMS;
  DWORD dwFileDateLS;
} VS_FIXEDFILEINFO;
#define VS_FFI_SIGNATURE 0xFEEF04BDu

// ---- Values -------------------------------------------------------------------------------------

// Global memory.
#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)
#define GMEM_MODIFY 0x0080
#define GMEM_SHARE 0x2000
#define GMEM_DDESHARE GMEM_SHARE

// Last-error codes.
#define ERROR_SUCCESS 0L
#define NO_ERROR 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_DATA 13L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_BAD_EXE_FORMAT 193L
#define ERROR_NOT_LOCKED 158L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_CLASS_ALREADY_EXISTS 1410L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#define ERROR_TLW_WITH_WSCHILD 1406L
#define ERROR_CLASS_DOES_NOT_EXIST 1411L
#define ERROR_CLASS_HAS_WINDOWS 1412L
#define ERROR_INVALID_INDEX 1413L
#define ERROR_CONTROL_ID_NOT_FOUND 1421L
#define ERROR_INVALID_MSGBOX_STYLE 1438L
#define ERROR_INVALID_THREAD_ID 1444L

// Window styles.
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_DLGFRAME 0x00400000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_TABSTOP 0x00010000L
#define WS_OVERLAPPEDWINDOW 0x00CF0000L
#define WS_EX_DLGMODALFRAME 0x00000001L
#define WS_EX_TOPMOST 0x00000008L
#define WS_EX_TOOLWINDOW 0x00000080L
#define WS_EX_APPWINDOW 0x00040000L
#define WS_EX_WINDOWEDGE 0x00000100L
#define WS_EX_CLIENTEDGE 0x00000200L
#define WS_EX_STATICEDGE 0x00020000L
#define WS_GROUP 0x00020000L
#define CW_USEDEFAULT ((int)0x80000000)

// Button, edit, list box and combo box styles and notifications.
#define BS_PUSHBUTTON 0x00000000L
#define BS_DEFPUSHBUTTON 0x00000001L
#define BS_CHECKBOX 0x00000002L
#define BS_AUTOCHECKBOX 0x00000003L
#define BS_RADIOBUTTON 0x00000004L
#define BS_AUTORADIOBUTTON 0x00000009L
#define BS_TYPEMASK 0x0000000FL
#define LBS_NOTIFY 0x0001L
#define LBS_SORT 0x0002L
#define CBS_DROPDOWN 0x0002L
#define CBS_SORT 0x0100L
#define BN_CLICKED 0
#define EN_CHANGE 0x0300
#define LBN_SELCHANGE 1
#define LBN_DBLCLK 2
#define CBN_SELCHANGE 1
#define CBS_DROPDOWNLIST 0x0003L
#define CBS_SIMPLE 0x0001L
#define CBN_SETFOCUS 3
#define CBN_KILLFOCUS 4
#define CBN_EDITCHANGE 5
#define CBN_DROPDOWN 7
#define CBN_CLOSEUP 8
#define BS_3STATE 0x00000005L
#define BS_AUTO3STATE 0x00000006L
#define BS_GROUPBOX 0x00000007L
#define BS_LEFTTEXT 0x00000020L
#define ES_LEFT 0x0000L
#define ES_AUTOHSCROLL 0x0080L
#define ES_READONLY 0x0800L
#define EN_SETFOCUS 0x0100
#define EN_KILLFOCUS 0x0200

// Static control styles: text alignment, pictures and frames.
#define SS_LEFT 0x00000000L
#define SS_CENTER 0x00000001L
#define SS_RIGHT 0x00000002L
#define SS_BLACKRECT 0x00000004L
#define SS_GRAYRECT 0x00000005L
#define SS_WHITERECT 0x00000006L
#define SS_BLACKFRAME 0x00000007L
#define SS_GRAYFRAME 0x00000008L
#define SS_WHITEFRAME 0x00000009L
#define SS_SIMPLE 0x0000000BL
#define SS_LEFTNOWORDWRAP 0x0000000CL
#define SS_ICON 0x00000003L
#define SS_BITMAP 0x0000000EL
#define SS_ETCHEDHORZ 0x00000010L
#define SS_ETCHEDVERT 0x00000011L
#define SS_ETCHEDFRAME 0x00000012L
#define SS_TYPEMASK 0x0000001FL
#define SS_NOPREFIX 0x00000080L
#define SS_CENTERIMAGE 0x00000200L
#define SS_SUNKEN 0x00001000L

// Track bars (common controls): a slider over a range, ticks every ticFreq, line and page steps.
#define TRACKBAR_CLASSA "msctls_trackbar32"
#define TBS_AUTOTICKS 0x0001
#define TBS_HORZ 0x0000
#define TBS_VERT 0x0002
#define TBS_TOP 0x0004
#define TBS_LEFT 0x0004
#define TBS_BOTTOM 0x0000
#define TBS_RIGHT 0x0000
#define TBS_BOTH 0x0008
#define TBS_NOTICKS 0x0010
#define TBS_ENABLESELRANGE 0x0020
#define TBS_FIXEDLENGTH 0x0040
#define TBS_NOTHUMB 0x0080
#define TBS_TOOLTIPS 0x0100
#define TBM_GETPOS (WM_USER)
#define TBM_GETRANGEMIN (WM_USER + 1)
#define TBM_GETRANGEMAX (WM_USER + 2)
#define TBM_SETPOS (WM_USER + 5)
#define TBM_SETRANGE (WM_USER + 6)
#define TBM_SETRANGEMIN (WM_USER + 7)
#define TBM_SETRANGEMAX (WM_USER + 8)
#define TBM_SETTICFREQ (WM_USER + 20)
#define TBM_SETPAGESIZE (WM_USER + 21)
#define TBM_GETPAGESIZE (WM_USER + 22)
#define TBM_SETLINESIZE (WM_USER + 23)
#define TBM_GETLINESIZE (WM_USER + 24)
// WM_HSCROLL/WM_VSCROLL codes a track bar sends its parent (LOWORD of wParam; lParam the track bar).
#define TB_LINEUP 0
#define TB_LINEDOWN 1
#define TB_PAGEUP 2
#define TB_PAGEDOWN 3
#define TB_THUMBPOSITION 4
#define TB_THUMBTRACK 5
#define TB_TOP 6
#define TB_BOTTOM 7
#define TB_ENDTRACK 8

// Tab controls (common controls): a row (or rows) of tabs; the display area below them.
#define WC_TABCONTROLA "SysTabControl32"
#define TCS_MULTILINE 0x0200
#define TCS_FIXEDWIDTH 0x0400
#define TCIF_TEXT 0x0001
#define TCM_FIRST 0x1300
#define TCM_GETITEMCOUNT (TCM_FIRST + 4)
#define TCM_GETITEMA (TCM_FIRST + 5)
#define TCM_SETITEMA (TCM_FIRST + 6)
#define TCM_INSERTITEMA (TCM_FIRST + 7)
#define TCM_DELETEITEM (TCM_FIRST + 8)
#define TCM_DELETEALLITEMS (TCM_FIRST + 9)
#define TCM_GETITEMRECT (TCM_FIRST + 10)
#define TCM_GETCURSEL (TCM_FIRST + 11)
#define TCM_SETCURSEL (TCM_FIRST + 12)
#define TCM_ADJUSTRECT (TCM_FIRST + 40)
#define TCM_SETITEMSIZE (TCM_FIRST + 41)
#define TCM_GETROWCOUNT (TCM_FIRST + 44)
#define TCN_FIRST (0U - 550U)
#define TCN_SELCHANGE (TCN_FIRST - 1)
#define TCN_SELCHANGING (TCN_FIRST - 2)

typedef struct tagNMHDR {
  HWND hwndFrom;
  UINT_PTR idFrom;
  UINT code;
} NMHDR, *LPNMHDR;

typedef struct tagTCITEMA {
  UINT mask;
  DWORD dwState;
  DWORD dwStateMask;
  LPSTR pszText;
  int cchTextMax;
  int iImage;
  LPARAM lParam;
} TCITEMA, *LPTCITEMA;

// ShowWindow.
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5
#define SW_SHOWNOACTIVATE 4
#define SW_SHOWNA 8

// GetWindow.
#define GW_HWNDNEXT 2
#define GW_HWNDPREV 3
#define GW_OWNER 4
#define GW_CHILD 5

// Posted to every top-level window.
#define HWND_BROADCAST ((HWND)0xffff)

// WM_SYSCOMMAND and virtual keys (the few dialogs react to).
#define SC_CLOSE 0xF060
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_ESCAPE 0x1B
#define VK_BACK 0x08
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28

// Window messages.
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_ENABLE 0x000A
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_SHOWWINDOW 0x0018
#define WM_NOTIFY 0x004E
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_TIMER 0x0113
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_USER 0x0400
#define WM_APP 0x8000
#define WM_SYSKEYDOWN 0x0104
#define WM_SYSCHAR 0x0106
#define WM_HSCROLL 0x0114
#define WM_VSCROLL 0x0115
#define EM_GETSEL 0x00B0
#define EM_SETSEL 0x00B1
#define EM_LIMITTEXT 0x00C5
#define EM_SETREADONLY 0x00CF
#define CB_GETEDITSEL 0x0140
#define CB_LIMITTEXT 0x0141
#define CB_SETEDITSEL 0x0142

// System metrics (the classic scheme at 96 pixels per inch).
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SM_CYCAPTION 4
#define SM_CXBORDER 5
#define SM_CYBORDER 6
#define SM_CXDLGFRAME 7
#define SM_CYDLGFRAME 8
#define SM_CXFRAME 32
#define SM_CYFRAME 33
#define SM_CXEDGE 45
#define SM_CYEDGE 46
#define SM_CYSMCAPTION 51
#define SM_CXFIXEDFRAME SM_CXDLGFRAME
#define SM_CYFIXEDFRAME SM_CYDLGFRAME

// List box and combo box messages (the subset the built-in controls answer).
#define LB_ADDSTRING 0x0180
#define LB_INSERTSTRING 0x0181
#define LB_DELETESTRING 0x0182
#define LB_RESETCONTENT 0x0184
#define LB_SETCURSEL 0x0186
#define LB_GETCURSEL 0x0188
#define LB_GETTEXT 0x0189
#define LB_GETTEXTLEN 0x018A
#define LB_GETCOUNT 0x018B
#define LB_GETITEMDATA 0x0199
#define LB_SETITEMDATA 0x019A
#define LB_FINDSTRINGEXACT 0x01A2
#define LB_ERR (-1)
#define LB_ERRSPACE (-2)
#define CB_ADDSTRING 0x0143
#define CB_DELETESTRING 0x0144
#define CB_GETCOUNT 0x0146
#define CB_GETCURSEL 0x0147
#define CB_GETLBTEXT 0x0148
#define CB_GETLBTEXTLEN 0x0149
#define CB_INSERTSTRING 0x014A
#define CB_RESETCONTENT 0x014B
#define CB_SETCURSEL 0x014E
#define CB_GETITEMDATA 0x0150
#define CB_SETITEMDATA 0x0151
#define CB_FINDSTRINGEXACT 0x0158
#define CB_ERR (-1)
#define CB_ERRSPACE (-2)
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BM_CLICK 0x00F5
#define BST_UNCHECKED 0
#define BST_CHECKED 1
#define BST_INDETERMINATE 2

// Common dialog messages.
#define CDM_FIRST (WM_USER + 100)
#define CDM_GETSPEC (CDM_FIRST + 0)
#define CDM_GETFILEPATH (CDM_FIRST + 1)
#define CDM_GETFOLDERPATH (CDM_FIRST + 2)
#define CDM_SETCONTROLTEXT (CDM_FIRST + 4)
#define CDM_HIDECONTROL (CDM_FIRST + 5)
#define CDM_SETDEFEXT (CDM_FIRST + 6)
#define edt1 0x0480
#define cmb1 0x0470
#define stc1 0x0440
#define lst1 0x0460

// PeekMessage.
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

// GetWindowLongPtr.
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWL_ID (-12)
#define GWLP_USERDATA (-21)
#define GWLP_WNDPROC (-4)
#define GWLP_HINSTANCE (-6)
#define GWLP_HWNDPARENT (-8)
#define GWLP_ID (-12)

// Message boxes.
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_CANCELTRYCONTINUE 0x00000006L
#define MB_TYPEMASK 0x0000000FL
#define MB_ICONHAND 0x00000010L
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_ICONMASK 0x000000F0L
#define MB_DEFBUTTON1 0x00000000L
#define MB_DEFBUTTON2 0x00000100L
#define MB_DEFBUTTON3 0x00000200L
#define MB_DEFBUTTON4 0x00000300L
#define MB_DEFMASK 0x00000F00L
#define MB_APPLMODAL 0x00000000L
#define MB_SYSTEMMODAL 0x00001000L
#define MB_TASKMODAL 0x00002000L
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDCLOSE 8
#define IDHELP 9
#define IDTRYAGAIN 10
#define IDCONTINUE 11

// Code pages.
#define CP_ACP 0
#define CP_UTF8 65001

extern "C" {

// ---- kernel32 -----------------------------------------------------------------------------------

DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD dwErrCode);
DWORD WINAPI GetCurrentThreadId(void);
DWORD WINAPI GetTickCount(void);
void WINAPI Sleep(DWORD dwMilliseconds);

// Loads a shared object by path ('\' or '/'); reference-counted like Win32. NULL on failure with
// GetLastError set: ERROR_MOD_NOT_FOUND when the loader fails, ERROR_BAD_EXE_FORMAT for a damaged
// image (truncated, segments or tables outside the file, not a regular file), which is refused
// before the system loader sees it; the reason goes to the debug output.
HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
// Looks up an exported symbol; NULL (ERROR_PROC_NOT_FOUND) when absent or the handle is not a module.
// hModule NULL looks in the program itself.
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
// Drops one reference; FALSE for a handle that is not a loaded module.
BOOL WINAPI FreeLibrary(HMODULE hLibModule);
// The module's file path; 0 on failure. hModule NULL names the running program.
DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);

// Copies the Windows directory (no trailing separator) and returns its length without the NUL;
// when uSize is too small, copies nothing and returns the size needed including the NUL.
UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize);

// Global memory blocks behind 32-bit handles (GMEM_FIXED blocks too: lock them for the pointer).
// GlobalFree returns NULL on success and the handle on failure (NULL itself frees nothing and returns
// NULL); a locked block is freed too, as in Win32, with a note to the debug output. GlobalLock
// returns NULL for a bad handle; lock counts nest; GlobalUnlock returns FALSE once the count reaches
// zero (GetLastError NO_ERROR) or when the block was not locked (ERROR_NOT_LOCKED). GlobalSize is 0
// for a bad handle. Stale handles and handles of other kinds (a window, a module) count as bad.
HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
// Keeps the handle. Shrinking keeps the data in place; growing a locked block is refused unless
// uFlags has GMEM_MOVEABLE (its pointer would change under the holder). GMEM_MODIFY changes flags only.
HGLOBAL WINAPI GlobalReAlloc(HGLOBAL hMem, SIZE_T dwBytes, UINT uFlags);
LPVOID WINAPI GlobalLock(HGLOBAL hMem);
BOOL WINAPI GlobalUnlock(HGLOBAL hMem);
HGLOBAL WINAPI GlobalFree(HGLOBAL hMem);
SIZE_T WINAPI GlobalSize(HGLOBAL hMem);
// Lock count in the low byte, as Win32 reports it; GMEM_INVALID_HANDLE for a bad handle.
UINT WINAPI GlobalFlags(HGLOBAL hMem);
#define GMEM_INVALID_HANDLE 0x8000
#define GMEM_LOCKCOUNT 0x00FF

// Writes the text to the debug output sink (see korven::platform::SetDebugSink).
void WINAPI OutputDebugStringA(LPCSTR lpOutputString);

// win.ini, kept per user (see korven::platform::SetProfilePath).
DWORD WINAPI GetProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault, LPSTR lpReturnedString, DWORD nSize);
BOOL WINAPI WriteProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString);

// Code pages: the ANSI code page is 65001 (UTF-8) unless korven::platform::SetACP selects 932.
UINT WINAPI GetACP(void);
// True for a Shift-JIS lead byte (0x81-0x9F, 0xE0-0xFC) under code page 932; never under UTF-8.
BOOL WINAPI IsDBCSLeadByte(BYTE TestChar);
BOOL WINAPI IsDBCSLeadByteEx(UINT CodePage, BYTE TestChar);
// The next character: steps over a whole double-byte (932) or multi-byte (UTF-8) character; at the
// terminating NUL returns lpsz itself.
LPSTR WINAPI CharNextA(LPCSTR lpsz);
LPSTR WINAPI CharPrevA(LPCSTR lpszStart, LPCSTR lpszCurrent);

// ---- version ------------------------------------------------------------------------------------

// Size of the version record a file carries (see KORVEN_VERSION_RECORD in <korven/platform.h>), read
// from the file without loading it; 0 when the file has none or cannot be read.
DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle);
// Copies the record into lpData; FALSE when the file has none or dwLen is below the size (nothing is
// truncated).
BOOL WINAPI GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData);
// lpSubBlock "\" gives the VS_FIXEDFILEINFO of the record read by GetFileVersionInfoA.
BOOL WINAPI VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen);

// ---- user32 -------------------------------------------------------------------------------------

// Window classes: the built-in "STATIC", "BUTTON", "EDIT", "LISTBOX", "COMBOBOX" and "#32770"
// (dialog), and classes registered here. Class names compare without regard to case.
WORD WINAPI RegisterClassA(const WNDCLASSA* lpWndClass);
BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance);
BOOL WINAPI GetClassInfoA(HINSTANCE hInstance, LPCSTR lpClassName, WNDCLASSA* lpWndClass);
int WINAPI GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount);

// Creates a window owned by the calling thread. For a child (WS_CHILD) hMenu is its control id; for a
// top-level window hWndParent names the owner (its top-level window). Sends WM_NCCREATE and WM_CREATE;
// a window procedure answering WM_CREATE with -1 (or WM_NCCREATE with FALSE) makes creation fail with
// NULL. DefWindowProcA's WM_NCCREATE stores the caption, so a procedure must pass it on. WS_VISIBLE
// takes effect after WM_CREATE (ShowWindow).
HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                            int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                            LPVOID lpParam);
// Destroys the window, its children and the windows it owns (WM_DESTROY, then WM_NCDESTROY), kills
// its timers and discards the messages still queued for it. Only the thread that created the window
// may destroy it (ERROR_ACCESS_DENIED otherwise), as in Win32.
BOOL WINAPI DestroyWindow(HWND hWnd);
BOOL WINAPI IsWindow(HWND hWnd);
// Returns non-zero exactly when the window was disabled before the call.
BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable);
BOOL WINAPI IsWindowEnabled(HWND hWnd);
BOOL WINAPI IsWindowVisible(HWND hWnd);
// Returns non-zero when the window was visible before. Showing a top-level window tells the desktop.
BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow);
// The parent of a child window, or the owner of a top-level WS_POPUP window (NULL for an overlapped
// top-level window even when it is owned, as in Win32; GetWindow(GW_OWNER) gives any owner).
HWND WINAPI GetParent(HWND hWnd);
// GW_OWNER, GW_CHILD (first child), GW_HWNDNEXT/GW_HWNDPREV (siblings in creation order).
HWND WINAPI GetWindow(HWND hWnd, UINT uCmd);
BOOL WINAPI IsChild(HWND hWndParent, HWND hWnd);
HWND WINAPI SetParent(HWND hWndChild, HWND hWndNewParent);
HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem);
int WINAPI GetDlgCtrlID(HWND hWnd);
BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString);
UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax);
BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString);
int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount);
int WINAPI GetWindowTextLengthA(HWND hWnd);
LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex);
LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong);
BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint);
BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect);
BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect);
BOOL WINAPI EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam);
BOOL WINAPI EnumChildWindows(HWND hWndParent, WNDENUMPROC lpEnumFunc, LPARAM lParam);
DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId);

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// Calls the window procedure at once, on the calling thread even for another thread's window, and
// returns its answer; 0 for an invalid window.
LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam);
// Queues a message for the thread that owns the window (any thread may post); hWnd NULL posts to the
// calling thread. FALSE for an invalid window.
BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// FALSE (ERROR_INVALID_THREAD_ID) for a thread that has no queue yet: a thread gets one when it first
// creates a window or calls a message function.
BOOL WINAPI PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam);
void WINAPI PostQuitMessage(int nExitCode);
// Waits for a message. Returns 0 on WM_QUIT (consumed; it passes any filter), -1 for an invalid hWnd
// filter (or a window of another thread), otherwise non-zero. hWnd filters by window and its
// descendants, (HWND)-1 takes thread messages only. Order: posted messages, WM_QUIT, due timers.
// While nothing is queued and no timer is due, the desktop may act (see <korven/desktop.h>); when it
// acted and that queued nothing, GetMessageA returns a WM_NULL (if the range admits 0) so that a
// modal loop can check whether it is done. An exception the desktop throws passes through.
BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
// Returns at once: non-zero when a message (or a due timer) was there.
BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg);
// Waits as GetMessageA does, without removing anything.
BOOL WINAPI WaitMessage(void);
BOOL WINAPI TranslateMessage(const MSG* lpMsg);
// Calls the window procedure of lpMsg->hwnd (or the TIMERPROC of a WM_TIMER, only when it is a live
// timer's); 0 for thread messages.
LRESULT WINAPI DispatchMessageA(const MSG* lpMsg);
// Handles a message for hDlg or its descendants: VK_RETURN presses the default button, VK_ESCAPE sends
// IDCANCEL, anything else is dispatched. FALSE for other windows' messages.
BOOL WINAPI IsDialogMessageA(HWND hDlg, LPMSG lpMsg);
// The next (or previous) control with WS_TABSTOP after hCtl among hDlg's visible, enabled descendants,
// in creation order and wrapping around; hCtl NULL starts at the beginning. NULL when there is none.
HWND WINAPI GetNextDlgTabItem(HWND hDlg, HWND hCtl, BOOL bPrevious);

// Timers post WM_TIMER when due, in order of due time (then of setting), at most one pending per
// timer; periods below 10 ms count as 10 ms. SetTimer with hWnd NULL returns a fresh id; with a
// window (of the calling thread), nIDEvent (replacing a timer of the same id).
UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc);
BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent);

// Same id for the same name (case-insensitive) within the process; ids from 0xC000.
UINT WINAPI RegisterWindowMessageA(LPCSTR lpString);

HWND WINAPI SetFocus(HWND hWnd);
HWND WINAPI GetFocus(void);
BOOL WINAPI SetForegroundWindow(HWND hWnd);
HWND WINAPI GetForegroundWindow(void);
HWND WINAPI SetActiveWindow(HWND hWnd);
HWND WINAPI GetActiveWindow(void);
BOOL WINAPI BringWindowToTop(HWND hWnd);
// Whether a key is down (high bit) as far as the thread knows: the desktop presses and releases keys
// (Shift for Shift+Tab) around what it sends.
short WINAPI GetKeyState(int nVirtKey);

// The frame sizes of the classic scheme (SM_CYCAPTION 19, SM_CXDLGFRAME 3, SM_CXFRAME 4, SM_CXEDGE 2,
// ...) and the screen (1024 x 768). 0 for an index it does not know.
int WINAPI GetSystemMetrics(int nIndex);
// Grows a client rectangle to the window rectangle for those styles: caption, dialog, sizing and
// single borders, client and static edges, as Win32 computes them. A window's client area (what
// GetClientRect reports and where its children sit) is its rectangle less this frame.
BOOL WINAPI AdjustWindowRectEx(LPRECT lpRect, DWORD dwStyle, BOOL bMenu, DWORD dwExStyle);
BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint);
BOOL WINAPI ScreenToClient(HWND hWnd, LPPOINT lpPoint);

// A modal message box shown through the desktop: a "#32770" window with the caption (NULL: "Error"), a
// STATIC with the text and the buttons of uType, MB_DEFBUTTONn marking the default. Disables the owner
// (with MB_TASKMODAL and no owner: the thread's top-level windows) while it runs its own message loop
// and restores it on every path, also when the desktop throws. Returns the id of the button pressed
// (IDOK, ...), 0 on failure or when WM_QUIT arrives (which is posted again for the caller's loop).
int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
BOOL WINAPI MessageBeep(UINT uType);

}  // extern "C"

#endif  // KORVEN_WINDOWS_H
