// Hold counters for keys, pad bits and mouse buttons, updated once per frame.
#ifndef QUARNEX_GAME_INPUT_HOLD_H
#define QUARNEX_GAME_INPUT_HOLD_H

int UpdateKeyHold();
int UpdatePadHold();
int UpdateMouseHold();
int GetKeyHold(int code);
int GetMouseHold(int index);
int CheckStatePad(int index);
void RaiseHold(int* counter, int value);
void SetDefaultKeyMap();

#endif
