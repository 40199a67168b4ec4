/* The message boxes' texts, and the Retry box of the mode commands, shared
   by the main window and the read display. */
#include "pendrel.h"

const WCHAR TextBufferSwitchFailed[] = TEXT("出力ﾊﾞｯﾌｧ 切替 失敗");
const WCHAR TextTriggerKeyFailed[] = TEXT("ﾄﾘｶﾞｰｷｰ登録失敗");
const WCHAR TextDriverOpenFailed[] = TEXT("ZELﾄﾞﾗｲﾊﾞ ｵｰﾌﾟﾝ失敗");
const WCHAR TextWorkerStartFailed[] = TEXT("ZEL読取ﾂｰﾙ起動失敗");
const WCHAR CaptionWorkerStart[] = TEXT("PendrelRemote Error");
const WCHAR CaptionBufferSwitch[] = TEXT("ZELChangeBuffMode Error");
const WCHAR CaptionBufferSwitchJa[] = TEXT("ZELChangeBuffMode ｴﾗｰ");
const WCHAR CaptionOpen[] = TEXT("ZELOpen Error");
const WCHAR CaptionOpenJa[] = TEXT("ZELOpen ｴﾗｰ");

LRESULT CommandRetryBox(HWND window, const WCHAR* text, const WCHAR* caption)
{
    if (MessageBoxW(window, text, caption, MB_RETRYCANCEL) == IDRETRY)
        return 1;
    DestroyWindow(window);
    return 1;
}
