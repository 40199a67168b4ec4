/* The message boxes' texts, and the Retry box of the mode commands, shared
   by the main window and the read display. */
#include "pendrel.h"

/* 出力ﾊﾞｯﾌｧ 切替 失敗 */
const WCHAR TextBufferSwitchFailed[] = TEXT("\x51fa\x529b\xff8a\xff9e\xff6f\xff8c\xff67 \x5207\x66ff \x5931\x6557");
/* ﾄﾘｶﾞｰｷｰ登録失敗 */
const WCHAR TextTriggerKeyFailed[] = TEXT("\xff84\xff98\xff76\xff9e\xff70\xff77\xff70\x767b\x9332\x5931\x6557");
/* ZELﾄﾞﾗｲﾊﾞ ｵｰﾌﾟﾝ失敗 */
const WCHAR TextDriverOpenFailed[] = TEXT("ZEL\xff84\xff9e\xff97\xff72\xff8a\xff9e \xff75\xff70\xff8c\xff9f\xff9d\x5931\x6557");
/* ZEL読取ﾂｰﾙ起動失敗 */
const WCHAR TextWorkerStartFailed[] = TEXT("ZEL\x8aad\x53d6\xff82\xff70\xff99\x8d77\x52d5\x5931\x6557");
const WCHAR CaptionWorkerStart[] = TEXT("PendrelRemote Error");
const WCHAR CaptionBufferSwitch[] = TEXT("ZELChangeBuffMode Error");
/* ZELChangeBuffMode ｴﾗｰ */
const WCHAR CaptionBufferSwitchJa[] = TEXT("ZELChangeBuffMode \xff74\xff97\xff70");
const WCHAR CaptionOpen[] = TEXT("ZELOpen Error");
/* ZELOpen ｴﾗｰ */
const WCHAR CaptionOpenJa[] = TEXT("ZELOpen \xff74\xff97\xff70");

LRESULT CommandRetryBox(HWND window, const WCHAR* text, const WCHAR* caption)
{
    if (MessageBoxW(window, text, caption, MB_RETRYCANCEL) == IDRETRY)
        return 1;
    DestroyWindow(window);
    return 1;
}
