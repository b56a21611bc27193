@echo off
rem Registers the VersionInfo component (vinspect.dll) for the whole machine, from the folder this
rem script is in. It needs administrator rights; running it again is harmless.
rem   install.cmd          64-bit Windows: the x64 and the x86 library; 32-bit Windows: the x86 one
rem   install.cmd x64|x86  that library only
rem Each library is registered by the regsvr32 of its own bitness, so that 64-bit and 32-bit
rem script hosts both find the object. When a step fails, each library's registration is put back
rem as it was before this run, and the script exits with that step's code.
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
rem An elevated prompt does not see the user's mapped drives, and other users and services
rem cannot load a library registered from a network folder.
if "%here:~0,2%"=="\\" goto network
call :rights
if errorlevel 1 goto stop

set "code=0"
set "prior_x64="
set "prior_x86="
for %%a in (%all%) do call :remember %%a
set "done="
set "failed="
for %%a in (%archs%) do if not defined failed call :register %%a
if defined failed goto undo
if not defined arg if defined no32 echo %no32%
goto stop

:network
echo "%here%" is a network folder: copy the folder to a local disk first, and run %name% there.
goto stop

rem Puts back what each library had registered before this run: a view that had a registration
rem gets that library registered again, a view that had none loses what this run wrote in it,
rem the failed step included. Unregistering takes the keys both views share with it (ProgIDs, type
rem library); then every earlier registration is written again, as uninstall.cmd does.
:undo
echo Putting back the registration as it was before this run:
set "touched= %done% %failed% "
set "cleared="
for %%a in (%all%) do call :clear %%a
if defined cleared for %%a in (%views%) do call :forget_type_library %%a
for %%a in (%all%) do call :put_back %%a
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
rem Server Core without WoW64 and Windows PE run no 32-bit programs.
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
if /i "%arg%"=="x86" if defined no32 goto choose_no32
echo Usage: %name% [x64^|x86]. This Windows can register: %archs%.
exit /b 1
:choose_no32
echo %no32%
exit /b 1

rem A trial key where the registration writes tells whether this prompt may change it.
:rights
reg add "HKLM\Software\Classes\qzVersionInfo.RightsCheck" /f >nul 2>&1
if errorlevel 1 goto rights_missing
reg delete "HKLM\Software\Classes\qzVersionInfo.RightsCheck" /f >nul 2>&1
exit /b 0
:rights_missing
echo Access is denied: registering for the whole machine needs administrator rights. Right-click %name% and choose "Run as administrator", or run it from a Command Prompt opened with "Run as administrator".
set "code=5"
exit /b 1

:register
call set "regsvr=%%regsvr_%1%%"
call set "bits=%%bits_%1%%"
set "library=%here%%1\vinspect.dll"
"%regsvr%" /s "%library%"
set "code=%errorlevel%"
if not "%code%"=="0" goto register_failed
set "done=%done% %1"
echo %1: registered "%library%" for %bits% programs, machine-wide, by %regsvr%
exit /b 0
:register_failed
set "failed=%1"
echo %1: FAILED: "%regsvr%" /s "%library%" exited with code %code%.
if "%code%"=="9009" echo     %regsvr% could not be started.
if "%code%"=="3" echo     The library could not be loaded: it is missing, damaged or of the wrong architecture.
rem regsvr32 says 5 for any failure of the library's own registration, whatever its reason; the
rem rights were checked before, so the usual reason left is a path the library cannot name.
if "%code%"=="5" echo     The library could not register itself from this folder. Usually the folder's path holds characters outside this system's ANSI code page, which the component's file names must keep to: move the folder to a path without them and run %name% again.
exit /b 0

rem Sets prior_<arch> to the library registered in that view before this run, if any.
:remember
call :registered %1
if "%1"=="x64" set "prior_x64=%found%"
if "%1"=="x86" set "prior_x86=%found%"
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

rem Removes this run's registration from a view that had none before it.
:clear
call set "untouched=%%touched: %1 =%%"
if "%untouched%"=="%touched%" exit /b 0
if "%1"=="x64" if defined prior_x64 exit /b 0
if "%1"=="x86" if defined prior_x86 exit /b 0
call set "regsvr=%%regsvr_%1%%"
call set "view=%%view_%1%%"
reg query "%clsid%" %view% >nul 2>&1
if errorlevel 1 exit /b 0
set "cleared=1"
"%regsvr%" /u /s "%here%%1\vinspect.dll"
reg query "%clsid%" %view% >nul 2>&1
if errorlevel 1 echo %1: removed what this run registered
if not errorlevel 1 echo %1: FAILED to remove what this run registered: the class is still registered.
exit /b 0

rem Removes the type library and interface keys from the view of one library.
:forget_type_library
call set "view=%%view_%1%%"
reg delete "HKLM\Software\Classes\TypeLib\{6F1C2A10-3B7E-4D21-9A55-0C1E2F3A4B01}" /f %view% >nul 2>&1
reg delete "HKLM\Software\Classes\Interface\{6F1C2A11-3B7E-4D21-9A55-0C1E2F3A4B01}" /f %view% >nul 2>&1
exit /b 0

rem Registers the library a view had before this run again, where this run changed that view or
rem took the keys it shares.
:put_back
set "prior="
if "%1"=="x64" set "prior=%prior_x64%"
if "%1"=="x86" set "prior=%prior_x86%"
if not defined prior exit /b 0
call set "untouched=%%touched: %1 =%%"
if not defined cleared if "%untouched%"=="%touched%" exit /b 0
call set "regsvr=%%regsvr_%1%%"
if not exist "%prior%" goto put_back_missing
"%regsvr%" /s "%prior%"
set "result=%errorlevel%"
if "%result%"=="0" echo %1: registered "%prior%" again, as before this run
if not "%result%"=="0" echo %1: FAILED: registering "%prior%" again exited with code %result%.
exit /b 0
:put_back_missing
echo %1: "%prior%" was registered before this run and no longer exists: not registered again.
exit /b 0
