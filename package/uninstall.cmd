@echo off
rem Removes the VersionInfo component's registration: the reverse of install.cmd, with the same
rem arguments. It needs administrator rights.
rem   uninstall.cmd          every library this Windows can use
rem   uninstall.cmd x64|x86  that library only; the other one stays usable
rem The type library and the interface are registered once for both libraries; they are removed
rem from every registry view (registering x64 writes the interface into the 32-bit view too, even
rem where no 32-bit program runs), and a library that stays registered is registered again to
rem restore them (on 64-bit Windows the ProgID keys are shared by both views, too).
rem No parenthesised blocks below, and no path is handed to a call: the folder name may hold
rem parentheses, and a call would read a %, ^ or ! in it a second time.
setlocal EnableExtensions DisableDelayedExpansion
set "here=%~dp0"
set "self=%~0"
set "name=%~nx0"
set "arg=%~1"
set "clsid=HKLM\Software\Classes\CLSID\{6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01}"
set "code=1"
call :from_explorer
call :platform
if errorlevel 1 goto stop
set "all=%archs%"
call :choose
if errorlevel 1 goto stop
call :rights
if errorlevel 1 goto stop

set "code=0"
for %%a in (%archs%) do call :unregister %%a
for %%a in (%views%) do call :forget_type_library %%a
for %%a in (%all%) do call :restore %%a
goto stop

:stop
if defined wait pause
exit /b %code%

rem Sets wait when Explorer started this script in a console of its own, which closes as soon as
rem the script ends: a double-click runs  cmd.exe /c ""<script>" "  and "Run as administrator"
rem runs  cmd.exe /C "<script>" . A prompt or another script has its own command line here, so it
rem never waits. The quotes become backquotes first, so that nothing in the line is taken as a
rem command; the second pass disarms what the line leaves when the variable is unset, as in
rem Wine's cmd.
:from_explorer
set "wait="
set "line=%cmdcmdline:"=`%"
if not defined line exit /b 0
set "line=%line:"=`%"
set "line=%line:* /c =%"
if /i "%line%"=="``%self%` `" set "wait=1"
if /i "%line%"=="`%self%` " set "wait=1"
exit /b 0

rem Sets regsvr_<arch> to the regsvr32 of that bitness, bits_<arch> to the programs it serves,
rem view_<arch> to the reg option that reaches its registry view, views to the views this
rem Windows has, and archs to the libraries it can use. The machine's own architecture decides,
rem not the bitness of this cmd: the system environment holds it, while a cmd of another
rem bitness, or an emulated one, reports its own in PROCESSOR_ARCHITECTURE.
:platform
set "native="
for /f "tokens=1,2*" %%a in ('reg query "HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment" /v PROCESSOR_ARCHITECTURE 2^>nul') do if /i "%%a"=="PROCESSOR_ARCHITECTURE" set "native=%%c"
if not defined native set "native=%PROCESSOR_ARCHITEW6432%"
if not defined native set "native=%PROCESSOR_ARCHITECTURE%"
set "no32="
if /i "%native%"=="AMD64" goto platform64
if /i "%native%"=="x86" goto platform32
echo This package holds x86 and x64 libraries; this Windows runs on %native%.
exit /b 1
:platform64
rem A 32-bit cmd sees the 32-bit system folder as System32 and the 64-bit one as Sysnative.
set "regsvr_x64=%SystemRoot%\System32\regsvr32.exe"
if defined PROCESSOR_ARCHITEW6432 set "regsvr_x64=%SystemRoot%\Sysnative\regsvr32.exe"
set "regsvr_x86=%SystemRoot%\SysWOW64\regsvr32.exe"
set "view_x64=/reg:64"
set "view_x86=/reg:32"
set "bits_x64=64-bit"
set "bits_x86=32-bit"
set "archs=x64 x86"
set "views=x64 x86"
if exist "%regsvr_x86%" exit /b 0
rem Server Core without WoW64 and Windows PE run no 32-bit programs: nothing 32-bit to remove.
set "archs=x64"
set "no32=x86: not registered: this Windows runs no 32-bit programs, it has no %regsvr_x86%."
exit /b 0
:platform32
set "regsvr_x86=%SystemRoot%\System32\regsvr32.exe"
set "view_x86="
set "bits_x86=32-bit"
set "archs=x86"
set "views=x86"
exit /b 0

rem Narrows archs to the one named on the command line, if any.
:choose
if not defined arg exit /b 0
set "pick="
for %%a in (%archs%) do if /i "%%a"=="%arg%" set "pick=%%a"
if defined pick set "archs=%pick%"
if defined pick exit /b 0
if /i "%arg%"=="x86" if defined no32 echo %no32%
echo Usage: %name% [x64^|x86]. This Windows can unregister: %archs%.
exit /b 1

rem A trial key where the registration lives tells whether this prompt may change it.
:rights
reg add "HKLM\Software\Classes\qzVersionInfo.RightsCheck" /f >nul 2>&1
if errorlevel 1 goto rights_missing
reg delete "HKLM\Software\Classes\qzVersionInfo.RightsCheck" /f >nul 2>&1
exit /b 0
:rights_missing
echo Access is denied: removing the registration for the whole machine needs administrator rights. Right-click %name% and choose "Run as administrator", or run it from a Command Prompt opened with "Run as administrator".
set "code=5"
exit /b 1

rem Unregisters with this folder's library or, where that copy is gone, with the registered one.
:unregister
call set "regsvr=%%regsvr_%1%%"
call set "bits=%%bits_%1%%"
call set "view=%%view_%1%%"
reg query "%clsid%" %view% >nul 2>&1
if errorlevel 1 goto unregister_absent
set "library=%here%%1\vinspect.dll"
if exist "%library%" goto unregister_run
call :registered %1
if defined found set "library=%found%"
:unregister_run
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
call :registered %1
if not defined found exit /b 0
"%regsvr%" /s "%found%"
set "result=%errorlevel%"
if "%result%"=="0" echo %1: stays registered at "%found%"; registered again to restore the shared keys
if "%result%"=="0" exit /b 0
echo %1: FAILED: registering "%found%" again, to restore the shared keys, exited with code %result%.
set "code=%result%"
exit /b 0

rem Sets found to the library registered in the view of one library, or to nothing. The line of
rem reg query is taken whole here and cut outside the loop, so that the path is read only once.
:registered
call set "view=%%view_%1%%"
set "line="
set "found="
for /f "delims=" %%l in ('reg query "%clsid%\InprocServer32" /ve %view% 2^>nul') do set "line=%%l"
if not defined line exit /b 0
if not "%line:*REG_SZ    =%"=="%line%" set "found=%line:*REG_SZ    =%"
exit /b 0
