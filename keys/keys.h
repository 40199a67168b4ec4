/* Key output: one read turned into virtual-key presses and releases. */
#ifndef PENDREL_KEYS_H
#define PENDREL_KEYS_H

#include <windows.h>

#define KEY_TABLE_SIZE 1024

/* ShiftFlags value of a position whose byte has no key: nothing is sent. */
#define SHIFT_NO_KEY 2

extern BYTE KeyCodes[KEY_TABLE_SIZE];
extern BYTE ShiftFlags[KEY_TABLE_SIZE];

/* Translates ReadBuffer[0 .. length-1] into KeyCodes and ShiftFlags. */
void TranslateRead(BYTE length);
/* Sends the key events for positions 0 .. length-1. */
void EmitKeys(BYTE length);

#endif
