/* setupaid: window dressing for the installation script: a feature tree with check boxes, a
 * floating message window, the company signature and a web link.
 *
 * Exports are __stdcall with undecorated names; text is narrow (the system's ANSI code page).
 * The windows belong to the calling thread. */
#ifndef SETUPAID_H
#define SETUPAID_H

#include <windows.h>

/* The library exports through its .def file (undecorated __stdcall names); its own build defines
 * SETUPAID_API as nothing. */
#ifndef SETUPAID_API
#define SETUPAID_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Gives hTree the state image list (0 application icon, 1 unchecked, 2 checked) and collapses
 * every top-level item. text is not used. Returns TRUE. */
SETUPAID_API BOOL __stdcall TreeView(HWND hTree, const char *text);
/* type 1: TreeView, then adds a top-level item with itemText, checked when checkState is 1
 * (state image checkState + 1); returns 1. checkState 2 adds a required item: checked, and a
 * click on its box or the space bar shows why it stays checked instead of clearing it. Types 2 and 3 do nothing and return 0; any other
 * type does nothing and returns 1. */
SETUPAID_API int __stdcall TreeViewFunction(HWND hTree, int type, const char *itemText, int checkState);
/* Expands every checked top-level item and collapses the others. Returns TRUE. */
SETUPAID_API BOOL __stdcall TreeViewCheck(HWND hTree);
/* mode 1: shows the message window with text, or gives an existing one the new text; the
 * window's size follows the text. Any other mode: removes the window. 1 when something was
 * done, 0 when the window could not be made or there was nothing to remove. */
SETUPAID_API int __stdcall SdShowMsg2(const char *text, int mode);
/* Adds the greyed signature "Varnholt" to hParent. Returns 10. */
SETUPAID_API int __stdcall show_sign(HWND hParent);
/* Replaces the control hPlaceholder by a web link of the same size that opens the company's
 * site in the web browser. Returns 10; 0 (nothing done) when either is no window, or when the
 * placeholder is hParent itself or holds it. */
SETUPAID_API int __stdcall odkaz(HWND hParent, HWND hPlaceholder);

#ifdef __cplusplus
}
#endif

#endif
