/* Read-to-keystroke translation on the terminal's Japanese keyboard layout,
   and the emission of the key events. */
#include <windows.h>

#include "keys.h"
#include "reader.h"

BYTE KeyCodes[KEY_TABLE_SIZE];
BYTE ShiftFlags[KEY_TABLE_SIZE];

/* Punctuation from 0x21 to 0x7E that is neither a digit nor a letter. */
struct PunctuationKey {
    BYTE character;
    BYTE key;
    BYTE shift;
};

static const struct PunctuationKey Punctuation[] = {
    {0x21, 0x31, 1}, {0x22, 0x32, 1}, {0x23, 0x33, 1}, {0x24, 0x34, 1},
    {0x25, 0x35, 1}, {0x26, 0x36, 1}, {0x27, 0x37, 1}, {0x28, 0x38, 1},
    {0x29, 0x39, 1}, {0x2A, 0xDE, 1}, {0x2B, 0xBA, 1}, {0x2C, 0xBC, 0},
    {0x2D, 0xBD, 0}, {0x2E, 0xBE, 0}, {0x2F, 0xBF, 0}, {0x3A, 0xDE, 0},
    {0x3B, 0xBA, 0}, {0x3C, 0xBC, 1}, {0x3D, 0xBD, 1}, {0x3E, 0xBE, 1},
    {0x3F, 0xBF, 1}, {0x40, 0xC0, 0}, {0x5B, 0xDB, 0}, {0x5C, 0xDC, 0},
    {0x5D, 0xDD, 0}, {0x5E, 0xBB, 0}, {0x5F, 0xBB, 1}, {0x60, 0xC0, 1},
    {0x7B, 0xDB, 1}, {0x7C, 0xDC, 1}, {0x7D, 0xDD, 1}, {0x7E, 0x30, 1},
};

#define PUNCTUATION_COUNT (sizeof(Punctuation) / sizeof(Punctuation[0]))

static void TranslateCharacter(int i, BYTE c)
{
    unsigned int k;

    if (c <= 0x20 || c == 0x7F || (c >= 0x30 && c <= 0x39)) {
        KeyCodes[i] = c;
        ShiftFlags[i] = 0;
    } else if (c >= 0x61 && c <= 0x7A) {
        KeyCodes[i] = (BYTE)(c - 0x20);
        ShiftFlags[i] = 0;
    } else if (c >= 0x41 && c <= 0x5A) {
        KeyCodes[i] = c;
        ShiftFlags[i] = 1;
    } else if (c >= 0x80) {
        /* No key types it: stale codes from an earlier read must not be sent. */
        KeyCodes[i] = 0;
        ShiftFlags[i] = SHIFT_NO_KEY;
    } else {
        for (k = 0; k < PUNCTUATION_COUNT; k++) {
            if (Punctuation[k].character == c) {
                KeyCodes[i] = Punctuation[k].key;
                ShiftFlags[i] = Punctuation[k].shift;
                return;
            }
        }
    }
}

void TranslateRead(BYTE length)
{
    int i;
    for (i = 0; i < length; i++)
        TranslateCharacter(i, ReadBuffer[i]);
}

void EmitKeys(BYTE length)
{
    int i;
    for (i = 0; i < length; i++) {
        if (ShiftFlags[i] == SHIFT_NO_KEY)
            continue;
        keybd_event(VK_LWIN, 0, KEYEVENTF_KEYUP, 0);
        if (ShiftFlags[i])
            keybd_event(VK_SHIFT, 0, KEYEVENTF_SILENT, 0);
        keybd_event(KeyCodes[i], 0, KEYEVENTF_SILENT, 0);
        keybd_event(KeyCodes[i], 0, KEYEVENTF_KEYUP, 0);
        if (ShiftFlags[i])
            keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
    }
}
