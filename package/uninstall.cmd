@echo off
rem Removes the VersionInfo component's registration: the reverse of install.cmd, with the same
rem arguments. Run it from an elevated prompt.
rem   uninstall.cmd          every library this Windows can use
rem   uninstall.cmd x64|x86  that library only; the other one stays usable
rem The type library and the interface are registered once for both libraries; they are removed,
rem and a library that stays registered is registered again to restore them (on 64-bit Windows
rem the ProgID keys are shared by both views, too).
rem No parenthesised blocks below: the folder name may hold parentheses.
setlocal EnableExtensions DisableDelayedExpansion
set "here=%~dp0"
set "clsid=HKLM\Software\Classes\CLSID\{6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01}"
call :platform
if errorlevel 1 exit /b 1
set "all=%archs%"
call :choose "%~1"
if errorlevel 1 exit /b 1

set "code=0"
for %%a in (%archs%) do call :unregister %%a
for %%a in (%all%) do call :forget_type_library %%a
for %%a in (%all%) do call :restore %%a
exit /b %code%

rem Sets regsvr_<arch> to the regsvr32 of that bitness, bits_<arch> to the programs it serves,
rem view_<arch> to the reg option that reaches its registry view, and archs to the libraries
rem this Windows can use.
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
set "view_x64=/reg:64"
set "bits_x64=64-bit"
set "bits_x86=32-bit"
set "view_x86=/reg:32"
set "archs=x64 x86"
exit /b 0
:platform32
set "regsvr_x86=%SystemRoot%\System32\regsvr32.exe"
set "view_x86="
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
echo Usage: %~nx0 [x64^|x86]. This Windows can unregister: %archs%.
exit /b 1

:unregister
call set "regsvr=%%regsvr_%1%%"
call set "bits=%%bits_%1%%"
call set "view=%%view_%1%%"
set "library=%here%%1\vinspect.dll"
reg query "%clsid%" %view% >nul 2>&1
if errorlevel 1 goto unregister_absent
"%regsvr%" /u /s "%library%"
set "result=%errorlevel%"
rem Unregistration reports success even when the registry refused a change: look again.
reg query "%clsid%" %view% >nul 2>&1
if not errorlevel 1 goto unregister_failed
echo %1: unregistered for %bits% programs, by %regsvr%
exit /b 0
:unregister_absent
echo %1: was not registered for %bits% programs
exit /b 0
:unregister_failed
if "%result%"=="0" set "result=5"
set "code=%result%"
echo %1: FAILED: "%regsvr%" /u /s "%library%" exited with code %result% and the class is still registered.
if "%result%"=="3" echo     The library could not be loaded: it is missing, damaged or of the wrong architecture.
reg add "HKLM\Software\Classes\qzVersionInfo.WriteTest" /f >nul 2>&1
if errorlevel 1 echo     Access is denied: changing the registration for the whole machine needs an elevated prompt ^(Run as administrator^).
reg delete "HKLM\Software\Classes\qzVersionInfo.WriteTest" /f >nul 2>&1
exit /b 0

rem Removes the type library and interface keys from the view of one library.
:forget_type_library
call set "view=%%view_%1%%"
reg delete "HKLM\Software\Classes\TypeLib\{6F1C2A10-3B7E-4D21-9A55-0C1E2F3A4B01}" /f %view% >nul 2>&1
reg delete "HKLM\Software\Classes\Interface\{6F1C2A11-3B7E-4D21-9A55-0C1E2F3A4B01}" /f %view% >nul 2>&1
exit /b 0

rem Registers a library that stays registered again, from where it is registered.
:restore
call set "regsvr=%%regsvr_%1%%"
call set "bits=%%bits_%1%%"
call set "view=%%view_%1%%"
set "library="
for /f "delims=" %%l in ('reg query "%clsid%\InprocServer32" /ve %view% 2^>nul') do call :value "%%l"
if not defined library exit /b 0
"%regsvr%" /s "%library%"
set "result=%errorlevel%"
if "%result%"=="0" echo %1: stays registered at "%library%"; registered again to restore the shared keys
if "%result%"=="0" exit /b 0
echo %1: FAILED: registering "%library%" again, to restore the shared keys, exited with code %result%.
set "code=%result%"
exit /b 0

rem Takes the data of a "name    REG_SZ    data" line of reg query.
:value
set "line=%~1"
if not "%line:*REG_SZ    =%"=="%line%" set "library=%line:*REG_SZ    =%"
exit /b 0
