@echo off
rem Builds pendrel.exe for the CE 4.x ARMV4I handheld with the device maker's SDK
rem under eMbedded Visual C++ 4.0 (clarm, rc, lib, link on PATH; the SDK's ARMV4I
rem include and lib folders in INCLUDE and LIB). Written from the Windows CE
rem documentation and NEVER RUN HERE: see docs\handheld.md.
rem Usage, from the repository root: scripts\build-ce.bat PLATFORM_DEFINE
setlocal
if "%~1"=="" (
  echo usage: scripts\build-ce.bat PLATFORM_DEFINE   ^(the SDK's platform define, $^(CePlatform^) in eVC^)
  exit /b 2
)
rem The CE version in decimal, as eVC4 passes it (420 is CE 4.20; the SDK headers compare against 400, 420).
set CEVER=420
set DEFINES=/D _WIN32_WCE=%CEVER% /D UNDER_CE=%CEVER% /D %1 /D UNICODE /D _UNICODE /D ARM /D _ARM_ /D ARMV4I
set RCDEFINES=/d _WIN32_WCE=%CEVER% /d UNDER_CE=%CEVER% /d %1 /d UNICODE /d _UNICODE /d ARM /d _ARM_ /d ARMV4I
set INCLUDES=/I app /I keys /I reader /I settings /I res
set OUT=build\ce
if not exist %OUT% mkdir %OUT%

rem The application sources, in the CE dialect: no exceptions, no RTTI (the compiler's defaults);
rem /MC as eVC4's own ARMV4I builds compile.
for %%f in (app\*.cpp keys\*.cpp reader\*.cpp settings\*.cpp) do (
  clarm /nologo /W3 /O2 /MC /QRarch4T /QRinterwork-return %DEFINES% %INCLUDES% /c %%f /Fo%OUT%\%%~nf.obj || exit /b 1
)

rem The resources: strings, menu, accelerators, dialogs, icon.
rem The same version, platform and CPU defines as the compile.
rc /r /l 0x411 %RCDEFINES% /i res /fo %OUT%\pendrel.res res\pendrel.rc || exit /b 1

rem The reader driver, imported by ordinal only through an import library made from its definition file.
lib /nologo /def:driver\win32\tolven.def /machine:ARM /out:%OUT%\tolven.lib || exit /b 1

rem eVC4's base and stack: on CE a thread's stack size comes from /stack, not from CreateThread.
link /nologo /subsystem:windowsce,4.20 /machine:THUMB /entry:WinMainCRTStartup /base:"0x00010000" /stack:0x10000,0x1000 ^
  /out:%OUT%\pendrel.exe ^
  %OUT%\*.obj %OUT%\pendrel.res %OUT%\tolven.lib coredll.lib corelibc.lib commctrl.lib ^
  /nodefaultlib:libc.lib /nodefaultlib:libcmt.lib /nodefaultlib:oldnames.lib || exit /b 1
echo %OUT%\pendrel.exe
