// The browser back end's input state, shared by its window and input tables.
#ifndef QUARNEX_RUNTIME_PLATFORM_WEB_WEB_INPUT_H
#define QUARNEX_RUNTIME_PLATFORM_WEB_WEB_INPUT_H

namespace qx {

// Starts listening to the page's keyboard and pointer.
void WebInputAttach();
// The window's pump is about to take new events (presses between reads).
void WebInputBeginPump();
// The pointer in the game's pixels, relative to the canvas's top-left corner.
void WebCursorPosition(int* x, int* y);
// The scan code of a key by its position (a DOM KeyboardEvent.code), 0 if none.
int WebScanCode(const char* code);

}  // namespace qx

#endif
