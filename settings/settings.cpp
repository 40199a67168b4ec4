/* The settings file: lines ended by an asterisk, the first recognised one
   decides. Read one byte at a time. */
#include <windows.h>
#include <string.h>

#include "settings.h"

#define SETTINGS_PATH TEXT("\\FlashDisk\\Velmira\\PENDRELTOOL.ini")
#define LINE_SIZE 800

static char SettingLine[LINE_SIZE];

static const char DisplayOn[] = "Display On";
static const char DisplayOff[] = "Display Off";

int ReadStartupSetting(void)
{
    HANDLE file;
    int i = 0;
    char byte;
    DWORD count;

    file = CreateFileW(SETTINGS_PATH, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       NULL);
    if (file == INVALID_HANDLE_VALUE) {
        /* Fetched but not examined: a missing file and an unreadable one
           both mean the default start. */
        GetLastError();
        return -1;
    }
    for (;;) {
        count = 0;
        if (!ReadFile(file, &byte, 1, &count, NULL)) {
            CloseHandle(file);
            return -1;
        }
        if (count == 0) {
            CloseHandle(file);
            return 0;
        }
        /* Bytes past the end of the line buffer are dropped; the line's
           first bytes still decide. */
        if (i < LINE_SIZE)
            SettingLine[i] = byte;
        if (byte == '\r' || byte == '\n') {
            i = 0;
        } else if (byte == '*') {
            if (memcmp(SettingLine, DisplayOn, 10) == 0) {
                CloseHandle(file);
                return 1;
            }
            if (memcmp(SettingLine, DisplayOff, 11) == 0) {
                CloseHandle(file);
                return 0;
            }
            i = 0;
        } else if (i < LINE_SIZE) {
            i++;
        }
    }
}
