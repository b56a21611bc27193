@echo off
rem Registers the VersionInfo component (vinspect.dll) for the whole machine, from the folder this
rem script is in. Run it from an elevated prompt; running it again is harmless.
rem   install.cmd          64-bit Windows: the x64 and the x86 library; 32-bit Windows: the x86 one
rem   install.cmd x64|x86  that library only
rem Each library is registered by the regsvr32 of its own bitness, so that 64-bit and 32-bit
rem script hosts both find the object. When a step fails, what this run registered is removed
rem again and the script exits with that step's code.
rem No parenthesised blocks below: the folder name may hold parentheses.
setlocal EnableExtensions DisableDelayedExpansion
set "here=%~dp0"
call :platform
if errorlevel 1 exit /b 1
call :choose "%~1"
if errorlevel 1 exit /b 1

set "done="
set "failed="
for %%a in (%archs%) do if not defined failed call :register %%a
if not defined failed exit /b 0

rem Steps stop at the first failure, so at most one library was registered by this run. The
rem call is not made from a loop: Wine's cmd lets a loop's variable into the called script.
if not defined done exit /b %code%
echo Removing what this run registered:
call "%here%uninstall.cmd" %done%
exit /b %code%

rem Sets regsvr_<arch> to the regsvr32 of that bitness, bits_<arch> to the programs it serves,
rem and archs to the libraries this Windows can use.
:platform
if /i "%PROCESSOR_ARCHITECTURE%"=="AMD64" goto platform64
if /i "%PROCESSOR_ARCHITEW6432%"=="AMD64" goto platform64
if /i "%PROCESSOR_ARCHITECTURE%"=="x86" goto platform32
echo This package holds x86 and x64 libraries; this Windows runs on %PROCESSOR_ARCHITECTURE%.
exit /b 1
:platform64
rem A 32-bit cmd sees the 32-bit system folder as System32 and the 64-bit one as Sysnative.
set "regsvr_x64=%SystemRoot%\System32\regsvr32.exe"
if defined PROCESSOR_ARCHITEW6432 set "regsvr_x64=%SystemRoot%\Sysnative\regsvr32.exe"
set "regsvr_x86=%SystemRoot%\SysWOW64\regsvr32.exe"
set "bits_x64=64-bit"
set "bits_x86=32-bit"
set "archs=x64 x86"
exit /b 0
:platform32
set "regsvr_x86=%SystemRoot%\System32\regsvr32.exe"
set "bits_x86=32-bit"
set "archs=x86"
exit /b 0

rem Narrows archs to the one named on the command line, if any.
:choose
if "%~1"=="" exit /b 0
set "pick="
for %%a in (%archs%) do if /i "%%a"=="%~1" set "pick=%%a"
if defined pick set "archs=%pick%"
if defined pick exit /b 0
echo Usage: %~nx0 [x64^|x86]. This Windows can register: %archs%.
exit /b 1

:register
call set "regsvr=%%regsvr_%1%%"
call set "bits=%%bits_%1%%"
set "library=%here%%1\vinspect.dll"
"%regsvr%" /s "%library%"
set "code=%errorlevel%"
if not "%code%"=="0" goto register_failed
set "done=%1 %done%"
echo %1: registered "%library%" for %bits% programs, machine-wide, by %regsvr%
exit /b 0
:register_failed
set "failed=%1"
echo %1: FAILED: "%regsvr%" /s "%library%" exited with code %code%.
if "%code%"=="9009" echo     %regsvr% could not be started.
if "%code%"=="3" echo     The library could not be loaded: it is missing, damaged or of the wrong architecture.
rem regsvr32 reports a refused registry write as a failed registration; try one to tell.
reg add "HKLM\Software\Classes\qzVersionInfo.WriteTest" /f >nul 2>&1
if errorlevel 1 echo     Access is denied: registering for the whole machine needs an elevated prompt ^(Run as administrator^).
reg delete "HKLM\Software\Classes\qzVersionInfo.WriteTest" /f >nul 2>&1
exit /b 0
